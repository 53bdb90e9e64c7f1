#include "CharacterWindow.h"

#include "Agent.h"
#include "AgentTime.h"
#include "Balloon.h"
#include "Compositing.h"
#include "DesktopPlacement.h"
#include "FrameLog.h"
#include "MoveEcho.h"
#include "Voice.h"
#include "X11Surface.h"

#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>

#include <utility>

namespace agent {

using namespace detail;

namespace {

constexpr qint64 kGlideStepMs = 66;        // about 15 moves a second, in real time
constexpr double kIdleDelayMs = 3000;      // quiet time before idling starts
constexpr double kIdleLevelMs = 20000;     // idling this long moves on to the next level
constexpr qint64 kMaxSoundFileBytes = 64 * 1024 * 1024;

// The next glide step after |now|: every character's steps fall on the same beat of the
// shared clock, so that all gliding characters move in one wake-up.
qint64 nextGlideBeat(qint64 now)
{
    return (now / kGlideStepMs + 1) * kGlideStepMs;
}

int randomBetween(int low, int high)
{
    return int(QRandomGenerator::global()->bounded(low, high + 1));
}

SoundClip readSoundFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        file.setFileName(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSoundFileBytes)
        return {};
    return parseWav(file.readAll());
}

} // namespace

CharacterWindow::CharacterWindow(AgentHub *hub, const QString &identity, CharacterData data,
                                 std::shared_ptr<FrameStore> frames)
    : QWidget(nullptr, FloatingWindowFlags()),
      hub_(hub), identity_(identity), data_(std::move(data)), frames_(std::move(frames))
{
    setWindowTitle(identity_);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Chosen once, before the native window exists: an alpha channel needs its own visual.
    composited_ = CompositorRunning();
    resize(data_.width, data_.height);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(data_.width / 2, data_.height / 2));
    native_ = X11Surface::create(
        identity_, geometry(), composited_, palette().window().color().rgb(), &frames_,
        [this](int button, int modifiers, QPoint at) {
            Dispatch dispatch(hub_);
            emit hub_->control->click(identity_, button, modifiers, at.x(), at.y());
        },
        [this](QPoint at) {   // moved by another program
            move(at);
            balloonFollows();
        });
    if (!native_ && composited_)
        setAttribute(Qt::WA_TranslucentBackground);
    else if (!native_)
        setAttribute(Qt::WA_OpaquePaintEvent);   // paintEvent fills the figure's background

    hub_->clock.add(this, [this] { tick(); });
    quietSince_ = hub_->clock.now();
    showRest();
    applyFrame();
    schedule();
}

CharacterWindow::~CharacterWindow()
{
    shutdown();
}

void CharacterWindow::shutdown()
{
    if (shutdown_)
        return;
    shutdown_ = true;
    hub_->clock.remove(this);
    if (speaking_) {
        speaking_ = false;
        --hub_->speakers;
    }
    if (voice_)
        voice_->stop();
    if (effects_)
        effects_->stop();
    balloon_.reset();
    hideWindow();
}

bool CharacterWindow::shown() const
{
    return native_ ? native_->visible() : isVisible();
}

void CharacterWindow::raiseWindow()
{
    if (native_)
        native_->raise();
    else
        raise();
}

void CharacterWindow::placeAt(QPoint at)
{
    move(at);   // without a native window of its own, the widget only keeps the position
    if (!native_)
        return;   // moveEvent places the balloon
    native_->move(at);
    balloonFollows();
}

void CharacterWindow::balloonFollows()
{
    if (balloon_ && balloon_->isVisible())
        balloon_->place(shapeOnScreen());
}

void CharacterWindow::showWindow()
{
    if (native_)
        native_->setVisible(true);
    else
        show();
}

void CharacterWindow::hideWindow()
{
    if (!native_) {
        hide();
        return;
    }
    native_->setVisible(false);
    frames_.clear();
}

void CharacterWindow::setCharacterSize(int width, int height)
{
    width = qBound(1, width, 4096);
    height = qBound(1, height, 4096);
    if (size() == QSize(width, height))
        return;
    resize(width, height);
    if (native_)
        native_->resize(QSize(width, height));
    frames_.setSize(QSize(width, height));
    shadows_.clear();
    shownImage_ = -1;
    applyFrame();
}

void CharacterWindow::setIdleOn(bool on)
{
    idleOn_ = on;
    schedule();
}

QWidget *CharacterWindow::balloonWindow() const
{
    return balloon_.get();
}

// --- The clock --------------------------------------------------------------------------

void CharacterWindow::tick()
{
    if (shutdown_)
        return;
    Dispatch dispatch(hub_);
    const qint64 now = hub_->clock.now();
    advanceFrames(now);
    updateGlide(now);
    updateBalloon(now);

    for (int guard = 0; guard < 1000; ++guard) {
        if (current_) {
            if (!currentDone(now))
                break;
            finishCurrent(0);
        } else if (!queue_.empty()) {
            startNext(now);
        } else {
            break;
        }
        if (shutdown_)
            return;
    }

    if (!current_ && queue_.empty()) {
        if (idle_ && idleAnimation_ && framesDone_) {
            idleAnimation_ = false;
            afterAnimation();
            nextIdleAnimationAt_ = now + scaledMs(randomBetween(4000, 10000));
        }
        if (!idle_ && now >= quietSince_ + scaledMs(kIdleDelayMs)) {
            idle_ = true;
            idleSince_ = now;
            nextIdleAnimationAt_ = now + scaledMs(randomBetween(1000, 4000));
            // Bring the character back to its rest pose before it idles.
            if (playReturn(now))
                idleAnimation_ = true;
            emit hub_->control->idleStart(identity_);
            if (shutdown_)
                return;
        }
        if (idle_ && !idleAnimation_ && idleOn_ && shown() && now >= nextIdleAnimationAt_)
            startIdleAnimation(now);
    }
    applyFrame();
    schedule();
}

void CharacterWindow::schedule()
{
    if (shutdown_)
        return;
    if (native_)
        native_->hearMoves(!gliding_);
    const qint64 now = hub_->clock.now();
    qint64 wake = CharacterClock::kNever;
    auto at = [&wake](qint64 time) { wake = qMin(wake, time); };
    if ((!current_ && !queue_.empty()) || (current_ && currentFinished_))
        at(now);
    if (!framesDone_)
        at(stepEndsAt_);
    if (gliding_)
        at(qMin(nextGlideStep_, glideStart_ + glideDuration_));
    if (speaking_) {
        at(speechEndsAt_);
        if (nextWord_ < wordTimes_.size())
            at(wordTimes_[nextWord_]);
    }
    if (!current_ && queue_.empty()) {
        if (!idle_)
            at(quietSince_ + scaledMs(kIdleDelayMs));
        else if (idleOn_ && !idleAnimation_ && shown())
            at(nextIdleAnimationAt_);
    }
    hub_->clock.wakeAt(this, wake);
}

void CharacterWindow::wakeNow()
{
    if (!shutdown_)
        hub_->clock.wakeAt(this, hub_->clock.now());
}

void CharacterWindow::startNext(qint64 now)
{
    current_ = std::move(queue_.front());
    queue_.pop_front();
    currentFinished_ = false;
    const int id = current_->id;
    emit hub_->control->requestStart(id);
    if (shutdown_ || !current_ || current_->id != id)
        return;   // the handler stopped it

    const Request &request = *current_;
    switch (request.kind) {
    case Kind::Play:
        playAnimation(request.animation, false, now);
        break;
    case Kind::Speak:
        startSpeech(now);
        break;
    case Kind::Move: {
        const QPoint target(request.x, request.y);
        const qint64 duration = scaledMs(request.durationMs);
        if (duration <= 0 || target == pos()) {
            placeAt(target);
            currentFinished_ = true;
            break;
        }
        gliding_ = true;
        glideFrom_ = pos();
        glideTo_ = target;
        glideStart_ = now;
        glideDuration_ = duration;
        nextGlideStep_ = nextGlideBeat(now);
        if (const Animation *moving = movingAnimation(target.x() - x(), target.y() - y()))
            playAnimation(moving, moving->loop, now);
        break;
    }
    case Kind::Show:
        if (shown()) {
            currentFinished_ = true;
        } else {
            const Animation *showing = request.fast ? nullptr : data_.find(data_.showing);
            if (showing)
                playAnimation(showing, false, now);
            else
                currentFinished_ = true;
            applyFrame();
            showWindow();
        }
        break;
    case Kind::Hide: {
        const Animation *hiding = request.fast ? nullptr : data_.find(data_.hiding);
        if (shown() && hiding)
            playAnimation(hiding, false, now);
        else
            currentFinished_ = true;
        break;
    }
    }
}

bool CharacterWindow::currentDone(qint64 now) const
{
    if (currentFinished_)
        return true;
    switch (current_->kind) {
    case Kind::Speak: return !speaking_ || now >= speechEndsAt_;
    case Kind::Move: return !gliding_;
    default: return framesDone_;
    }
}

void CharacterWindow::finishCurrent(int status)
{
    const Request request = std::move(*current_);
    current_.reset();
    currentFinished_ = false;
    if (speaking_)
        endSpeech();
    gliding_ = false;
    framesDone_ = true;   // hold the frame shown now
    if (request.kind == Kind::Hide && status == 0) {
        hideWindow();
        lastAnimation_ = nullptr;
        showRest();
    } else {
        afterAnimation();
    }
    if (queue_.empty())
        quietSince_ = hub_->clock.now();
    if (request.kind == Kind::Move) {
        emit hub_->control->move(identity_, x(), y(), 2);
        if (shutdown_)
            return;
    }
    emit hub_->control->requestComplete(request.id, status);
}

void CharacterWindow::endIdle()
{
    if (idleAnimation_) {
        idleAnimation_ = false;
        framesDone_ = true;
    }
    if (idle_) {
        idle_ = false;
        emit hub_->control->idleComplete(identity_);
    }
}

// --- Speech and moves -------------------------------------------------------------------

void CharacterWindow::startSpeech(qint64 now)
{
    const Request &request = *current_;
    const ParsedSpeech parsed = parseSpeechText(request.text);
    qint64 durationMs = 0;
    wordTimes_.clear();
    nextWord_ = 0;
    if (!request.soundFile.isEmpty()) {
        const SoundClip clip = readSoundFile(request.soundFile);
        if (!clip.valid()) {
            currentFinished_ = true;   // nothing to play: the request simply completes
            return;
        }
        durationMs = clip.durationMs;
        if (hub_->audioDevice) {
            if (!voice_)
                voice_ = new ClipPlayer(this);
            voice_->play(clip.format, clip.pcm);
        }
    } else {
        VoiceSettings voice = data_.voice;
        if (!request.language.isEmpty())
            voice.language = request.language;
        const SpokenAudio audio = synthesise(parsed, voice);
        durationMs = audio.durationMs;
        for (qint64 wordMs : audio.wordStartsMs)
            wordTimes_ << now + scaledMs(wordMs);
        if (hub_->audioDevice && !audio.pcm.isEmpty()) {
            if (!voice_)
                voice_ = new ClipPlayer(this);
            voice_->play(audio.format, audio.pcm);
        }
    }
    speaking_ = true;
    ++hub_->speakers;
    speechEndsAt_ = now + scaledMs(double(durationMs));
    if (const Animation *mouth = data_.find(data_.speaking))
        playAnimation(mouth, true, now);

    balloonWords_.clear();
    wordsShown_ = 0;
    if (balloonStyle_ & 1)
        balloonWords_ = parsed.shown.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    updateBalloon(now);
}

void CharacterWindow::endSpeech()
{
    speaking_ = false;
    --hub_->speakers;
    if (voice_)
        voice_->stop();
    if (balloon_)
        balloon_->hide();
    balloonWords_.clear();
    balloonText_.clear();
    wordTimes_.clear();
}

void CharacterWindow::updateBalloon(qint64 now)
{
    if (!speaking_)
        return;
    // The word clock runs whether or not a balloon shows the words: the timer wakes for
    // each word, so a word left behind would wake it at once, again and again.
    while (nextWord_ < wordTimes_.size() && wordTimes_[nextWord_] <= now)
        ++nextWord_;
    if (balloonWords_.isEmpty())
        return;
    // Spoken and shown words need not match one to one (a map tag may say two words for
    // one shown): reveal the shown words in proportion to the spoken ones.
    const qsizetype shownCount = balloonWords_.size();
    qsizetype count = shownCount;
    if (!wordTimes_.isEmpty())
        count = qMax<qsizetype>(1, (nextWord_ * shownCount + wordTimes_.size() - 1) / wordTimes_.size());
    if (count == wordsShown_)
        return;
    wordsShown_ = int(count);
    balloonText_ = balloonWords_.mid(0, count).join(QLatin1Char(' '));
    if (!shown())
        return;
    if (!balloon_)
        balloon_ = std::make_unique<Balloon>();
    balloon_->showText(balloonText_, shapeOnScreen());
}

void CharacterWindow::updateGlide(qint64 now)
{
    if (!gliding_)
        return;
    if (now >= glideStart_ + glideDuration_) {
        const BenchSpan step(BenchWork::GlideStep);
        placeAt(glideTo_);
        gliding_ = false;
    } else if (now >= nextGlideStep_) {
        const BenchSpan step(BenchWork::GlideStep);
        const double t = double(now - glideStart_) / double(glideDuration_);
        placeAt(glideFrom_ + QPoint(qRound((glideTo_.x() - glideFrom_.x()) * t),
                                qRound((glideTo_.y() - glideFrom_.y()) * t)));
        nextGlideStep_ = nextGlideBeat(now);
    }
}

const Animation *CharacterWindow::movingAnimation(int dx, int dy) const
{
    if (qAbs(dx) >= qAbs(dy))
        return data_.find(dx < 0 ? data_.moveLeft : data_.moveRight);
    return data_.find(dy < 0 ? data_.moveUp : data_.moveDown);
}

void CharacterWindow::startIdleAnimation(qint64 now)
{
    nextIdleAnimationAt_ = now + scaledMs(randomBetween(4000, 10000));
    if (data_.idling.isEmpty())
        return;
    const qint64 levelLength = qMax<qint64>(1, scaledMs(kIdleLevelMs));
    qsizetype level = qMin<qsizetype>(data_.idling.size() - 1, (now - idleSince_) / levelLength);
    for (; level >= 0; --level) {
        const QStringList &names = data_.idling[level];
        const Animation *animation = data_.find(names[randomBetween(0, int(names.size()) - 1)]);
        if (animation) {
            playAnimation(animation, false, now);
            idleAnimation_ = true;
            return;
        }
    }
}

QRect CharacterWindow::shapeOnScreen() const
{
    // The balloon points at the drawn figure, not at the transparent part of the frame.
    const QRect shape = figure_.isEmpty() ? rect() : figure_.boundingRect();
    return shape.translated(pos());
}

// --- Window events ----------------------------------------------------------------------

void CharacterWindow::mousePressEvent(QMouseEvent *event)
{
    Dispatch dispatch(hub_);
    const QPoint at = event->globalPosition().toPoint();
    emit hub_->control->click(identity_, int(event->button()), int(event->modifiers()), at.x(), at.y());
}

void CharacterWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    balloonFollows();
}

bool CharacterWindow::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    // Gliding moves the window 15 times a second; the server's echo of each move would
    // cost the toolkit two round trips to learn what the window already knows.
    if (IsMoveEcho(this, eventType, message))
        return true;
    return QWidget::nativeEvent(eventType, message, result);
}

} // namespace agent
