// Background-music player: plays Standard MIDI Files through a software synthesizer
// and the desktop's sound output. Everything is created when music first starts, so
// a game that never plays music pays nothing; the synthesizer library itself is loaded
// only once a sound output may open. Without a sound device, the library or a soundfont
// opening fails quietly and the caller simply has no music. Making the synthesizer, its
// sound output and the soundfont takes a tenth to a third of a second: Prepare does it on
// a worker thread, so that the window's thread goes on meanwhile.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <vector>

class MidiPlayer : public QObject
{
    Q_OBJECT
public:
    explicit MidiPlayer(QObject *parent = nullptr);
    ~MidiPlayer() override;

    // Makes on a worker thread what playing needs and is not made yet: the synthesizer
    // (with its library), the sound output and the soundfont. done is called on this
    // object's thread once that is over, at once when there is nothing to make (or no
    // sound output to open); Open then has only the piece to read. The synthesizer is
    // not here meanwhile: Stop, Close and SetVolume still take effect, on its return.
    void Prepare(std::function<void()> done);
    bool Preparing() const { return m_away; }
    // Loads a Standard MIDI File (native path) to play on what Prepare made. False: not
    // a MIDI file, or not prepared (no soundfont, no sound device, or not back yet).
    bool Open(const QString &nativePath);
    bool Play();
    // Stops the piece (sounding notes end at once); the sound output stays open.
    void Stop();
    // Stops and closes the sound output.
    void Close();
    // Output volume, 0 to 0xFFFF for each stereo side (the synthesizer has one gain,
    // so the mean of the two is used).
    void SetVolume(quint16 left, quint16 right);
    double Gain() const { return m_gain; }

    // While on, Finished is emitted (on this object's thread) when a piece ends.
    void SetNotify(bool on);
    bool Notify() const { return m_notify; }

    bool IsOpen() const;
    bool SoundOutputOpen() const;
    bool IsPlaying() const;
    // True once the synthesizer could not be made (no soundfont): no music for the rest
    // of the session. A missing sound output is tried again on the next Prepare.
    bool Unavailable() const { return m_unavailable; }
    // True once the soundfont is in memory: only after a sound output has opened.
    bool SoundFontLoaded() const;
    // True while the synthesizer is in memory: only once a sound output has opened.
    bool SynthHeld() const;

    // The soundfont used: TimGM6mb.sf2 in /usr/share/sounds/sf2, else any .sf2 there,
    // else empty. HOLLYFROST_SOUNDFONT names another file.
    static QString SoundFontPath();
    // Sound output drivers tried in order: HOLLYFROST_AUDIO_DRIVERS (comma-separated),
    // else pulseaudio, then alsa.
    static QStringList AudioDrivers();
    // False when none of |drivers| can have an output to open: no sound server socket
    // (in the runtime folder of |environment|) for "pulseaudio", no playback device in
    // |soundDevices| and no configuration for "alsa". Any other driver may open.
    static bool SoundOutputMayOpen(const QStringList &drivers, const QProcessEnvironment &environment,
                                   const QString &soundDevices);
    // True once the synthesizer library is loaded in this process.
    static bool SynthLibraryLoaded();

signals:
    void Finished();

private:
    struct Engine;
    struct Setup;
    enum class Made { Ready, NoOutput, Unavailable };
    static Made make(Engine &engine, const Setup &setup);
    Setup setup() const;
    bool ready() const;
    void startPreparing();
    void takeBack();
    void releaseWaiting();
    void closeDriver();
    void deletePlayer();
    void checkFinished();

    Engine *m_engine = nullptr;   // nullptr while a worker prepares it
    QThreadPool m_worker;   // its own: a registry write may hold one of the shared pool's for long
    QFutureWatcher<Engine *> m_preparing;
    std::vector<std::function<void()>> m_waiting;   // the callers of Prepare until it ends
    QTimer m_poll;
    double m_gain;
    bool m_away = false;         // the engine is with the worker
    bool m_closeAsked = false;   // Close came meanwhile: the output it brings back is closed
    bool m_notify = false;
    bool m_playing = false;
    bool m_unavailable = false;
};
