// hollyfrost-character: a broken character gets every problem with its place, from the
// library and from the program; the sample folder packs into a file the stage shows.
#include "CharacterTool.h"
#include "Agent.h"
#include "Stage.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace charactertool;

namespace {

QString sampleFolder()
{
    return qEnvironmentVariable("HF_SAMPLE_CHARACTER");
}

bool copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(info.fileName());
        if (info.isDir() ? !copyFolder(info.filePath(), target) : !QFile::copy(info.filePath(), target))
            return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The program's output lines and exit code.
QPair<QStringList, int> run(const QStringList &args)
{
    QProcess program;
    program.start(QDir(qEnvironmentVariable("HF_BIN_DIR")).filePath("hollyfrost-character"), args);
    if (!program.waitForFinished(60000))
        return {{}, -1};
    return {QString::fromLocal8Bit(program.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts), program.exitCode()};
}

} // namespace

class TestCharacterTool : public QObject
{
    Q_OBJECT
private slots:
    void checkListsEveryProblemWithItsPlace();
    void packsTheSampleAndPreviewsItOnTheStage();

private:
    QTemporaryDir dir_;
};

void TestCharacterTool::checkListsEveryProblemWithItsPlace()
{
    const QString folder = dir_.filePath("broken");
    QVERIFY(copyFolder(sampleFolder(), folder));
    QFile json(QDir(folder).filePath("character.json"));
    QVERIFY(json.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(json.readAll()).object();
    json.close();
    QJsonObject animations = root["animations"].toObject();
    const auto setFrame = [&animations](const QString &animation, int n, const QString &key, const QJsonValue &value) {
        QJsonObject a = animations[animation].toObject();
        QJsonArray frames = a["frames"].toArray();
        QJsonObject frame = frames[n].toObject();
        if (value.isUndefined())
            frame.remove(key);
        else
            frame[key] = value;
        frames[n] = frame;
        a["frames"] = frames;
        animations[animation] = a;
    };
    const int width = root["width"].toInt(), height = root["height"].toInt();
    const QByteArray good = pngOf(QImage(width, height, QImage::Format_ARGB32));
    QByteArray damaged = good;   // a right header, then image data whose checksum is wrong
    damaged[damaged.indexOf("IDAT") + 8] ^= 0x55;
    QVERIFY(writeFile(QDir(folder).filePath("frames/wide.png"), pngOf(QImage(width + 1, height, QImage::Format_ARGB32))));
    QVERIFY(writeFile(QDir(folder).filePath("frames/damaged.png"), damaged));
    QVERIFY(writeFile(dir_.filePath("outside.png"), good));   // beside the folder, not in it
    setFrame("greet", 0, "image", "frames/none.png");
    setFrame("wave", 1, "image", "frames/wide.png");
    setFrame("pleased", 1, "duration", QJsonValue::Undefined);
    setFrame("lookup", 0, "image", "frames/damaged.png");
    setFrame("lookdown", 0, "image", "../outside.png");
    setFrame("blink", 0, "sound", "sounds/none.wav");
    animations.remove("cheer");
    root["animations"] = animations;
    QJsonObject states = root["states"].toObject();
    states["showing"] = "appear";
    root["states"] = states;
    QVERIFY(writeFile(json.fileName(), QJsonDocument(root).toJson()));

    const QStringList expected = {
        folder + ": animation \"blink\", frame 1: the sound \"sounds/none.wav\" is missing (the game plays none)",
        folder + ": animation \"greet\", frame 1: the frame \"frames/none.png\" is missing",
        folder + ": animation \"lookdown\", frame 1: the frame \"../outside.png\" is missing",
        folder + ": animation \"pleased\", frame 2: the frame has no duration (the game shows it for 100 ms)",
        folder + ": animation \"wave\", frame 2: the frame \"frames/wide.png\" is larger than the character",
        folder + ": states.showing names the animation \"appear\", which the character lacks",
        folder + ": animation \"lookup\", frame 1: the frame \"frames/damaged.png\" is damaged past its header "
                 "(the game shows a blank frame)",
        folder + ": the character lacks the animation \"cheer\", which the game plays"};
    QCOMPARE(checkCharacter(folder).problems, expected);
    QCOMPARE(run({"check", folder}), qMakePair(expected, 1));

    // Nothing is packed of it.
    QString written;
    QCOMPARE(packCharacter(folder, dir_.filePath("broken.acs"), &written), expected);
    QVERIFY(written.isEmpty());
    QVERIFY(!QFile::exists(dir_.filePath("broken.acs")) && !QFile::exists(dir_.filePath("broken.acs.part")));
    QCOMPARE(run({"pack", folder, "-o", dir_.filePath("broken.acs")}).second, 1);

    // JSON that does not parse: where, and nothing more.
    QVERIFY(writeFile(json.fileName(), "{\n  \"format\": \"hollyfrost-character\",\n  \"name\": Pip\n}\n"));
    QCOMPARE(checkCharacter(folder).problems,
             QStringList{folder + ": character.json line 3, column 11: character.json is not valid: illegal number"});
    // A file that is no character at all.
    QCOMPARE(run({"check", json.fileName()}),
             qMakePair(QStringList{json.fileName() + ": not a character file (not a zip archive)"}, 1));
}

void TestCharacterTool::packsTheSampleAndPreviewsItOnTheStage()
{
    const QString file = dir_.filePath("Sample.acs");
    QCOMPARE(run({"check", sampleFolder()}), qMakePair(QStringList(), 0));
    QCOMPARE(run({"pack", sampleFolder(), "-o", file}), qMakePair(QStringList{"wrote " + file}, 0));
    QCOMPARE(checkCharacter(file).problems, QStringList());

    const RaceScreen screen;   // the primary screen
    AgentStage stage(screen);
    QStringList steps, spoken;
    stage.setSpeechObserver([&spoken](const QString &, const QString &text) { spoken << text; });
    QSignalSpy requests(&stage.control(), &agent::AgentControl::requestComplete);
    bool played = false;
    Launch(previewCharacter(stage, file, [&steps](const QString &step) { steps << step; }, &played));
    QTRY_VERIFY_WITH_TIMEOUT(played, 60000);
    QStringList expected = {"show"};
    for (const QString &animation : gameAnimations())
        expected << "play " + animation;
    expected << "speak" << "hide";
    QCOMPARE(steps, expected);
    for (const QList<QVariant> &request : std::as_const(requests))
        QCOMPARE(request.at(1).toInt(), 0);   // each step done, none failed
    QCOMPARE(spoken, QStringList{"Hello, I am Wisp. Ready for the race!"});
    QVERIFY(!stage.loaded("Player0"));

    // A file the game refuses is not shown.
    Launch(previewCharacter(stage, sampleFolder() + "/character.json", [&steps](const QString &step) { steps << step; },
                            &played));
    QVERIFY(!played);
    QVERIFY(steps.last().contains("not a zip archive"));
}

QTEST_MAIN(TestCharacterTool)
#include "tst_character_tool.moc"
