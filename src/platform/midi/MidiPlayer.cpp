#include "MidiPlayer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <dlfcn.h>
#include <fluidsynth.h>

namespace {

// The synthesizer's gain at full volume. Its default of 0.2 is faint with a General
// MIDI soundfont; at the game's music volume (0x3800 of 0xFFFF) this gives about 0.44,
// clearly audible yet soft behind the characters' voices.
constexpr double FullVolumeGain = 2.0;
constexpr int PollMs = 100;

// The synthesizer library's functions, found when music can first play.
#define HF_FLUID_FUNCTIONS(X)                                                                  \
    X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum)                    \
    X(fluid_settings_setstr) X(new_fluid_synth) X(delete_fluid_synth) X(fluid_synth_sfload)    \
    X(fluid_synth_set_gain) X(fluid_synth_all_sounds_off) X(new_fluid_audio_driver)            \
    X(delete_fluid_audio_driver) X(new_fluid_player) X(delete_fluid_player) X(fluid_player_add)\
    X(fluid_player_play) X(fluid_player_stop) X(fluid_player_get_status) X(fluid_is_midifile)  \
    X(fluid_set_log_function)

struct FluidLibrary {
#define HF_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    HF_FLUID_FUNCTIONS(HF_FLUID_POINTER)
#undef HF_FLUID_POINTER
};

const FluidLibrary *fluid = nullptr;   // set once the library is loaded

void quietLog(int, const char *, void *) {}

// ALSA prints its own complaints to stderr when there is no sound card; the synthesizer
// brings it in, and its error handler is set to one that says nothing.
using AlsaErrorHandler = void (*)(const char *, int, const char *, int, const char *, ...);
void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

void silenceAlsa()
{
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!alsa)
        return;
    using SetHandler = int (*)(AlsaErrorHandler);
    if (auto setHandler = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        setHandler(quietAlsa);
    dlclose(alsa);   // the synthesizer keeps it loaded
}

// Loads the synthesizer library once; false (for the rest of the session) when it or
// one of its functions is missing.
bool loadFluid()
{
    static bool tried = false;
    if (tried)
        return fluid != nullptr;
    tried = true;
    void *handle = dlopen(HF_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    static FluidLibrary library;
#define HF_FLUID_RESOLVE(name)                                                                 \
    library.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                 \
    if (!library.name)                                                                         \
        return false;
    HF_FLUID_FUNCTIONS(HF_FLUID_RESOLVE)
#undef HF_FLUID_RESOLVE
    fluid = &library;
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid->fluid_set_log_function(level, quietLog, nullptr);
    silenceAlsa();
    return true;
}

bool anyFile(const QString &folder, const QString &pattern)
{
    return !QDir(folder).entryList({pattern}, QDir::System | QDir::Files).isEmpty();
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
        fluid->delete_fluid_audio_driver(m_engine->driver);
    if (m_engine->player)
        fluid->delete_fluid_player(m_engine->player);
    if (m_engine->synth)
        fluid->delete_fluid_synth(m_engine->synth);
    if (m_engine->settings)
        fluid->delete_fluid_settings(m_engine->settings);
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
        m_engine = new Engine;
        if (SoundFontPath().isEmpty())
            return false;
        m_engine->settings = fluid->new_fluid_settings();
    }
    if (!m_engine->settings)
        return false;
    if (!m_engine->synth) {
        fluid->fluid_settings_setnum(m_engine->settings, "synth.gain", m_gain);
        m_engine->synth = fluid->new_fluid_synth(m_engine->settings);
    }
    return m_engine->synth != nullptr;
}

// The synthesizer's voices take about 4 MB: without a sound output to play them they are
// let go, and made again when the output is tried next.
void MidiPlayer::deleteSilentSynth()
{
    if (m_engine && m_engine->synth && !m_engine->driver && !m_soundFontLoaded) {
        fluid->delete_fluid_synth(m_engine->synth);
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
    if (path.isEmpty() || fluid->fluid_synth_sfload(m_engine->synth, path.constData(), 1) == FLUID_FAILED)
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
        fluid->fluid_settings_setstr(m_engine->settings, "audio.file.name", outputFile.constData());
    for (const QString &name : AudioDrivers()) {
        if (fluid->fluid_settings_setstr(m_engine->settings, "audio.driver", name.toLatin1().constData()) == FLUID_FAILED)
            continue;
        m_engine->driver = fluid->new_fluid_audio_driver(m_engine->settings, m_engine->synth);
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
    // Nothing to play on: the synthesizer library stays unloaded. This is asked again on
    // every Open, so a sound server started later brings the music back.
    if (!SoundOutputMayOpen(AudioDrivers(), QProcessEnvironment::systemEnvironment(), QStringLiteral("/dev/snd")))
        return false;
    if (!loadFluid()) {
        m_unavailable = true;
        return false;
    }
    const QByteArray file = QFile::encodeName(nativePath);
    if (!fluid->fluid_is_midifile(file.constData()))
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
    m_engine->player = fluid->new_fluid_player(m_engine->synth);
    if (!m_engine->player)
        return false;
    if (fluid->fluid_player_add(m_engine->player, file.constData()) != FLUID_OK) {
        deletePlayer();
        return false;
    }
    return true;
}

bool MidiPlayer::Play()
{
    if (!m_engine || !m_engine->player)
        return false;
    if (fluid->fluid_player_play(m_engine->player) != FLUID_OK)
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
    fluid->fluid_player_stop(m_engine->player);
    if (m_engine->synth)
        fluid->fluid_synth_all_sounds_off(m_engine->synth, -1);
}

void MidiPlayer::Close()
{
    Stop();
    if (!m_engine)
        return;
    if (m_engine->driver) {
        fluid->delete_fluid_audio_driver(m_engine->driver);
        m_engine->driver = nullptr;
    }
    deletePlayer();
}

void MidiPlayer::deletePlayer()
{
    if (m_engine && m_engine->player) {
        fluid->delete_fluid_player(m_engine->player);
        m_engine->player = nullptr;
    }
}

void MidiPlayer::SetVolume(quint16 left, quint16 right)
{
    m_gain = FullVolumeGain * ((double(left) + double(right)) / 2.0) / 0xFFFF;
    if (m_engine && m_engine->synth)
        fluid->fluid_synth_set_gain(m_engine->synth, float(m_gain));
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
        && fluid->fluid_player_get_status(m_engine->player) == FLUID_PLAYER_PLAYING;
}

// The synthesizer plays the piece on the sound output's own thread; this poll on the
// owner's thread notices the end, so Finished always arrives on the GUI thread.
void MidiPlayer::checkFinished()
{
    if (!m_playing || !m_engine || !m_engine->player)
        return;
    if (fluid->fluid_player_get_status(m_engine->player) == FLUID_PLAYER_PLAYING)
        return;
    m_playing = false;
    m_poll.stop();
    if (m_notify)
        emit Finished();
}

bool MidiPlayer::SoundOutputMayOpen(const QStringList &drivers, const QProcessEnvironment &environment,
                                    const QString &soundDevices)
{
    for (const QString &driver : drivers) {
        if (driver == QLatin1String("pulseaudio")) {
            // A sound server listens on a socket in the session's runtime folder, or
            // where PULSE_SERVER or PULSE_RUNTIME_PATH say.
            if (!environment.value(QStringLiteral("PULSE_SERVER")).isEmpty())
                return true;
            QString runtime = environment.value(QStringLiteral("PULSE_RUNTIME_PATH"));
            if (runtime.isEmpty() && !environment.value(QStringLiteral("XDG_RUNTIME_DIR")).isEmpty())
                runtime = environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/pulse");
            if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/native")))
                return true;
            if (QFileInfo::exists(QStringLiteral("/run/pulse/native")))   // a system-wide server
                return true;
        } else if (driver == QLatin1String("alsa")) {
            // A playback device, or a configuration that may route sound elsewhere.
            if (anyFile(soundDevices, QStringLiteral("pcmC*D*p")))
                return true;
            const QString home = environment.value(QStringLiteral("HOME"));
            if ((!home.isEmpty() && QFileInfo::exists(home + QStringLiteral("/.asoundrc")))
                || QFileInfo::exists(QStringLiteral("/etc/asound.conf")))
                return true;
        } else {
            return true;   // another output (a file, JACK, ...): only trying tells
        }
    }
    return false;
}

bool MidiPlayer::SynthLibraryLoaded()
{
    void *handle = dlopen(HF_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

bool MidiPlayer::SynthHeld() const
{
    return m_engine && m_engine->synth;
}
