// The character platform: desktop characters loaded from ".acs" character files, each
// a shaped, frameless, always-on-top window with a request queue (animations, speech,
// moves, show and hide) played in order. This header is all the game sees of it.
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <stdexcept>

namespace agent {

// Raised by AgentControl::load and Character::play; the message says what went wrong.
// Loading an identity that is already loaded raises an error whose message contains
// "character is already".
class AgentError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class CharacterWindow;   // the platform's own; not for the game

class Character : public QObject
{
    Q_OBJECT
public:
    ~Character() override;

    QString identity() const;
    bool visible() const;
    // Live screen values of the character window (top-left corner and size in pixels).
    int left() const;
    int top() const;
    int width() const;
    int height() const;
    // Frames are drawn at the size set here.
    void setWidth(int width);
    void setHeight(int height);
    // The character's natural frame size from its file.
    int naturalWidth() const;
    int naturalHeight() const;

    void setIdleOn(bool on);
    void activate(int state);
    void setSoundEffectsOn(bool on);
    void setAutoPopupMenu(bool on);
    // Bit 0 switches the word balloon on; the other bits are kept but not used.
    void setBalloonStyle(quint32 style);
    quint32 balloonStyle() const;

    // Queued requests; each returns the request id that the request events carry.
    // play raises AgentError when the character has no animation of that name.
    int play(const QString &animation);
    // The language of the texts it is given to speak from now on (an espeak-ng language
    // such as "fr"): its voice says them in that language where the speech engine has
    // it. Empty: the language of the character's own voice.
    void setSpeechLanguage(const QString &language);
    // Speaks the text with the character's voice while its speaking animation plays.
    // With a sound file, the file is played instead of synthetic speech.
    int speak(const QString &text, const QString &soundFile = QString());
    int moveTo(int x, int y, int durationMs);
    int show(bool fast);
    int hide(bool fast);
    // Ends the current request and empties the queue: all requests, or those of the
    // comma-separated types "Get", "NonQueuedGet", "Move", "Play", "Speak".
    void stopAll(const QString &types = QString());

    // True while nothing is queued or playing.
    bool queueEmpty() const;

private:
    friend class AgentControl;
    explicit Character(std::unique_ptr<CharacterWindow> window);
    std::unique_ptr<CharacterWindow> window_;
};

class AgentControl : public QObject
{
    Q_OBJECT
public:
    explicit AgentControl(QObject *parent = nullptr);
    ~AgentControl() override;

    bool connected() const;
    void setConnected(bool on);

    // Loads a character file under an identity (connecting the control). Raises
    // AgentError for an identity already loaded and for a missing or damaged file.
    Character *load(const QString &identity, const QString &file);
    // The loaded character with that identity, or nullptr.
    Character *character(const QString &identity) const;
    // Unloads it (its window disappears); unknown identities are ignored.
    void unload(const QString &identity);

    // 4 while a character speaks (also without an audio device); otherwise 0 free,
    // 1 no audio device.
    int audioOutputStatus() const;

signals:
    void idleStart(const QString &identity);
    void idleComplete(const QString &identity);
    // button: Qt::MouseButton value; shift: Qt::KeyboardModifiers value; x, y: screen.
    void click(const QString &identity, int button, int shift, int x, int y);
    void requestStart(int requestId);
    void requestComplete(int requestId, int status);   // status 0 done, 1 stopped, 2 failed
    void move(const QString &identity, int x, int y, int cause);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace agent
