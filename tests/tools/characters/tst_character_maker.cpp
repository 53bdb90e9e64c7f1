// The character maker's parts: frame storage, the written archive, the drawing and
// the roster.
#include "Choreography.h"
#include "Painter.h"
#include "Roster.h"
#include "ZipEntries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace chars;

namespace {

QImage filled(QColor c)
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(c);
    return image;
}

bool sameImage(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class CharacterMaker : public QObject
{
    Q_OBJECT
private slots:
    void identicalFramesAreStoredOnce()
    {
        CharacterFile file("T", 8, 8);
        const QString a = file.addFrame(filled(Qt::red), "x_0");
        QCOMPARE(a, QString("frames/x_0.png"));
        QCOMPARE(file.addFrame(filled(Qt::red), "y_3"), a);
        // Same name, other picture: a new file under a name of its own.
        const QString b = file.addFrame(filled(Qt::blue), "x_0");
        QVERIFY(b != a);
        QCOMPARE(file.frameFileCount(), 2);
        // The stored bytes decode to the very picture given.
        QVERIFY(sameImage(QImage::fromData(file.frameData(b), "PNG"), filled(Qt::blue)));
        // A transparent picture keeps its alpha through the PNG.
        const QImage clear = QImage::fromData(file.frameData(file.addFrame(filled(Qt::transparent), "c")), "PNG");
        QVERIFY(clear.hasAlphaChannel());
        QCOMPARE(qAlpha(clear.pixel(3, 3)), 0);
    }

    void writesArchiveThatReadsBack()
    {
        QTemporaryDir dir;
        CharacterFile file("Tess", 8, 8);
        Voice v;
        v.variant = "f3";
        v.pitch = 70;
        file.setVoice(v);
        States s = sharedStates();
        file.setStates(s);
        Animation a;
        a.frames = {{file.addFrame(filled(Qt::red), "wave_0"), 120}, {file.addFrame(filled(Qt::green), "wave_1"), 90}};
        a.returnName = "wave_return";
        file.addAnimation("wave", a);
        const QString path = dir.filePath("Tess.acs");
        QString error;
        QVERIFY2(file.write(path, &error), qPrintable(error));
        QVERIFY(!QFile::exists(path + ".part"));

        bool ok = false;
        const auto entries = readZipEntries(path, &ok);
        QVERIFY(ok);
        QCOMPARE(QSet<QString>(entries.keyBegin(), entries.keyEnd()),
                 QSet<QString>({"character.json", "frames/wave_0.png", "frames/wave_1.png"}));
        const QJsonObject root = QJsonDocument::fromJson(entries["character.json"]).object();
        QCOMPARE(root["format"].toString(), QString("hollyfrost-character"));
        QCOMPARE(root["version"].toInt(), 1);
        QCOMPARE(root["name"].toString(), QString("Tess"));
        QCOMPARE(root["voice"].toObject()["variant"].toString(), QString("f3"));
        QCOMPARE(root["voice"].toObject()["pitch"].toInt(), 70);
        QCOMPARE(root["states"].toObject()["moving"].toObject()["up"].toString(), QString("moveup"));
        QCOMPARE(root["states"].toObject()["idling"].toArray().size(), int(s.idling.size()));
        const QJsonObject wave = root["animations"].toObject()["wave"].toObject();
        QCOMPARE(wave["return"].toString(), QString("wave_return"));
        QCOMPARE(wave["frames"].toArray().at(1).toObject()["duration"].toInt(), 90);
        QVERIFY(sameImage(QImage::fromData(entries["frames/wave_1.png"], "PNG"), filled(Qt::green)));

        // The same character writes the same bytes, so rebuilds change nothing.
        QFile first(path);
        QVERIFY(first.open(QIODevice::ReadOnly));
        const QByteArray bytes = first.readAll();
        first.close();
        QVERIFY(file.write(dir.filePath("Again.acs"), &error));
        QFile second(dir.filePath("Again.acs"));
        QVERIFY(second.open(QIODevice::ReadOnly));
        QCOMPARE(second.readAll(), bytes);

        // Writing again replaces the file whole.
        file.addAnimation("blink", a);
        QVERIFY(file.write(path, &error));
        const auto again = readZipEntries(path, &ok);
        QVERIFY(ok);
        QVERIFY(QJsonDocument::fromJson(again["character.json"]).object()["animations"].toObject().contains("blink"));
    }

    void failedWriteLeavesNothingBehind()
    {
        QTemporaryDir dir;
        CharacterFile file("T", 8, 8);
        file.addAnimation("rest", Animation{{{file.addFrame(filled(Qt::red), "rest_0"), 100}}, {}, false});
        QString error;
        QVERIFY(!file.write(dir.filePath("missing/T.acs"), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("missing")));

        // A folder standing where the file should go is not replaced.
        QVERIFY(QDir(dir.path()).mkdir("T.acs"));
        QVERIFY(!file.write(dir.filePath("T.acs"), &error));
        QVERIFY(QFileInfo(dir.filePath("T.acs")).isDir());
        QVERIFY(!QFile::exists(dir.filePath("T.acs.part")));
    }

    void posesChangeThePicture()
    {
        const Traits t = contestants().first();
        const QImage rest = drawFrame(t, Pose{});
        QCOMPARE(rest.size(), QSize(FrameWidth, FrameHeight));
        QCOMPARE(qAlpha(rest.pixel(0, 0)), 0);
        QVERIFY(qAlpha(rest.pixel(FrameWidth / 2, FrameHeight / 2)) > 200);
        // Drawing is repeatable, so identical poses share one stored frame.
        QVERIFY(sameImage(drawFrame(t, Pose{}), rest));
        QVERIFY(!sameImage(drawFrame(t, Pose{.eyeOpen = 0}), rest));
        QVERIFY(!sameImage(drawFrame(t, Pose{.mouth = Mouth::Open, .mouthOpen = 1}), rest));
        QVERIFY(!sameImage(drawFrame(t, Pose{.armR = 170}), rest));
        QVERIFY(!sameImage(drawFrame(t, Pose{.prop = Prop::Trumpet}), rest));

        const QImage gone = drawFrame(t, Pose{.scale = 0, .opacity = 0});
        for (int y = 0; y < gone.height(); ++y)
            for (int x = 0; x < gone.width(); ++x)
                QCOMPARE(qAlpha(gone.pixel(x, y)), 0);
    }

    void rosterIsDistinct()
    {
        QList<Traits> all = contestants();
        QVERIFY(all.size() >= 8);
        all.prepend(announcer());
        QCOMPARE(all.first().fileName, QString("Announcer.acs"));
        QSet<QString> names, files;
        for (const Traits &t : all) {
            QVERIFY(!t.name.isEmpty());
            QVERIFY(t.fileName.endsWith(".acs"));
            names.insert(t.name.toLower());
            files.insert(t.fileName.toLower());
        }
        QCOMPARE(names.size(), all.size());
        QCOMPARE(files.size(), all.size());
    }

    void everyRequiredAnimationIsBuilt()
    {
        const CharacterFile file = buildCharacter(announcer());
        for (const QString &name : requiredAnimations())
            QVERIFY2(file.animations().contains(name), qPrintable(name));
        // Looks return to the rest pose through their own return animation.
        for (const char *look : {"lookleft", "lookright", "lookup", "lookdown", "gestureleft", "postcall", "startgate"}) {
            const QString back = file.animations().value(look).returnName;
            QVERIFY2(file.animations().contains(back), look);
            QCOMPARE(file.animations().value(back).frames.last().image,
                     file.animations().value("rest").frames.first().image);
        }
        // Reuse keeps the file small: far fewer pictures than frames.
        int frames = 0;
        for (const Animation &a : file.animations())
            frames += a.frames.size();
        QVERIFY(file.frameFileCount() < frames * 9 / 10);
    }
};

QTEST_MAIN(CharacterMaker)
#include "tst_character_maker.moc"
