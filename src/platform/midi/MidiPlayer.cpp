#include "MidiPlayer.h"

#include <QDir>
#include <QFileInfo>

#include <fluidsynth.h>
#ifdef HF_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {

// The synthesizer's gain at full volume. Its default of 0.2 is faint with a General
// MIDI soundfont; at the game's music volume (0x3800 of 0xFFFF) this gives about 0.44,
// clearly audible yet soft behind the characters' voices.
constexpr double FullVolumeGain = 2.0;
constexpr int PollMs = 100;

void quietLog(int, const char *, void *) {}

#ifdef HF_HAVE_ALSA
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}
#endif

void silenceLibraries()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, quietLog, nullptr);
#ifdef HF_HAVE_ALSA
    snd_lib_error_set_handler(quietAlsa);
#endif
}

} // namespace

struct MidiPlayer::Engine {
    fluid_settings_t *settings = nullptr;
    fluid_synth_t *synth = nullptr;
    fluid_audio_driver_t *driver = nullptr;
    fluid_player_t *player = nullptr;
};

MidiPlayer::MidiPlayer(QObject *parent)
    : QObject(parent), m_gain(FullVolumeGain * 0x3800 / 0xFFFF)
{
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &MidiPlayer::checkFinished);
}

MidiPlayer::~MidiPlayer()
{
    m_poll.stop();
    if (!m_engine)
        return;
    // The sound output's thread drives the player: end it first.
    if (m_engine->driver)
        delete_fluid_audio_driver(m_engine->driver);
    if (m_engine->player)
        delete_fluid_player(m_engine->player);
    if (m_engine->synth)
        delete_fluid_synth(m_engine->synth);
    if (m_engine->settings)
        delete_fluid_settings(m_engine->settings);
    delete m_engine;
}

QString MidiPlayer::SoundFontPath()
{
    const QString chosen = qEnvironmentVariable("HOLLYFROST_SOUNDFONT");
    if (!chosen.isEmpty())
        return QFileInfo(chosen).isFile() ? chosen : QString();
    const QDir folder(QStringLiteral("/usr/share/sounds/sf2"));
    const QString preferred = folder.filePath(QStringLiteral("TimGM6mb.sf2"));
    if (QFileInfo(preferred).isFile())
        return preferred;
    const QStringList others = folder.entryList({QStringLiteral("*.sf2")}, QDir::Files | QDir::Readable, QDir::Name);
    return others.isEmpty() ? QString() : folder.filePath(others.first());
}

QStringList MidiPlayer::AudioDrivers()
{
    const QString chosen = qEnvironmentVariable("HOLLYFROST_AUDIO_DRIVERS");
    if (!chosen.isEmpty())
        return chosen.split(u',', Qt::SkipEmptyParts);
    return {QStringLiteral("pulseaudio"), QStringLiteral("alsa")};
}

bool MidiPlayer::ensureSynth()
{
    if (!m_engine) {
        silenceLibraries();
        m_engine = new Engine;
        if (SoundFontPath().isEmpty())
            return false;
        m_engine->settings = new_fluid_settings();
    }
    if (!m_engine->settings)
        return false;
    if (!m_engine->synth) {
        fluid_settings_setnum(m_engine->settings, "synth.gain", m_gain);
        m_engine->synth = new_fluid_synth(m_engine->settings);
    }
    return m_engine->synth != nullptr;
}

// The synthesizer's voices take about 4 MB: without a sound output to play them they are
// let go, and made again when the output is tried next.
void MidiPlayer::deleteSilentSynth()
{
    if (m_engine && m_engine->synth && !m_engine->driver && !m_soundFontLoaded) {
        delete_fluid_synth(m_engine->synth);
        m_engine->synth = nullptr;
    }
}

// The soundfont's instruments take over 10 MB: they are loaded once a sound output is
// open, so a game without one never holds them.
bool MidiPlayer::ensureSoundFont()
{
    if (m_soundFontLoaded)
        return true;
    const QByteArray path = QFile::encodeName(SoundFontPath());
    if (path.isEmpty() || fluid_synth_sfload(m_engine->synth, path.constData(), 1) == FLUID_FAILED)
        return false;
    m_soundFontLoaded = true;
    return true;
}

bool MidiPlayer::ensureDriver()
{
    if (m_engine->driver)
        return true;
    const QByteArray outputFile = qgetenv("HOLLYFROST_AUDIO_FILE");
    if (!outputFile.isEmpty())
        fluid_settings_setstr(m_engine->settings, "audio.file.name", outputFile.constData());
    for (const QString &name : AudioDrivers()) {
        if (fluid_settings_setstr(m_engine->settings, "audio.driver", name.toLatin1().constData()) == FLUID_FAILED)
            continue;
        m_engine->driver = new_fluid_audio_driver(m_engine->settings, m_engine->synth);
        if (m_engine->driver)
            return true;
    }
    return false;
}

bool MidiPlayer::Open(const QString &nativePath)
{
    Stop();
    deletePlayer();
    if (m_unavailable || nativePath.isEmpty() || !QFileInfo(nativePath).isFile())
        return false;
    const QByteArray file = QFile::encodeName(nativePath);
    if (!fluid_is_midifile(file.constData()))
        return false;
    if (!ensureSynth()) {
        m_unavailable = true;
        return false;
    }
    // Trying the sound output again costs a few milliseconds, and a sound server that
    // has started since the last race then brings the music back.
    if (!ensureDriver()) {
        deleteSilentSynth();
        return false;
    }
    if (!ensureSoundFont()) {
        m_unavailable = true;
        return false;
    }
    m_engine->player = new_fluid_player(m_engine->synth);
    if (!m_engine->player)
        return false;
    if (fluid_player_add(m_engine->player, file.constData()) != FLUID_OK) {
        deletePlayer();
        return false;
    }
    return true;
}

bool MidiPlayer::Play()
{
    if (!m_engine || !m_engine->player)
        return false;
    if (fluid_player_play(m_engine->player) != FLUID_OK)
        return false;
    m_playing = true;
    m_poll.start();
    return true;
}

void MidiPlayer::Stop()
{
    m_poll.stop();
    m_playing = false;
    if (!m_engine || !m_engine->player)
        return;
    fluid_player_stop(m_engine->player);
    if (m_engine->synth)
        fluid_synth_all_sounds_off(m_engine->synth, -1);
}

void MidiPlayer::Close()
{
    Stop();
    if (!m_engine)
        return;
    if (m_engine->driver) {
        delete_fluid_audio_driver(m_engine->driver);
        m_engine->driver = nullptr;
    }
    deletePlayer();
}

void MidiPlayer::deletePlayer()
{
    if (m_engine && m_engine->player) {
        delete_fluid_player(m_engine->player);
        m_engine->player = nullptr;
    }
}

void MidiPlayer::SetVolume(quint16 left, quint16 right)
{
    m_gain = FullVolumeGain * ((double(left) + double(right)) / 2.0) / 0xFFFF;
    if (m_engine && m_engine->synth)
        fluid_synth_set_gain(m_engine->synth, float(m_gain));
}

void MidiPlayer::SetNotify(bool on)
{
    m_notify = on;
}

bool MidiPlayer::IsOpen() const
{
    return m_engine && m_engine->player;
}

bool MidiPlayer::IsPlaying() const
{
    return m_playing && m_engine && m_engine->player
        && fluid_player_get_status(m_engine->player) == FLUID_PLAYER_PLAYING;
}

// The synthesizer plays the piece on the sound output's own thread; this poll on the
// owner's thread notices the end, so Finished always arrives on the GUI thread.
void MidiPlayer::checkFinished()
{
    if (!m_playing || !m_engine || !m_engine->player)
        return;
    if (fluid_player_get_status(m_engine->player) == FLUID_PLAYER_PLAYING)
        return;
    m_playing = false;
    m_poll.stop();
    if (m_notify)
        emit Finished();
}

bool MidiPlayer::SynthHeld() const
{
    return m_engine && m_engine->synth;
}
