// What all characters of one AgentControl share: the control whose signals they raise,
// the clock that runs them, the request numbering and the audio output.
#pragma once

#include "CharacterClock.h"
#include "Wav.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <utility>

class QAudioSink;
class QBuffer;

namespace agent {
class AgentControl;
}

namespace agent::detail {

struct AgentHub
{
    AgentControl *control = nullptr;
    CharacterClock clock;
    int nextRequestId = 1;
    int speakers = 0;           // characters speaking now
    int dispatchDepth = 0;      // character calls in progress (see AgentControl::unload)
    // Characters unloaded while a character call was in progress; deleted once the
    // outermost call has returned (a handler may wait, and unload, inside another's call).
    QList<QObject *> unloaded;
    bool audioDevice = false;   // an audio output exists (checked once)

    int newRequestId() { return nextRequestId++; }
    // Busy while any character speaks, with or without a device, so that waits for the
    // audio take as long everywhere; 1 (no device) only when nobody speaks.
    int audioStatus() const { return speakers > 0 ? 4 : !audioDevice ? 1 : 0; }
};

// Counts the character calls in progress, so that an unload from an event handler
// waits until every call has returned before deleting the window. A handler can wait
// (Delay) inside another character's call, and an unload made there must outlive the
// outer call too: the deletion is handed to the event loop only when the outermost call
// ends, and the loop runs it after that call has left the window.
struct Dispatch
{
    explicit Dispatch(AgentHub *hub) : hub_(hub) { ++hub_->dispatchDepth; }
    ~Dispatch()
    {
        if (--hub_->dispatchDepth > 0)
            return;
        const QList<QObject *> unloaded = std::exchange(hub_->unloaded, {});
        for (QObject *character : unloaded)
            character->deleteLater();
    }
    AgentHub *hub_;
};

// Plays one clip at a time on the default audio output; a new clip replaces the last.
class ClipPlayer : public QObject
{
public:
    explicit ClipPlayer(QObject *parent = nullptr);
    ~ClipPlayer() override;
    void play(const QAudioFormat &format, const QByteArray &pcm);
    void stop();

private:
    QAudioSink *sink_ = nullptr;
    QBuffer *buffer_ = nullptr;
};

// True when the system has an audio output device.
bool audioDeviceAvailable();

} // namespace agent::detail
