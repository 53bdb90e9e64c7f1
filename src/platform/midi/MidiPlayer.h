// Background-music player: plays Standard MIDI Files through a software synthesizer
// and the desktop's sound output. Everything is created when music first starts, so
// a game that never plays music pays nothing; the synthesizer library itself is loaded
// only once a sound output may open. Without a sound device, the library or a soundfont
// opening fails quietly and the caller simply has no music.
#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QTimer>

class MidiPlayer : public QObject
{
    Q_OBJECT
public:
    explicit MidiPlayer(QObject *parent = nullptr);
    ~MidiPlayer() override;

    // Loads a Standard MIDI File (native path) and opens the sound output if it is
    // not open yet. False: not a MIDI file, no soundfont or no sound device.
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
    bool IsPlaying() const;
    // True once the synthesizer could not be made (no soundfont): no music for the rest
    // of the session. A missing sound output is tried again on the next Open.
    bool Unavailable() const { return m_unavailable; }
    // True once the soundfont is in memory: only after a sound output has opened.
    bool SoundFontLoaded() const { return m_soundFontLoaded; }
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
    bool ensureSynth();
    bool ensureDriver();
    bool ensureSoundFont();
    void deleteSilentSynth();
    void deletePlayer();
    void checkFinished();

    struct Engine;
    Engine *m_engine = nullptr;
    QTimer m_poll;
    double m_gain;
    bool m_notify = false;
    bool m_playing = false;
    bool m_unavailable = false;
    bool m_soundFontLoaded = false;
};
