#include "MidiPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QPromise>

#include <memory>
#include <utility>

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

// Loads the synthesizer library once (on whichever thread first asks, the others waiting
// for it); false for the rest of the session when it or one of its functions is missing.
bool loadFluid()
{
    static const bool loaded = [] {
        void *handle = dlopen(HF_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        static FluidLibrary library;
#define HF_FLUID_RESOLVE(name)                                                                 \
        library.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));             \
        if (!library.name)                                                                     \
            return false;
        HF_FLUID_FUNCTIONS(HF_FLUID_RESOLVE)
#undef HF_FLUID_RESOLVE
        fluid = &library;
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid->fluid_set_log_function(level, quietLog, nullptr);
        silenceAlsa();
        return true;
    }();
    return loaded;
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
    fluid_player_t *player = nullptr;   // made and used on the owner's thread only
    bool soundFontLoaded = false;
    Made made = Made::NoOutput;   // what the last preparation came to
};

// What making the engine reads from this object and the environment: taken on the
// owner's thread, so that the worker reads nothing that changes.
struct MidiPlayer::Setup {
    double gain;
    QStringList drivers;
    QByteArray outputFile;
    QByteArray soundFont;
};

MidiPlayer::MidiPlayer(QObject *parent)
    : QObject(parent), m_gain(FullVolumeGain * 0x3800 / 0xFFFF)
{
    m_worker.setMaxThreadCount(1);
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &MidiPlayer::checkFinished);
    connect(&m_preparing, &QFutureWatcherBase::finished, this, &MidiPlayer::takeBack);
}

MidiPlayer::~MidiPlayer()
{
    m_poll.stop();
    if (m_away)
        takeBack();   // the worker may be loading into the synthesizer: it ends first
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

MidiPlayer::Setup MidiPlayer::setup() const
{
    return {m_gain, AudioDrivers(), qgetenv("HOLLYFROST_AUDIO_FILE"), QFile::encodeName(SoundFontPath())};
}

bool MidiPlayer::ready() const
{
    return m_engine && m_engine->driver && m_engine->soundFontLoaded;
}

// Makes what the engine lacks, on one thread at a time. A sound output is tried again
// each time (a sound server started since the last race brings the music back). The
// synthesizer's voices take about 4 MB and the soundfont's instruments over 10 MB:
// without an output to play them the voices are let go, to be made again when the
// output is tried next, and the instruments are not loaded at all.
MidiPlayer::Made MidiPlayer::make(Engine &engine, const Setup &setup)
{
    if (!loadFluid() || setup.soundFont.isEmpty())
        return Made::Unavailable;
    if (!engine.settings && !(engine.settings = fluid->new_fluid_settings()))
        return Made::Unavailable;
    if (!engine.synth) {
        fluid->fluid_settings_setnum(engine.settings, "synth.gain", setup.gain);
        if (!(engine.synth = fluid->new_fluid_synth(engine.settings)))
            return Made::Unavailable;
    }
    if (!setup.outputFile.isEmpty())
        fluid->fluid_settings_setstr(engine.settings, "audio.file.name", setup.outputFile.constData());
    for (const QString &name : setup.drivers) {
        if (engine.driver)
            break;
        if (fluid->fluid_settings_setstr(engine.settings, "audio.driver", name.toLatin1().constData()) != FLUID_FAILED)
            engine.driver = fluid->new_fluid_audio_driver(engine.settings, engine.synth);
    }
    if (!engine.driver) {
        if (!engine.soundFontLoaded) {
            fluid->delete_fluid_synth(engine.synth);
            engine.synth = nullptr;
        }
        return Made::NoOutput;
    }
    if (!engine.soundFontLoaded) {
        if (fluid->fluid_synth_sfload(engine.synth, setup.soundFont.constData(), 1) == FLUID_FAILED)
            return Made::Unavailable;
        engine.soundFontLoaded = true;
    }
    return Made::Ready;
}

void MidiPlayer::Prepare(std::function<void()> done)
{
    // Nothing to play on: the synthesizer library stays unloaded. This is asked again on
    // every start, so a sound server started later brings the music back.
    if (!m_away && (m_unavailable || ready()
                    || !SoundOutputMayOpen(AudioDrivers(), QProcessEnvironment::systemEnvironment(),
                                           QStringLiteral("/dev/snd")))) {
        done();
        return;
    }
    m_closeAsked = false;   // wanted again
    m_waiting.push_back(std::move(done));
    if (!m_away)
        startPreparing();
}

// The engine (without its player) goes to the worker and is not touched here until it
// comes back.
void MidiPlayer::startPreparing()
{
    deletePlayer();
    auto promise = std::make_shared<QPromise<Engine *>>();
    m_preparing.setFuture(promise->future());
    promise->start();
    Engine *engine = m_engine ? std::exchange(m_engine, nullptr) : new Engine;
    m_away = true;
    m_worker.start([promise, engine, setup = setup()] {
        engine->made = make(*engine, setup);
        promise->addResult(engine);
        promise->finish();
    });
}

// The engine back from the worker (waited for only when this player goes first), with
// what was asked of it meanwhile.
void MidiPlayer::takeBack()
{
    if (!m_away)
        return;
    m_preparing.waitForFinished();
    m_away = false;
    m_engine = m_preparing.result();
    if (m_engine->made == Made::Unavailable)
        m_unavailable = true;
    if (m_closeAsked)
        closeDriver();
    m_closeAsked = false;
    if (m_engine->synth)
        fluid->fluid_synth_set_gain(m_engine->synth, float(m_gain));
    releaseWaiting();
}

// Those who waited go on from the event loop, also when this player is gone by then (the
// destructor takes the engine back): each looks whether what it needs still is.
void MidiPlayer::releaseWaiting()
{
    QCoreApplication *app = QCoreApplication::instance();
    for (std::function<void()> &done : std::exchange(m_waiting, {})) {
        if (app)
            QMetaObject::invokeMethod(app, std::move(done), Qt::QueuedConnection);
    }
}

bool MidiPlayer::Open(const QString &nativePath)
{
    Stop();
    deletePlayer();
    if (!ready() || nativePath.isEmpty() || !QFileInfo(nativePath).isFile())
        return false;
    const QByteArray file = QFile::encodeName(nativePath);
    if (!fluid->fluid_is_midifile(file.constData()))
        return false;
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
    m_closeAsked = m_away;
    closeDriver();
    deletePlayer();
}

void MidiPlayer::closeDriver()
{
    if (m_engine && m_engine->driver) {
        fluid->delete_fluid_audio_driver(m_engine->driver);
        m_engine->driver = nullptr;
    }
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

bool MidiPlayer::SoundOutputOpen() const
{
    return m_engine && m_engine->driver;
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

bool MidiPlayer::SoundFontLoaded() const
{
    return m_engine && m_engine->soundFontLoaded;
}

bool MidiPlayer::SynthHeld() const
{
    return m_engine && m_engine->synth;
}
