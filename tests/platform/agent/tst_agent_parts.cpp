// The character platform's plain parts: speech tags, the character file reader, WAV
// reading and speech synthesis.
#include "Agent.h"
#include "CharacterFile.h"
#include "FrameCache.h"
#include "SampleCharacter.h"
#include "SpeechText.h"
#include "Voice.h"
#include "Wav.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace agent;
using namespace agent::detail;

namespace {

// A filled picture of that size as PNG bytes.
QByteArray pngOf(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The process's peak resident memory (KB) and the processor time it used (ms) so far.
std::pair<long, long> costSoFar()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](timeval t) { return long(t.tv_sec) * 1000 + long(t.tv_usec) / 1000; };
    return {usage.ru_maxrss, ms(usage.ru_utime) + ms(usage.ru_stime)};
}

} // namespace

class TestAgentParts : public QObject
{
    Q_OBJECT

private slots:
    void mapTagSpeaksFirstShowsSecond();
    void otherTagsAreObeyedNotSpoken();
    void brokenTagsDoNotLeakIntoSpeech();
    void readsSampleCharacter();
    void rejectsDamagedFiles_data();
    void rejectsDamagedFiles();
    void refusesHostileFiles_data();
    void refusesHostileFiles();
    void readsWavFiles();
    void synthesisedSpeechHasLengthAndWords();

private:
    // Writes a zip archive with those entries in the test's folder; returns its path.
    QString zipHere(const QString &name, const QList<QPair<QString, QByteArray>> &entries)
    {
        const QString path = dir_.filePath(name);
        const QString error = sample::writeZip(path, entries);
        if (!error.isEmpty())
            qFatal("%s", qPrintable(error));
        return path;
    }

    QTemporaryDir dir_;
};

void TestAgentParts::mapTagSpeaksFirstShowsSecond()
{
    const ParsedSpeech p = parseSpeechText(QStringLiteral("Welcome to \\map=\"Hahlee\"=\"Holly\"\\frost!"));
    QCOMPARE(p.spoken, QStringLiteral("Welcome to Hahleefrost!"));
    QCOMPARE(p.shown, QStringLiteral("Welcome to Hollyfrost!"));
    QCOMPARE(p.segments.size(), 1);
    QCOMPARE(p.segments[0].text, p.spoken);

    // Tag names in any case; two tags in a row.
    const ParsedSpeech two = parseSpeechText(QStringLiteral("\\MAP=\"a\"=\"b\"\\\\Map=\"c\"=\"d\"\\"));
    QCOMPARE(two.spoken, QStringLiteral("ac"));
    QCOMPARE(two.shown, QStringLiteral("bd"));
}

void TestAgentParts::otherTagsAreObeyedNotSpoken()
{
    const ParsedSpeech p = parseSpeechText(
        QStringLiteral("Ready\\pau=300\\ set \\spd=220\\\\Pit=70\\go \\emp\\now\\vol=32767\\!\\rst\\ done"));
    QCOMPARE(p.spoken, QStringLiteral("Ready set go now! done"));
    QCOMPARE(p.shown, p.spoken);
    QCOMPARE(p.segments.size(), 5);
    QCOMPARE(p.segments[0].text, QStringLiteral("Ready"));
    QCOMPARE(p.segments[1].pauseMs, 300);
    QCOMPARE(p.segments[1].text, QStringLiteral(" set "));
    QCOMPARE(p.segments[1].rate, -1);
    QCOMPARE(p.segments[2].rate, 220);
    QCOMPARE(p.segments[2].pitch, 70);
    QCOMPARE(p.segments[2].text, QStringLiteral("go now"));
    QCOMPARE(p.segments[3].volume, 49);
    QCOMPARE(p.segments[3].text, QStringLiteral("!"));
    QCOMPARE(p.segments[4].rate, -1);   // \rst\ restores the voice
    QCOMPARE(p.segments[4].pitch, -1);
    QCOMPARE(p.segments[4].volume, -1);
}

void TestAgentParts::brokenTagsDoNotLeakIntoSpeech()
{
    // An unterminated tag: the lone backslash is dropped, the words stay.
    QCOMPARE(parseSpeechText(QStringLiteral("a \\ b")).spoken, QStringLiteral("a  b"));
    // A map tag without its second text is an unknown tag: nothing of it is spoken.
    const ParsedSpeech p = parseSpeechText(QStringLiteral("x\\map=\"y\"\\z"));
    QCOMPARE(p.spoken, QStringLiteral("xz"));
    QCOMPARE(p.shown, QStringLiteral("xz"));
    QVERIFY(parseSpeechText(QString()).segments.isEmpty());
}

void TestAgentParts::readsSampleCharacter()
{
    const QString path = dir_.filePath(QStringLiteral("pip.acs"));
    QCOMPARE(sample::writeSampleCharacter(path, QStringLiteral("Pip"), 40, 50), QString());
    const CharacterData data = loadCharacterFile(path);
    QCOMPARE(data.name, QStringLiteral("Pip"));
    QCOMPARE(data.width, 40);
    QCOMPARE(data.height, 50);
    for (const char *name : {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft",
                             "lookleft", "lookright", "lookup", "lookdown", "blink", "alert",
                             "surprised", "idle_1", "moveup", "hide", "postcall", "startgate",
                             "show", "speak", "moveleft", "moveright", "movedown", "rest"})
        QVERIFY2(data.find(QLatin1String(name)), name);
    QVERIFY(data.find(QStringLiteral("GestureLeft")));
    QCOMPARE(data.find(QStringLiteral("wave"))->returnName, QStringLiteral("wave_return"));
    QVERIFY(data.find(QStringLiteral("speak"))->loop);
    QCOMPARE(data.speaking, QStringLiteral("speak"));
    QCOMPARE(data.moveLeft, QStringLiteral("moveleft"));
    QCOMPARE(data.idling.size(), 2);
    QCOMPARE(data.voice.rate, 175);
    QCOMPARE(decodePicture(data.images.first()).size(), QSize(40, 50));
}

void TestAgentParts::rejectsDamagedFiles_data()
{
    QTest::addColumn<QString>("file");
    const QByteArray json = sample::sampleCharacterJson(QStringLiteral("X"), 10, 10);
    const QByteArray goodPng = pngOf(10, 10);

    const QString text = dir_.filePath(QStringLiteral("notes.acs"));
    QFile textFile(text);
    QVERIFY(textFile.open(QIODevice::WriteOnly));
    textFile.write("just some words, not an archive\n");
    textFile.close();
    QTest::newRow("missing") << dir_.filePath(QStringLiteral("nothing-here.acs"));
    QTest::newRow("foreign") << text;
    QTest::newRow("no json") << zipHere(QStringLiteral("nojson.acs"), {{"frames/a.png", goodPng}});
    QTest::newRow("bad json") << zipHere(QStringLiteral("badjson.acs"), {{"character.json", "{ \"format\": "}});
    QTest::newRow("other format") << zipHere(QStringLiteral("other.acs"),
        {{"character.json", QByteArray(json).replace("hollyfrost-character", "something-else")}});
    QTest::newRow("missing frame") << zipHere(QStringLiteral("noframe.acs"), {{"character.json", json}});
    QTest::newRow("frame not png") << zipHere(QStringLiteral("notpng.acs"),
        {{"character.json", "{\"format\":\"hollyfrost-character\",\"version\":1,\"width\":10,\"height\":10,"
                            "\"animations\":{\"a\":{\"frames\":[{\"image\":\"a.png\"}]}}}"},
         {"a.png", "GIF89a not a png"}});
    QTest::newRow("no frames") << zipHere(QStringLiteral("empty.acs"),
        {{"character.json", "{\"format\":\"hollyfrost-character\",\"version\":1,\"width\":10,\"height\":10,"
                            "\"animations\":{}}"}});


    // A real character file cut short.
    const QString whole = dir_.filePath(QStringLiteral("whole.acs"));
    QCOMPARE(sample::writeSampleCharacter(whole), QString());
    QFile in(whole);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    QFile cut(dir_.filePath(QStringLiteral("cut.acs")));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    QTest::newRow("truncated") << cut.fileName();
}

void TestAgentParts::rejectsDamagedFiles()
{
    QFETCH(QString, file);
    try {
        loadCharacterFile(file);
        QFAIL("a damaged file loaded");
    } catch (const AgentError &error) {
        QVERIFY(QString::fromStdString(error.what()).contains(QFileInfo(file).fileName()));
    }
}

// Character files come from anyone: each of these costs more than a character may, or is
// no file at all. Each is refused for its own reason, without hanging or running out, and
// costs little memory and time.
void TestAgentParts::refusesHostileFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    auto character = [](int side, const QStringList &frames) {
        QByteArray list;
        for (const QString &frame : frames)
            list += (list.isEmpty() ? "" : ",") + QByteArray("{\"image\":\"") + frame.toUtf8() + "\"}";
        return "{\"format\":\"hollyfrost-character\",\"version\":1,\"width\":" + QByteArray::number(side)
               + ",\"height\":" + QByteArray::number(side) + ",\"animations\":{\"a\":{\"frames\":[" + list + "]}}}";
    };
    QTest::newRow("frame larger than the character") << zipHere(QStringLiteral("wide.acs"),
        {{"character.json", character(10, {"a.png"})}, {"a.png", pngOf(11, 10)}}) << QStringLiteral("larger than the character");
    QTest::newRow("too many frames") << zipHere(QStringLiteral("long.acs"),
        {{"character.json", character(10, QStringList(16385, "a.png"))}, {"a.png", pngOf(10, 10)}})
        << QStringLiteral("too many frames");
    QStringList big;
    QList<QPair<QString, QByteArray>> bigEntries;
    const QByteArray bigPng = pngOf(2048, 2048);
    for (int i = 0; i < 5; ++i) {   // five 2048 x 2048 pictures: past the pixel budget
        big << QStringLiteral("f%1.png").arg(i);
        bigEntries << qMakePair(big.last(), bigPng);
    }
    bigEntries.prepend(qMakePair(QStringLiteral("character.json"), character(2048, big)));
    QTest::newRow("too many pixels") << zipHere(QStringLiteral("big.acs"), bigEntries) << QStringLiteral("too many or too large");
    // A frame sound is only an effect, but one past the size of an entry still refuses the file.
    QTest::newRow("sound too large") << zipHere(QStringLiteral("loud.acs"),
        {{"character.json", QByteArray(character(10, {"a.png"})).replace("\"a.png\"", "\"a.png\",\"sound\":\"a.wav\"")},
         {"a.png", pngOf(10, 10)}, {"a.wav", QByteArray(32 * 1024 * 1024 + 1, '\0')}})
        << QStringLiteral("\"a.wav\" is too large");
    QList<QPair<QString, QByteArray>> many = {{"character.json", character(10, {"a.png"})}, {"a.png", pngOf(10, 10)}};
    for (int i = 0; i < 4100; ++i)
        many << qMakePair(QStringLiteral("x/%1").arg(i), QByteArray("x"));
    QTest::newRow("too many entries") << zipHere(QStringLiteral("many.acs"), many) << QStringLiteral("too many entries");
    // Frames of about a hundred bytes whose text chunk claims 1.7 GB: a PNG reader would
    // take that much before finding the bytes missing.
    const QByteArray huge = pngOf(10, 10).left(33) + QByteArray::fromHex("65555555") + "tEXt" + QByteArray(60, 'x');
    QTest::newRow("frames claiming huge chunks") << zipHere(QStringLiteral("claims.acs"),
        {{"character.json", character(10, {"a.png", "b.png"})}, {"a.png", huge}, {"b.png", huge}})
        << QStringLiteral("claims more than it holds");
    const QString fifo = dir_.filePath(QStringLiteral("pipe.acs"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("fifo") << fifo << QStringLiteral("not a regular file");   // opening it for reading would wait for a writer
    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("folder.acs")));
    QTest::newRow("folder") << dir_.filePath(QStringLiteral("folder.acs")) << QStringLiteral("not a regular file");
}

void TestAgentParts::refusesHostileFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    const auto [peakBefore, cpuBefore] = costSoFar();
    QString refusal;
    try {
        loadCharacterFile(file);
    } catch (const AgentError &error) {
        refusal = QString::fromStdString(error.what());
    }
    // At little cost: far less than a hundred megabytes more, far less than a second.
    const auto [peakAfter, cpuAfter] = costSoFar();
    QVERIFY2(peakAfter - peakBefore < 100 * 1024, qPrintable(QStringLiteral("%1 KB more").arg(peakAfter - peakBefore)));
    QVERIFY2(cpuAfter - cpuBefore < 1000, qPrintable(QStringLiteral("%1 ms").arg(cpuAfter - cpuBefore)));
    QVERIFY2(!refusal.isEmpty(), "a hostile file loaded");
    QVERIFY2(refusal.contains(reason), qPrintable(refusal));
}

void TestAgentParts::readsWavFiles()
{
    const SoundClip mono = parseWav(sample::wavBytes(8000, 1, 16, 4000));
    QVERIFY(mono.valid());
    QCOMPARE(mono.durationMs, 500);
    QCOMPARE(mono.format.sampleFormat(), QAudioFormat::Int16);
    const SoundClip stereo = parseWav(sample::wavBytes(22050, 2, 8, 22050));
    QVERIFY(stereo.valid());
    QCOMPARE(stereo.durationMs, 1000);
    QCOMPARE(stereo.format.channelCount(), 2);

    QVERIFY(!parseWav(sample::wavBytes(8000, 1, 16, 4000, 3)).valid());   // floating point
    QVERIFY(!parseWav(sample::wavBytes(8000, 1, 12, 4000)).valid());
    QVERIFY(!parseWav(sample::wavBytes(8000, 1, 16, 4000).left(30)).valid());
    QVERIFY(!parseWav(QByteArray("RIFF")).valid());
    QVERIFY(!parseWav(QByteArray()).valid());
}

void TestAgentParts::synthesisedSpeechHasLengthAndWords()
{
    VoiceSettings voice;
    const SpokenAudio plain = synthesise(parseSpeechText(QStringLiteral("The race starts now")), voice);
    QVERIFY2(plain.durationMs > 500, qPrintable(QString::number(plain.durationMs)));
    QCOMPARE(plain.wordStartsMs.size(), 4);
    QVERIFY(std::is_sorted(plain.wordStartsMs.begin(), plain.wordStartsMs.end()));

    // A pause adds its length; nothing of the tag is spoken.
    const SpokenAudio paused = synthesise(parseSpeechText(QStringLiteral("The race\\pau=1000\\ starts now")), voice);
    QVERIFY2(paused.durationMs >= plain.durationMs + 900, qPrintable(QString::number(paused.durationMs)));
    QCOMPARE(paused.wordStartsMs.size(), 4);

    // Faster speech is shorter.
    const SpokenAudio fast = synthesise(parseSpeechText(QStringLiteral("\\spd=400\\The race starts now")), voice);
    QVERIFY(fast.durationMs < plain.durationMs);
    QCOMPARE(synthesise(parseSpeechText(QString()), voice).durationMs, 0);
}

QTEST_GUILESS_MAIN(TestAgentParts)
#include "tst_agent_parts.moc"
