// Background music: the listing of music files, the random choice, starting and
// stopping with and without a sound output, the making of the synthesizer away from the
// window's thread, and the tunes the build composes.
#include "MidiPlayer.h"
#include "RaceMusic.h"
#include "Utilities.h"
#include "Waits.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <memory>

namespace {

// A format-0 file with one short note: about an eighth of a second of music.
QByteArray blipMidi()
{
    const QByteArray track = QByteArray::fromHex("00c000" "00904064" "188040 40" "00ff2f00");
    QByteArray out = QByteArray::fromHex("4d546864 00000006 0000 0001 0060") + "MTrk";
    char size[4];
    qToBigEndian<quint32>(quint32(track.size()), size);
    return out + QByteArray(size, 4) + track;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// What a reader of a Standard MIDI File sees: its format, its tracks, how long it
// plays, and which channels and programs it uses.
struct SmfSummary {
    bool valid = false;
    int format = -1;
    int tracks = 0;
    double seconds = 0;
    QSet<int> channels;
    QSet<int> programs;
};

quint32 readVariable(const QByteArray &data, int &at, bool &ok)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= data.size()) { ok = false; return 0; }
        const quint8 byte = quint8(data[at++]);
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80))
            return value;
    }
    ok = false;
    return 0;
}

SmfSummary summarise(const QByteArray &file)
{
    SmfSummary summary;
    if (file.size() < 14 || !file.startsWith("MThd") || qFromBigEndian<quint32>(file.constData() + 4) != 6)
        return summary;
    summary.format = qFromBigEndian<quint16>(file.constData() + 8);
    const int declared = qFromBigEndian<quint16>(file.constData() + 10);
    const int division = qFromBigEndian<quint16>(file.constData() + 12);
    if (division == 0 || (division & 0x8000))
        return summary;
    QMap<quint32, quint32> tempos{{0, 500000}};
    quint32 lastTick = 0;
    int at = 14;
    for (int t = 0; t < declared; ++t) {
        if (at + 8 > file.size() || file.mid(at, 4) != "MTrk")
            return summary;
        const int size = int(qFromBigEndian<quint32>(file.constData() + at + 4));
        const QByteArray data = file.mid(at + 8, size);
        if (data.size() != size)
            return summary;
        at += 8 + size;
        int i = 0;
        quint32 tick = 0;
        quint8 status = 0;
        bool ok = true, ended = false;
        while (ok && !ended && i < data.size()) {
            tick += readVariable(data, i, ok);
            if (!ok || i >= data.size())
                return summary;
            if (quint8(data[i]) & 0x80)
                status = quint8(data[i++]);
            if (status == 0xFF) {
                const quint8 type = quint8(data[i++]);
                const quint32 length = readVariable(data, i, ok);
                if (type == 0x51 && length == 3)
                    tempos[tick] = (quint32(quint8(data[i])) << 16) | (quint32(quint8(data[i + 1])) << 8) | quint8(data[i + 2]);
                ended = type == 0x2F;
                i += int(length);
            } else if (status == 0xF0 || status == 0xF7) {
                i += int(readVariable(data, i, ok));
            } else if (status >= 0x80) {
                const int kind = status & 0xF0;
                if (kind == 0xC0)
                    summary.programs.insert(quint8(data[i]));
                if (kind == 0x90 && i + 1 < data.size() && data[i + 1] != 0)
                    summary.channels.insert((status & 0x0F) + 1);
                i += (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            } else {
                return summary;
            }
        }
        if (!ended)
            return summary;
        lastTick = qMax(lastTick, tick);
        ++summary.tracks;
    }
    // Seconds up to the last tick through the tempo map.
    quint32 previous = 0, tempo = 500000;
    for (auto it = tempos.cbegin(); it != tempos.cend() && it.key() < lastTick; ++it) {
        summary.seconds += double(it.key() - previous) * tempo / division / 1e6;
        previous = it.key();
        tempo = it.value();
    }
    summary.seconds += double(lastTick - previous) * tempo / division / 1e6;
    summary.valid = true;
    return summary;
}

} // namespace

class MusicTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    RaceMusic music;   // as the main window's

    void emptyFolder()
    {
        QDir dir(m_folder.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            QDir sub(dir.filePath(name));
            if (sub.exists() && QFileInfo(dir.filePath(name)).isDir())
                sub.removeRecursively();
            else
                dir.remove(name);
        }
    }

    static bool soundFontInstalled() { return !MidiPlayer::SoundFontPath().isEmpty(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        qputenv("HOLLYFROST_PROGRAM_FOLDER", m_folder.path().toLocal8Bit());
        qputenv("HOLLYFROST_AUDIO_FILE", m_folder.filePath(QStringLiteral("out.wav")).toLocal8Bit());
    }

    void init()
    {
        emptyFolder();
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "none");
    }

    void cleanup() { music.Stop(); }

    void noMusicFiles()
    {
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("readme.txt")), "x"));
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("tune.midi")), blipMidi()));
        QCOMPARE(CountMusicFiles(), 0);
        QVERIFY(RandomMusicFile().isEmpty());
        QVERIFY(NthMusicFile(1).isEmpty());
    }

    void oneFileIsAlwaysChosen()
    {
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("only.mid")), blipMidi()));
        QVERIFY(QDir(m_folder.path()).mkdir(QStringLiteral("folder.mid")));
        QCOMPARE(CountMusicFiles(), 1);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(RandomMusicFile(), ProgramFolder() + QStringLiteral("only.mid"));
    }

    void listingOrderAndRandomChoice()
    {
        for (const char *name : {"b.mid", "a.mid", "C.MID"})
            QVERIFY(writeFile(m_folder.filePath(QLatin1String(name)), blipMidi()));
        QCOMPARE(CountMusicFiles(), 3);
        QCOMPARE(NthMusicFile(1), QStringLiteral("a.mid"));
        QCOMPARE(NthMusicFile(2), QStringLiteral("b.mid"));
        QCOMPARE(NthMusicFile(3), QStringLiteral("C.MID"));
        QCOMPARE(NthMusicFile(9), QStringLiteral("C.MID"));   // past the end: the last one
        QCOMPARE(NthMusicFile(0), QStringLiteral("a.mid"));
        QSet<QString> seen;
        for (int i = 0; i < 200 && seen.size() < 3; ++i)
            seen.insert(RandomMusicFile());
        QCOMPARE(seen, (QSet<QString>{ProgramFolder() + "a.mid", ProgramFolder() + "b.mid", ProgramFolder() + "C.MID"}));
    }

    // The synthesizer library is loaded only when some sound output may open: a sound
    // server's socket, a playback device or an ALSA configuration, or a driver that only
    // trying can judge.
    void soundOutputIsLookedForFirst()
    {
        QTemporaryDir runtime, home, devices;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("HOME"), home.path());
        const QStringList usual = {QStringLiteral("pulseaudio"), QStringLiteral("alsa")};
        const auto mayOpen = [&](const QStringList &drivers) {
            return MidiPlayer::SoundOutputMayOpen(drivers, environment, devices.path());
        };
        // This machine's own system-wide server or ALSA configuration would answer yes.
        const bool systemWide = QFileInfo::exists(QStringLiteral("/run/pulse/native"))
                                || QFileInfo::exists(QStringLiteral("/etc/asound.conf"));
        if (!systemWide) {
            QVERIFY(!mayOpen(usual));
            QVERIFY(writeFile(devices.filePath(QStringLiteral("pcmC0D0c")), ""));   // capture only
            QVERIFY(writeFile(devices.filePath(QStringLiteral("controlC0")), ""));
            QVERIFY(!mayOpen(usual));
        }
        QVERIFY(!mayOpen({}));
        QVERIFY(mayOpen({QStringLiteral("file")}));
        QVERIFY(mayOpen({QStringLiteral("none")}));

        QVERIFY(writeFile(devices.filePath(QStringLiteral("pcmC1D0p")), ""));
        QVERIFY(mayOpen({QStringLiteral("alsa")}));
        QVERIFY(QFile::remove(devices.filePath(QStringLiteral("pcmC1D0p"))));
        QVERIFY(writeFile(home.filePath(QStringLiteral(".asoundrc")), "pcm.!default null\n"));
        QVERIFY(mayOpen({QStringLiteral("alsa")}));
        if (!systemWide)
            QVERIFY(!mayOpen({QStringLiteral("pulseaudio")}));

        QVERIFY(QDir(runtime.path()).mkpath(QStringLiteral("pulse")));
        QVERIFY(writeFile(runtime.filePath(QStringLiteral("pulse/native")), ""));
        QVERIFY(mayOpen({QStringLiteral("pulseaudio")}));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QCOMPARE(mayOpen({QStringLiteral("pulseaudio")}), systemWide);
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("tcp:localhost"));
        QVERIFY(mayOpen({QStringLiteral("pulseaudio")}));

        // With no output to open, a race's music leaves the library unloaded.
        QTemporaryDir emptyRuntime;
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray pulseServer = qgetenv("PULSE_SERVER");
        const auto restore = qScopeGuard([&] {   // also after a skip or a failure
            qputenv("XDG_RUNTIME_DIR", runtimeBefore);
            if (!pulseServer.isEmpty())
                qputenv("PULSE_SERVER", pulseServer);
        });
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "pulseaudio,alsa");
        qputenv("XDG_RUNTIME_DIR", emptyRuntime.path().toLocal8Bit());
        qunsetenv("PULSE_SERVER");
        if (MidiPlayer::SoundOutputMayOpen(MidiPlayer::AudioDrivers(), QProcessEnvironment::systemEnvironment(),
                                           QStringLiteral("/dev/snd")))
            QSKIP("this machine has a sound output");
        QVERIFY(!MidiPlayer::SynthLibraryLoaded());
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("race.mid")), blipMidi()));
        music.Start();
        QVERIFY(!music.Player()->IsOpen());
        QVERIFY(!music.Player()->Unavailable());   // asked again at the next race
        QVERIFY(!MidiPlayer::SynthLibraryLoaded());
        music.Stop();
    }

    // Without a sound output (or a soundfont) the race goes on quietly and at once.
    void noSoundDeviceIsQuiet()
    {
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("race.mid")), blipMidi()));
        QElapsedTimer clock;
        clock.start();
        music.Start();
        QVERIFY(music.Player());
        QTRY_VERIFY(!music.Player()->Preparing());
        QVERIFY(!music.Player()->IsPlaying());
        QVERIFY(!music.Player()->IsOpen());
        QVERIFY(!music.Player()->SoundFontLoaded());   // a silent game holds no instruments
        QVERIFY(!music.Player()->SynthHeld());         // nor the synthesizer's voices
        music.PieceEnded();
        music.Stop();
        music.Stop();
        QVERIFY(clock.elapsed() < 3000);
    }

    void noMusicFileIsQuiet()
    {
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "file");
        music.Start();
        QVERIFY(!music.Player()->IsPlaying());
        music.Stop();
    }

    void notMidiIsRefused()
    {
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("fake.mid")), QByteArray(100, 'z')));
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "file");
        MidiPlayer player;
        bool prepared = false;
        player.Prepare([&prepared] { prepared = true; });
        QTRY_VERIFY(prepared);
        QVERIFY(!player.Open(m_folder.filePath(QStringLiteral("fake.mid"))));
        QVERIFY(!player.Open(QString()));
        QVERIFY(!player.Play());
    }

    // Through an output that writes to a file: a piece that ends is followed by another
    // one until the music is stopped.
    void piecesFollowEachOtherUntilStopped()
    {
        if (!soundFontInstalled())
            QSKIP("no soundfont installed");
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("blip.mid")), blipMidi()));
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "file");
        music.Start();
        QTRY_VERIFY(music.Player()->IsOpen());
        QVERIFY(music.Player()->SoundFontLoaded());
        QVERIFY(music.Player()->SynthHeld());
        QVERIFY(music.Player()->Notify());
        QVERIFY(qAbs(music.Player()->Gain() - 2.0 * 0x3800 / 0xFFFF) < 1e-6);
        QSignalSpy finished(music.Player(), &MidiPlayer::Finished);
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 1, 10000);
        // The next piece is already under way.
        QVERIFY(music.Player()->IsOpen());
        QVERIFY(music.Player()->IsPlaying());
        music.Stop();
        QVERIFY(!music.Player()->IsOpen());
        const int count = finished.count();
        QTest::qWait(400);
        QCOMPARE(finished.count(), count);
    }

    // The synthesizer, its output and the soundfont are made on a worker thread: the
    // window's thread goes on meanwhile, and a race that ends (or music that goes with
    // its window) before they are made starts no music afterwards.
    void musicIsMadeAwayFromTheWindow()
    {
        if (!soundFontInstalled())
            QSKIP("no soundfont installed");
        QVERIFY(writeFile(m_folder.filePath(QStringLiteral("blip.mid")), blipMidi()));
        qputenv("HOLLYFROST_AUDIO_DRIVERS", "file");
        const int waits = PendingWaits();
        QElapsedTimer sinceBeat;
        qint64 longest = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, this, [&] { longest = qMax(longest, sinceBeat.restart()); });
        beat.start(2);
        sinceBeat.start();
        QElapsedTimer clock;
        clock.start();
        music.Start();
        QVERIFY(!music.Player()->IsOpen());   // still with the worker
        QTRY_VERIFY_WITH_TIMEOUT(music.Player()->IsPlaying(), 10000);
        qInfo("the music began after %lld ms; the event loop's longest pause %lld ms", clock.elapsed(), longest);

        // Ended during the making, and ended, started and ended again: no music, the output
        // closed once the synthesizer is back.
        for (int starts : {1, 2}) {
            music.Stop();
            QVERIFY(!music.Player()->SoundOutputOpen());
            for (int i = 0; i < starts; ++i) {
                music.Start();
                QVERIFY(music.Player()->Preparing());
                music.Stop();
            }
            QTRY_COMPARE(PendingWaits(), waits);
            QVERIFY(!music.Player()->IsOpen());
            QVERIFY(!music.Player()->SoundOutputOpen());
        }
        // Ended and started again: the later start plays.
        music.Start();
        music.Stop();
        music.Start();
        QTRY_VERIFY_WITH_TIMEOUT(music.Player()->IsPlaying(), 10000);
        QCOMPARE(PendingWaits(), waits);
        music.Stop();

        // The window (and its music) closed during the making.
        auto gone = std::make_unique<RaceMusic>();
        gone->Start();
        QVERIFY(gone->Player()->Preparing());
        gone.reset();
        QTRY_COMPARE(PendingWaits(), waits);
    }

    void composedTunesAreRaceMusic()
    {
        const QDir bin(qEnvironmentVariable("HF_BIN_DIR"));
        const QStringList tunes = bin.entryList({QStringLiteral("race*.mid")}, QDir::Files, QDir::Name);
        QVERIFY2(tunes.size() >= 3, qPrintable(tunes.join(u' ')));
        for (const QString &name : tunes) {
            QFile file(bin.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const SmfSummary tune = summarise(file.readAll());
            QVERIFY2(tune.valid, qPrintable(name));
            QCOMPARE(tune.format, 1);
            QVERIFY(tune.tracks >= 4);
            QVERIFY2(tune.seconds >= 30 && tune.seconds <= 60, qPrintable(name + QString::number(tune.seconds)));
            QVERIFY(tune.channels.contains(10));   // drums
            QVERIFY(tune.programs.size() >= 3);
        }
    }
};

QTEST_MAIN(MusicTest)
#include "tst_music.moc"
