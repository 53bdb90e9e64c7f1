// The frames of a character window: decoding, playing animations frame by frame,
// scaling to the character's size and shaping the window to the frame's figure.
#include "CharacterWindow.h"

#include "AgentHub.h"
#include "AgentTime.h"
#include "FrameLog.h"

#include <QBitmap>
#include <QPainter>

namespace agent {

using namespace detail;

namespace {

// The smallest rectangle holding every pixel that is not fully transparent.
QRect opaqueBounds(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int left = argb.width(), right = -1, top = argb.height(), bottom = -1;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = y;
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

// Decodes every frame once, keeping only its drawn part; the pictures are not needed
// after that.
void CharacterWindow::decodePictures()
{
    pictures_.reserve(data_.images.size());
    for (const QImage &image : std::as_const(data_.images)) {
        QRect drawn = opaqueBounds(image);
        if (drawn.isEmpty())
            drawn = QRect(0, 0, 1, 1);   // a blank frame: one transparent pixel
        pictures_ << Picture{QPixmap::fromImage(image.copy(drawn)), drawn.topLeft()};
    }
    data_.images = {};
    scaled_.resize(pictures_.size());
}

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

const CharacterWindow::ScaledFrame &CharacterWindow::scaledFrame(int image)
{
    ScaledFrame &frame = scaled_[image];
    if (!frame.ready) {
        const Picture &natural = pictures_[image];
        QImage picture = natural.pixmap.toImage();
        if (size() == QSize(data_.width, data_.height)) {
            frame.pixmap = natural.pixmap;
            frame.offset = natural.offset;
        } else {
            const double sx = double(width()) / data_.width, sy = double(height()) / data_.height;
            const QRect target(qRound(natural.offset.x() * sx), qRound(natural.offset.y() * sy),
                               qMax(1, qRound(picture.width() * sx)), qMax(1, qRound(picture.height() * sy)));
            picture = picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            frame.pixmap = QPixmap::fromImage(picture);
            frame.offset = target.topLeft();
        }
        if (picture.hasAlphaChannel())
            frame.shape = QRegion(QBitmap::fromImage(picture.createAlphaMask(Qt::ThresholdAlphaDither)));
        else
            frame.shape = QRegion(picture.rect());
        frame.shape.translate(frame.offset);
        if (frame.shape.isEmpty())
            frame.shape = QRegion(0, 0, 1, 1);   // an empty mask would show the whole window
        frame.ready = true;
    }
    return frame;
}

void CharacterWindow::applyFrame()
{
    if (shutdown_ || wantedImage_ < 0 || wantedImage_ >= pictures_.size() || wantedImage_ == shownImage_) {
        frameDueUs_ = -1;   // no new picture to time
        return;
    }
    shownImage_ = wantedImage_;
    setMask(scaledFrame(shownImage_).shape);
    update();
    if (!isVisible())
        frameDueUs_ = -1;
}

void CharacterWindow::paintEvent(QPaintEvent *)
{
    if (shownImage_ < 0)
        return;
    QPainter painter(this);
    const ScaledFrame &frame = scaledFrame(shownImage_);
    painter.drawPixmap(frame.offset, frame.pixmap);
    if (frameDueUs_ >= 0) {
        recordFrameLateness(clock_.nsecsElapsed() / 1000 - frameDueUs_);
        frameDueUs_ = -1;
    }
}

} // namespace agent
