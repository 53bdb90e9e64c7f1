// Checks the character files the build ships: the commentator in the program folder
// and the contestants in the character library folder.
#include "ZipEntries.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

namespace {

const QStringList Required = {"greet", "wave", "pleased", "cheer", "congratulate", "gestureleft", "lookleft",
                              "lookright", "lookup", "lookdown", "blink", "alert", "surprised", "idle_1",
                              "moveup", "hide", "postcall", "startgate", "show", "speak", "moveleft",
                              "moveright", "movedown", "rest"};

QString announcerFile()
{
    return QDir(qEnvironmentVariable("HF_BIN_DIR")).filePath("Announcer.acs");
}

QDir libraryDir()
{
    return QDir(QDir(qEnvironmentVariable("HF_WINDOWS_DIR")).filePath("msagent/chars"));
}

QStringList contestantFiles()
{
    QStringList files;
    const QDir dir = libraryDir();
    for (const QString &name : dir.entryList({"*.acs"}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

struct Loaded
{
    QJsonObject root;
    QMap<QString, QByteArray> entries;
};

Loaded load(const QString &path)
{
    Loaded l;
    bool ok = false;
    l.entries = readZipEntries(path, &ok);
    if (!ok)
        return l;
    l.root = QJsonDocument::fromJson(l.entries.value("character.json")).object();
    return l;
}

QImage frameImage(const Loaded &l, const QString &animation, int index)
{
    const QJsonArray frames = l.root["animations"].toObject()[animation].toObject()["frames"].toArray();
    const QString path = frames.at(index < 0 ? frames.size() + index : index).toObject()["image"].toString();
    return QImage::fromData(l.entries.value(path), "PNG").convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 128;
    return n;
}

// The share of pixels whose colour or coverage differs clearly between two frames.
double difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 1;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
            differing += d > 60;
        }
    return double(differing) / (a.width() * a.height());
}

} // namespace

class ShippedCharacters : public QObject
{
    Q_OBJECT
private slots:
    void library()
    {
        QVERIFY2(QFile::exists(announcerFile()), qPrintable(announcerFile()));
        const QStringList files = contestantFiles();
        QVERIFY2(files.size() >= 8, qPrintable(files.join(", ")));
        QSet<QString> names;
        for (const QString &f : files) {
            const QString base = QFileInfo(f).fileName();
            // The game gives these names a meaning of its own when choosing a character.
            QVERIFY2(!base.contains("random", Qt::CaseInsensitive), qPrintable(base));
            QVERIFY(base.compare("No Agent.acs", Qt::CaseInsensitive) != 0);
            const QString name = load(f).root["name"].toString();
            QVERIFY2(!name.isEmpty() && !names.contains(name), qPrintable(f));
            names.insert(name);
        }
    }

    void wellFormed_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Announcer") << announcerFile();
        for (const QString &f : contestantFiles())
            QTest::newRow(qPrintable(QFileInfo(f).baseName())) << f;
    }

    void wellFormed()
    {
        QFETCH(QString, file);
        const Loaded l = load(file);
        QVERIFY2(!l.entries.isEmpty(), "not a readable zip archive");
        const QJsonObject &root = l.root;
        QCOMPARE(root["format"].toString(), QString("hollyfrost-character"));
        QCOMPARE(root["version"].toInt(), 1);
        QVERIFY(!root["name"].toString().isEmpty());
        const QSize size(root["width"].toInt(), root["height"].toInt());
        QVERIFY(size.width() >= 64 && size.height() >= 100 && size.height() <= 160);

        const QJsonObject voice = root["voice"].toObject();
        QCOMPARE(voice["language"].toString(), QString("en"));
        QVERIFY(voice["rate"].toInt() >= 80 && voice["rate"].toInt() <= 260);
        for (const char *key : {"pitch", "range"})
            QVERIFY(voice[key].isDouble() && voice[key].toInt() >= 0 && voice[key].toInt() <= 100);
        QVERIFY(voice["volume"].toInt() > 0 && voice["volume"].toInt() <= 200);

        // Names are matched without regard to case, so keys are compared lower-case.
        const QJsonObject animations = root["animations"].toObject();
        QSet<QString> names;
        for (const QString &k : animations.keys())
            names.insert(k.toLower());
        for (const QString &r : Required)
            QVERIFY2(names.contains(r), qPrintable("missing animation " + r));

        QSet<QString> used;
        for (auto it = animations.begin(); it != animations.end(); ++it) {
            const QJsonObject a = it.value().toObject();
            const QJsonArray frames = a["frames"].toArray();
            const QString what = it.key();
            if (what == "rest")
                QCOMPARE(frames.size(), 1);
            else
                QVERIFY2(frames.size() >= 3 && frames.size() <= 10, qPrintable(what));
            if (a.contains("return"))
                QVERIFY2(names.contains(a["return"].toString().toLower()), qPrintable(what));
            for (const QJsonValue &fv : frames) {
                const QJsonObject f = fv.toObject();
                const int ms = f["duration"].toInt();
                QVERIFY2(ms >= 80 && ms <= 200, qPrintable(what));
                const QString path = f["image"].toString();
                QVERIFY2(l.entries.contains(path), qPrintable(what + ": " + path));
                used.insert(path);
            }
        }
        for (const QString &path : used) {
            const QByteArray data = l.entries.value(path);
            QVERIFY2(data.startsWith("\x89PNG\r\n\x1a\n"), qPrintable(path));
            const QImage image = QImage::fromData(data, "PNG");
            QVERIFY2(!image.isNull() && image.hasAlphaChannel(), qPrintable(path));
            QCOMPARE(image.size(), size);
        }
        // Nothing is stored that no animation shows.
        QCOMPARE(used.size(), l.entries.size() - 1);

        const QJsonObject states = root["states"].toObject();
        QStringList stateNames = {states["showing"].toString(), states["hiding"].toString(), states["speaking"].toString()};
        const QJsonObject moving = states["moving"].toObject();
        for (const char *dir : {"left", "right", "up", "down"}) {
            stateNames << moving[dir].toString();
            QVERIFY2(animations[moving[dir].toString()].toObject()["loop"].toBool(), dir);
        }
        QVERIFY(animations[states["speaking"].toString()].toObject()["loop"].toBool());
        const QJsonArray idling = states["idling"].toArray();
        QVERIFY(!idling.isEmpty());
        for (const QJsonValue &level : idling) {
            QVERIFY(!level.toArray().isEmpty());
            for (const QJsonValue &n : level.toArray())
                stateNames << n.toString();
        }
        for (const QString &n : stateNames)
            QVERIFY2(names.contains(n.toLower()), qPrintable("state names " + n));
    }

    // The pictures themselves: the rest pose stands inside the frame on a transparent
    // background, hiding ends with nothing left, showing starts small, blinking shuts
    // the eyes, and no frame is cut off at the frame's edge.
    void pictures_data() { wellFormed_data(); }

    void pictures()
    {
        QFETCH(QString, file);
        const Loaded l = load(file);
        const QImage rest = frameImage(l, "rest", 0);
        QVERIFY(!rest.isNull());
        const int body = opaquePixels(rest);
        QVERIFY2(body > rest.width() * rest.height() / 8, "the rest pose is too small");
        QCOMPARE(qAlpha(rest.pixel(0, 0)), 0);
        QCOMPARE(opaquePixels(frameImage(l, "hide", -1)), 0);
        QVERIFY(opaquePixels(frameImage(l, "show", 0)) < body / 4);
        QVERIFY(difference(frameImage(l, "blink", 1), rest) > 0.002);
        QVERIFY(difference(frameImage(l, "speak", 1), rest) > 0.002);

        QStringList cutOff;
        for (const QString &path : l.entries.keys()) {
            if (!path.endsWith(".png"))
                continue;
            const QImage image = QImage::fromData(l.entries.value(path), "PNG").convertToFormat(QImage::Format_ARGB32);
            int edge = 0;
            for (int x = 0; x < image.width(); ++x)
                edge += qAlpha(image.pixel(x, 0)) > 128;
            for (int y = 0; y < image.height(); ++y)
                edge += (qAlpha(image.pixel(0, y)) > 128) + (qAlpha(image.pixel(image.width() - 1, y)) > 128);
            if (edge > 0)
                cutOff << path;
        }
        QVERIFY2(cutOff.isEmpty(), qPrintable("cut off at the frame's edge: " + cutOff.join(", ")));
    }

    void contestantsLookAndSoundDifferent()
    {
        QStringList files = contestantFiles();
        files.prepend(announcerFile());
        QList<QImage> rests;
        QSet<QString> voices;
        for (const QString &f : files) {
            const Loaded l = load(f);
            rests << frameImage(l, "rest", 0);
            const QJsonObject v = l.root["voice"].toObject();
            voices.insert(QStringLiteral("%1/%2/%3").arg(v["variant"].toString()).arg(v["pitch"].toInt()).arg(v["rate"].toInt()));
        }
        QCOMPARE(voices.size(), files.size());
        for (int i = 0; i < rests.size(); ++i)
            for (int j = i + 1; j < rests.size(); ++j)
                QVERIFY2(difference(rests[i], rests[j]) > 0.08,
                         qPrintable(files[i] + " looks like " + files[j]));
    }
};

QTEST_GUILESS_MAIN(ShippedCharacters)
#include "tst_shipped_characters.moc"
