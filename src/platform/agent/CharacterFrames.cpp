// The frames of a character window: playing animations frame by frame, drawing the frame
// and shaping the window to its figure (FrameCache unpacks and scales the pictures).
#include "CharacterWindow.h"

#include "AgentHub.h"
#include "AgentTime.h"
#include "Compositing.h"
#include "FrameLog.h"
#include "X11Surface.h"

#include <QPainter>

namespace agent {

using namespace detail;

// --- Frames -----------------------------------------------------------------------------

const Animation *CharacterWindow::returnOf(const Animation *animation) const
{
    if (!animation || animation->returnName.isEmpty())
        return nullptr;
    const Animation *back = data_.find(animation->returnName);
    return back == animation ? nullptr : back;
}

void CharacterWindow::playAnimation(const Animation *animation, bool loop, qint64 now)
{
    steps_.clear();
    const Animation *back = returnOf(lastAnimation_);
    if (back == animation)
        back = nullptr;
    if (back) {
        emit animationStarted(back->name);
        for (const FrameStep &f : back->frames)
            steps_ << Step{f.image, scaledMs(f.durationMs), f.sound};
    }
    loopFrom_ = loop ? int(steps_.size()) : -1;
    for (const FrameStep &f : animation->frames)
        steps_ << Step{f.image, scaledMs(f.durationMs), f.sound};
    lastAnimation_ = animation;
    stepIndex_ = 0;
    framesDone_ = false;
    enterStep(now);
    emit animationStarted(animation->name);
}

bool CharacterWindow::playReturn(qint64 now)
{
    const Animation *back = returnOf(lastAnimation_);
    if (!back)
        return false;
    lastAnimation_ = nullptr;
    playAnimation(back, false, now);
    lastAnimation_ = nullptr;   // the return leaves the character at rest
    return true;
}

void CharacterWindow::advanceFrames(qint64 now)
{
    if (framesDone_ || stepIndex_ < 0 || steps_.isEmpty())
        return;
    qsizetype guard = 0;
    while (now >= stepEndsAt_) {
        if (stepIndex_ + 1 < steps_.size()) {
            ++stepIndex_;
        } else if (loopFrom_ >= 0 && loopFrom_ < steps_.size()) {
            stepIndex_ = loopFrom_;
        } else {
            framesDone_ = true;
            return;
        }
        // Far behind (a stalled event loop): carry on from now instead of replaying.
        enterStep(++guard > 2 * steps_.size() ? now : stepEndsAt_);
    }
}

void CharacterWindow::enterStep(qint64 start)
{
    const Step &step = steps_[stepIndex_];
    stepEndsAt_ = start + step.durationMs;
    wantedImage_ = step.image;
    if (frameLogEnabled())
        frameDueUs_ = start * 1000;
    if (soundEffects_ && step.sound >= 0 && step.sound < data_.sounds.size() && hub_->audioDevice) {
        if (!effects_)
            effects_ = new ClipPlayer(this);
        effects_->play(data_.sounds[step.sound].format, data_.sounds[step.sound].pcm);
    }
}

void CharacterWindow::afterAnimation()
{
    // An animation with a return animation holds its last frame until the return plays
    // (before the next animation or when idling starts); others go back to rest.
    if (!returnOf(lastAnimation_)) {
        lastAnimation_ = nullptr;
        showRest();
    }
}

void CharacterWindow::showRest()
{
    if (const Animation *rest = data_.find(QStringLiteral("rest")))
        wantedImage_ = rest->frames.first().image;
    else if (wantedImage_ < 0)
        wantedImage_ = 0;
}

void CharacterWindow::applyFrame()
{
    if (shutdown_ || wantedImage_ < 0 || wantedImage_ >= frames_.count() || wantedImage_ == shownImage_) {
        frameDueUs_ = -1;   // no new picture to time
        return;
    }
    const BenchSpan change(BenchWork::FrameChange);
    shownImage_ = wantedImage_;
    if (native_) {
        // The server draws it: a shape update and a copy, the pixels sent only once.
        figure_ = native_->showFrame(shownImage_);
        if (frameDueUs_ >= 0 && shown())
            recordFrameLateness(hub_->clock.nowUs() - frameDueUs_);
        frameDueUs_ = -1;
        return;
    }
    const ReadyFrame &frame = frames_.frame(shownImage_);
    figure_ = frame.shape;
    const QRect drawn(frame.offset, frame.pixmap.size());
    if (composited_) {
        SetInputShape(this, figure_);
        update();   // the shadow too
    } else {
        setMask(figure_);
        // Only the frames' drawn parts change: outside the shape nothing shows.
        update(drawn_ | drawn);
    }
    drawn_ = drawn;
    if (!isVisible())
        frameDueUs_ = -1;
}

// The figure's silhouette in a soft dark tone, drawn below and right of it.
QPixmap CharacterWindow::shadowOf(int image)
{
    auto found = shadows_.find(image);
    if (found == shadows_.end()) {
        if (shadows_.size() >= FrameCache::kDefaultCapacity)
            shadows_.clear();   // as few as the frames themselves
        QImage shadow = frames_.frame(image).pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter tint(&shadow);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(shadow.rect(), QColor(0, 0, 0, 90));
        tint.end();
        found = shadows_.insert(image, QPixmap::fromImage(shadow));
    }
    return *found;
}

void CharacterWindow::paintEvent(QPaintEvent *)
{
    if (shownImage_ < 0)
        return;
    QPainter painter(this);
    if (composited_) {
        const QPixmap shadow = shadowOf(shownImage_);   // before the frame: it may decode
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawPixmap(frames_.frame(shownImage_).offset + QPoint(3, 4), shadow);
    }
    const ReadyFrame &frame = frames_.frame(shownImage_);
    if (!composited_)   // the backdrop of the figure's soft edges (the window is opaque)
        painter.fillRect(QRect(frame.offset, frame.pixmap.size()), palette().window());
    painter.drawPixmap(frame.offset, frame.pixmap);
    if (frameDueUs_ >= 0) {
        recordFrameLateness(hub_->clock.nowUs() - frameDueUs_);
        frameDueUs_ = -1;
    }
}

void CharacterWindow::hideEvent(QHideEvent *)
{
    // A hidden character keeps only its packed pictures and the frame that shapes
    // its window; showing it unpacks again.
    frames_.clear();
    shadows_.clear();
}

} // namespace agent
