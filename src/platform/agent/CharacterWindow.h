// One character on the desktop: a shaped, frameless, always-on-top window without a
// task-bar entry, and the request queue it plays in order (animations, speech, moves,
// show and hide). The control's clock (CharacterClock) drives everything the character
// does: frame changes, glide steps, the end of speech and the idle countdown.
//
// On X11 the window on screen is a plain X window drawn by the server (X11Surface) and
// this widget is never shown: it only keeps the character's geometry. Elsewhere (offscreen,
// a native Wayland session, a scaled screen) this widget is the window and paints itself.
#pragma once

#include "AgentHub.h"
#include "CharacterFile.h"
#include "FrameCache.h"

#include <QHash>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <deque>
#include <memory>
#include <optional>

namespace agent {

namespace detail {
class Balloon;
class X11Surface;
}

class CharacterWindow : public QWidget
{
    Q_OBJECT
    using AgentHub = detail::AgentHub;
    using Animation = detail::Animation;
    using Balloon = detail::Balloon;
    using CharacterData = detail::CharacterData;
    using ClipPlayer = detail::ClipPlayer;

public:
    // frames: the pictures of data's file (data.images is left empty), maybe shared with
    // other characters of the same file.
    CharacterWindow(AgentHub *hub, const QString &identity, CharacterData data,
                    std::shared_ptr<detail::FrameStore> frames);
    ~CharacterWindow() override;

    // Stops everything at once (before the character is unloaded); no more events.
    void shutdown();

    QString identity() const { return identity_; }
    // True while the character's window is on screen.
    bool shown() const;
    // Brings the character's window to the front.
    void raiseWindow();
    int naturalWidth() const { return data_.width; }
    int naturalHeight() const { return data_.height; }
    void setCharacterSize(int width, int height);

    void setIdleOn(bool on);
    void setSoundEffectsOn(bool on) { soundEffects_ = on; }
    void setAutoPopupMenu(bool on) { autoPopupMenu_ = on; }
    void setBalloonStyle(quint32 style) { balloonStyle_ = style; }
    quint32 balloonStyle() const { return balloonStyle_; }
    void setSpeechLanguage(const QString &language) { speechLanguage_ = language; }

    int play(const QString &animation);   // throws AgentError for an unknown name
    int speak(const QString &text, const QString &soundFile);
    int moveTo(int x, int y, int durationMs);
    int showRequest(bool fast);
    int hideRequest(bool fast);
    void stopAll(const QString &types);
    bool queueEmpty() const { return queue_.empty() && !current_; }
    bool idle() const { return idle_; }

    // The balloon window, or nullptr (for tests).
    QWidget *balloonWindow() const;
    // The text the balloon shows at the moment (for tests).
    QString balloonText() const { return balloonText_; }
    // The frame pictures and the frames ready to draw (for tests).
    const detail::FrameCache &frames() const { return frames_; }
    // The picture shown now, or -1 (for tests).
    int shownPicture() const { return shownImage_; }
    // The window drawn by the X server, or nullptr when this widget is the window (for tests).
    const detail::X11Surface *nativeSurface() const { return native_.get(); }

signals:
    // An animation (by its name in the file) is set to play: for requests, returns
    // (announced before the animation they precede) and idling.
    void animationStarted(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    enum class Kind { Play, Speak, Move, Show, Hide };
    struct Request
    {
        int id = 0;
        Kind kind = Kind::Play;
        const Animation *animation = nullptr;
        QString text, soundFile;
        QString language;   // of the text to speak; empty: the voice's own
        int x = 0, y = 0, durationMs = 0;
        bool fast = false;
    };
    struct Step
    {
        int image;
        qint64 durationMs;   // scaled
        int sound;
    };

    int enqueue(Request request);
    void tick();
    void schedule();
    void wakeNow();
    void startNext(qint64 now);
    bool currentDone(qint64 now) const;
    void finishCurrent(int status);
    void endIdle();

    void startSpeech(qint64 now);
    void endSpeech();
    void updateBalloon(qint64 now);
    void updateGlide(qint64 now);
    void startIdleAnimation(qint64 now);

    const Animation *returnOf(const Animation *animation) const;
    void playAnimation(const Animation *animation, bool loop, qint64 now);
    bool playReturn(qint64 now);
    void advanceFrames(qint64 now);
    void enterStep(qint64 start);
    void afterAnimation();
    void showRest();
    void applyFrame();
    QPixmap shadowOf(int image);
    const Animation *movingAnimation(int dx, int dy) const;
    QRect shapeOnScreen() const;
    void placeAt(QPoint at);
    void balloonFollows();
    void showWindow();
    void hideWindow();

    AgentHub *hub_;
    QString identity_;
    CharacterData data_;
    detail::FrameCache frames_;         // the frames, unpacked when shown
    std::unique_ptr<detail::X11Surface> native_;   // the window on X11 (uses frames_)
    bool shutdown_ = false;

    bool idleOn_ = false, soundEffects_ = false, autoPopupMenu_ = true;
    quint32 balloonStyle_ = 0;

    std::deque<Request> queue_;
    std::optional<Request> current_;
    bool currentFinished_ = false;      // the current request has nothing left to play

    // Frames.
    QVector<Step> steps_;
    int stepIndex_ = -1;
    int loopFrom_ = -1;                 // step to return to after the last, or -1: hold it
    qint64 stepEndsAt_ = 0;
    bool framesDone_ = true;
    const Animation *lastAnimation_ = nullptr;   // for its return animation
    int shownImage_ = -1, wantedImage_ = -1;
    qint64 frameDueUs_ = -1;            // when the frame to paint was due (benchmarks only)
    // With a compositing manager: drawn with alpha and a shadow, clicks shaped (Compositing.h).
    bool composited_ = false;
    QRegion figure_;                    // the shown frame's shape, window coordinates
    QRect drawn_;                       // the shown frame's drawn rectangle
    QHash<int, QPixmap> shadows_;       // per image at the current size, made on first use

    // Moving.
    bool gliding_ = false;
    QPoint glideFrom_, glideTo_;
    qint64 glideStart_ = 0, glideDuration_ = 0, nextGlideStep_ = 0;

    // Speaking.
    bool speaking_ = false;
    QString speechLanguage_;            // given to the speech requests as they are queued
    qint64 speechEndsAt_ = 0;
    QStringList balloonWords_;
    QVector<qint64> wordTimes_;         // when each spoken word starts
    qsizetype nextWord_ = 0;
    int wordsShown_ = 0;
    QString balloonText_;
    std::unique_ptr<Balloon> balloon_;
    QPointer<ClipPlayer> voice_, effects_;

    // Idling.
    bool idle_ = false;
    bool idleAnimation_ = false;
    qint64 quietSince_ = 0, idleSince_ = 0, nextIdleAnimationAt_ = 0;
};

} // namespace agent
