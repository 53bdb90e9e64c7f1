// The character runtime offscreen: request queue, stopping, idling, clicks, moves,
// speech and the word balloon, errors. Runs with a small time scale.
#include "Agent.h"
#include "CharacterFile.h"
#include "CharacterWindow.h"
#include "SampleCharacter.h"

#include <QPainter>

#include <QApplication>
#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace agent;

namespace {

CharacterWindow *windowOf(const QString &identity)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<CharacterWindow *>(widget); window && window->windowTitle() == identity)
            return window;
    return nullptr;
}

// Request events as text, in order: "start 3", "complete 3 0".
struct EventLog
{
    explicit EventLog(AgentControl &control)
    {
        QObject::connect(&control, &AgentControl::requestStart, [this](int id) {
            events << QStringLiteral("start %1").arg(id);
        });
        QObject::connect(&control, &AgentControl::requestComplete, [this](int id, int status) {
            events << QStringLiteral("complete %1 %2").arg(id).arg(status);
        });
    }
    QStringList events;
};

} // namespace

class TestAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadErrors();
    void playsRequestsInOrder();
    void animationNamesAndReturns();
    void stopAllEndsCurrentAndEmptiesQueue();
    void stopAllByType();
    void idleStartsAndEndsWithRequests();
    void idleAnimationsClimbLevels();
    void clickCarriesIdentity();
    void movesJumpAndGlide();
    void showAndHide();
    void framesAreThePicturesOfTheFile();
    void sameFileSharesItsPictures();
    void picturesAreReadAgainOnlyIfUnchanged();
    void speechTakesItsSpokenLength();
    void audioStatus();
    void balloonShowsShownWords();
    void soundFileSpeech();
    void sizeAndScaling();
    void unloadFromEventHandler();
    void unloadWhileClickHandlerWaits();

private:
    QString character_;
    QTemporaryDir dir_;
};

void TestAgent::initTestCase()
{
    QVERIFY(dir_.isValid());
    character_ = dir_.filePath(QStringLiteral("Pip.acs"));
    QCOMPARE(sample::writeSampleCharacter(character_), QString());
}

void TestAgent::loadErrors()
{
    AgentControl control;
    QVERIFY(!control.connected());
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    QVERIFY(pip);
    QVERIFY(control.connected());
    QCOMPARE(control.character(QStringLiteral("Player0")), pip);
    QCOMPARE(pip->identity(), QStringLiteral("Player0"));
    QVERIFY(windowOf(QStringLiteral("Player0")));
    try {
        control.load(QStringLiteral("Player0"), character_);
        QFAIL("loaded the same identity twice");
    } catch (const AgentError &error) {
        QVERIFY(QString::fromLatin1(error.what()).contains(QLatin1String("character is already")));
    }
    QVERIFY_THROWS_EXCEPTION(AgentError, control.load(QStringLiteral("Player1"), dir_.filePath("none.acs")));
    QVERIFY(!control.character(QStringLiteral("Player1")));
    QVERIFY_THROWS_EXCEPTION(AgentError, pip->play(QStringLiteral("juggle")));

    control.unload(QStringLiteral("Player0"));
    QVERIFY(!control.character(QStringLiteral("Player0")));
    QVERIFY(!windowOf(QStringLiteral("Player0")));
    control.unload(QStringLiteral("nobody"));
    QVERIFY(control.load(QStringLiteral("Player0"), character_));   // the identity is free again
}

void TestAgent::playsRequestsInOrder()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    EventLog log(control);
    const int a = pip->show(true);
    const int b = pip->play(QStringLiteral("greet"));
    const int c = pip->moveTo(10, 20, 0);
    const int d = pip->speak(QStringLiteral("Hello"));
    const int e = pip->play(QStringLiteral("Wave"));
    QVERIFY(a < b && b < c && c < d && d < e);
    QVERIFY(!pip->queueEmpty());
    QVERIFY(log.events.isEmpty());   // events come from the event loop, after the ids
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 10000);
    QStringList expected;
    for (int id : {a, b, c, d, e})
        expected << QStringLiteral("start %1").arg(id) << QStringLiteral("complete %1 0").arg(id);
    QCOMPARE(log.events, expected);
}

void TestAgent::animationNamesAndReturns()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    QStringList played;
    connect(windowOf(QStringLiteral("Player0")), &CharacterWindow::animationStarted,
            [&played](const QString &name) { played << name; });
    pip->play(QStringLiteral("WAVE"));
    pip->play(QStringLiteral("greet"));
    pip->play(QStringLiteral("cheer"));
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 10000);
    // wave has a return animation: it plays before the next animation, and only once.
    QCOMPARE(played, (QStringList{"wave", "wave_return", "greet", "cheer"}));
}

void TestAgent::stopAllEndsCurrentAndEmptiesQueue()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    EventLog log(control);
    QSignalSpy started(&control, &AgentControl::requestStart);
    const int first = pip->moveTo(500, 500, 600000);   // ten minutes: still gliding
    const int second = pip->play(QStringLiteral("cheer"));
    const int third = pip->speak(QStringLiteral("Never said"));
    QVERIFY(started.wait(5000));
    pip->stopAll();
    QVERIFY(pip->queueEmpty());
    QCOMPARE(log.events, (QStringList{QStringLiteral("start %1").arg(first),
                                      QStringLiteral("complete %1 1").arg(first),
                                      QStringLiteral("complete %1 1").arg(second),
                                      QStringLiteral("complete %1 1").arg(third)}));
    QTest::qWait(50);
    QCOMPARE(started.count(), 1);   // nothing else starts

    // The character takes new requests after a stop.
    const int next = pip->play(QStringLiteral("blink"));
    QTRY_VERIFY_WITH_TIMEOUT(log.events.contains(QStringLiteral("complete %1 0").arg(next)), 5000);
}

void TestAgent::stopAllByType()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    EventLog log(control);
    const int play = pip->play(QStringLiteral("congratulate"));
    const int move = pip->moveTo(100, 100, 1000);
    const int speak = pip->speak(QStringLiteral("Well done"));
    const int hide = pip->hide(true);
    QTRY_VERIFY_WITH_TIMEOUT(log.events.contains(QStringLiteral("start %1").arg(play)), 5000);
    pip->stopAll(QStringLiteral("Move, Speak"));   // the playing animation goes on
    QCOMPARE(log.events, (QStringList{QStringLiteral("start %1").arg(play),
                                      QStringLiteral("complete %1 1").arg(move),
                                      QStringLiteral("complete %1 1").arg(speak)}));
    pip->stopAll(QStringLiteral("Get,NonQueuedGet"));   // nothing of those types here
    QVERIFY(!pip->queueEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QVERIFY(log.events.contains(QStringLiteral("complete %1 0").arg(play)));
    QVERIFY(log.events.contains(QStringLiteral("complete %1 0").arg(hide)));
}

void TestAgent::idleStartsAndEndsWithRequests()
{
    AgentControl control;
    // The quiet time before idling counts from the character's loading, not the control's.
    QTest::qWait(200);   // over three times the idle delay
    QElapsedTimer sinceLoading;
    sinceLoading.start();
    Character *pip = control.load(QStringLiteral("Player3"), character_);
    QSignalSpy idleStart(&control, &AgentControl::idleStart);
    QSignalSpy idleComplete(&control, &AgentControl::idleComplete);
    QVERIFY(idleStart.wait(5000));
    QVERIFY2(sinceLoading.elapsed() >= 55, qPrintable(QString::number(sinceLoading.elapsed())));
    QCOMPARE(idleStart.first().first().toString(), QStringLiteral("Player3"));
    QCOMPARE(idleComplete.count(), 0);
    pip->play(QStringLiteral("alert"));
    QCOMPARE(idleComplete.count(), 1);   // at once, not after the animation
    QCOMPARE(idleComplete.first().first().toString(), QStringLiteral("Player3"));
    // After the request the character becomes idle again.
    QVERIFY(idleStart.wait(5000));
    QCOMPARE(idleStart.count(), 2);
}

void TestAgent::idleAnimationsClimbLevels()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    pip->setIdleOn(true);
    pip->show(true);
    QStringList played;
    connect(windowOf(QStringLiteral("Player0")), &CharacterWindow::animationStarted,
            [&played](const QString &name) { played << name; });
    QTRY_VERIFY_WITH_TIMEOUT(played.contains(QStringLiteral("idle_2")), 20000);
    QVERIFY(played.first() == QLatin1String("idle_1") || played.first() == QLatin1String("blink"));
    QVERIFY(pip->queueEmpty());   // idle animations are not requests

    AgentControl quiet;
    Character *still = quiet.load(QStringLiteral("Player1"), character_);
    still->show(true);
    QSignalSpy idleStart(&quiet, &AgentControl::idleStart);
    QVERIFY(idleStart.wait(5000));
    QStringList stillPlayed;
    connect(windowOf(QStringLiteral("Player1")), &CharacterWindow::animationStarted,
            [&stillPlayed](const QString &name) { stillPlayed << name; });
    QTest::qWait(600);
    QVERIFY2(stillPlayed.isEmpty(), qPrintable(stillPlayed.join(',')));   // IdleOn is off
}

void TestAgent::clickCarriesIdentity()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player2"), character_);
    pip->show(true);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible(), 5000);
    QSignalSpy clicks(&control, &AgentControl::click);
    CharacterWindow *window = windowOf(QStringLiteral("Player2"));
    QTest::mouseClick(window, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
    QCOMPARE(clicks.count(), 1);
    const QList<QVariant> click = clicks.first();
    QCOMPARE(click[0].toString(), QStringLiteral("Player2"));
    QCOMPARE(click[1].toInt(), int(Qt::LeftButton));
    QCOMPARE(click[2].toInt(), int(Qt::ShiftModifier));
    QCOMPARE(click[3].toInt(), pip->left() + 30);
    QCOMPARE(click[4].toInt(), pip->top() + 40);
}

void TestAgent::movesJumpAndGlide()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    pip->show(true);
    QStringList played;
    connect(windowOf(QStringLiteral("Player0")), &CharacterWindow::animationStarted,
            [&played](const QString &name) { played << name; });
    QSignalSpy moves(&control, &AgentControl::move);

    pip->moveTo(100, 80, 0);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(QPoint(pip->left(), pip->top()), QPoint(100, 80));
    QVERIFY(played.isEmpty());   // a jump plays no animation
    QCOMPARE(moves.count(), 1);
    QCOMPARE(moves.first()[0].toString(), QStringLiteral("Player0"));
    QCOMPARE(moves.first()[1].toInt(), 100);
    QCOMPARE(moves.first()[2].toInt(), 80);

    // A long glide to the right: live positions in between, moving animation held.
    pip->moveTo(700, 80, 150000);   // 3 s at the tests' time scale
    QTRY_VERIFY_WITH_TIMEOUT(pip->left() > 100, 5000);
    const int midway = pip->left();
    QVERIFY2(midway < 700, qPrintable(QString::number(midway)));
    QCOMPARE(pip->top(), 80);
    QCOMPARE(played, QStringList{"moveright"});
    pip->stopAll();
    QVERIFY(pip->left() >= midway && pip->left() < 700);   // stays where it was stopped
    const QPoint stopped(pip->left(), pip->top());
    QTest::qWait(100);
    QCOMPARE(QPoint(pip->left(), pip->top()), stopped);

    // A short glide up arrives exactly.
    played.clear();
    pip->moveTo(stopped.x() + 5, 10, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(QPoint(pip->left(), pip->top()), QPoint(stopped.x() + 5, 10));
    QCOMPARE(played, QStringList{"moveup"});
}

void TestAgent::showAndHide()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    QVERIFY(!pip->visible());
    QStringList played;
    connect(windowOf(QStringLiteral("Player0")), &CharacterWindow::animationStarted,
            [&played](const QString &name) { played << name; });
    pip->show(false);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QVERIFY(pip->visible());
    QVERIFY(windowOf(QStringLiteral("Player0"))->frames().readyCount() > 0);
    pip->hide(false);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QVERIFY(!pip->visible());
    // A hidden character keeps no decoded frame but the one that shapes its window.
    QVERIFY(windowOf(QStringLiteral("Player0"))->frames().readyCount() <= 1);
    pip->show(true);
    pip->hide(true);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QVERIFY(!pip->visible());
    QCOMPARE(played, (QStringList{"show", "hide"}));
}

void TestAgent::framesAreThePicturesOfTheFile()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    CharacterWindow *window = windowOf(QStringLiteral("Player0"));
    pip->show(true);
    // Every animation once: far more pictures than the cache holds.
    const detail::CharacterData data = detail::loadCharacterFile(character_);
    for (const detail::Animation &animation : data.animations)
        pip->play(animation.name);
    pip->play(QStringLiteral("rest"));   // an animation with a return would hold its last frame
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 10000);
    QVERIFY(data.images.size() > detail::FrameCache::kDefaultCapacity);
    QVERIFY(window->frames().readyCount() <= detail::FrameCache::kDefaultCapacity);

    // The character at rest shows the rest picture exactly as the file holds it.
    const int rest = data.find(QStringLiteral("rest"))->frames.first().image;
    QCOMPARE(window->shownPicture(), rest);
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage expected(shot.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(window->palette().window().color());
    QPainter(&expected).drawImage(0, 0, detail::decodePicture(data.images[rest]));
    const QRegion shape = window->mask();
    QVERIFY(!shape.isEmpty());
    int compared = 0;
    for (const QRect &rect : shape) {
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x, ++compared)
                QVERIFY2(shot.pixel(x, y) == expected.pixel(x, y), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    }
    QVERIFY(compared > 100);
}

void TestAgent::sameFileSharesItsPictures()
{
    const QString other = dir_.filePath(QStringLiteral("Bolt.acs"));
    QCOMPARE(sample::writeSampleCharacter(other, QStringLiteral("Bolt"), 60, 80), QString());
    AgentControl control;
    control.load(QStringLiteral("Player0"), character_);
    control.load(QStringLiteral("Player1"), other);
    control.load(QStringLiteral("Player2"), character_);
    const auto store = [](const QString &identity) { return windowOf(identity)->frames().store(); };
    QCOMPARE(store(QStringLiteral("Player2")), store(QStringLiteral("Player0")));
    QVERIFY(store(QStringLiteral("Player1")) != store(QStringLiteral("Player0")));
    // A frame shown by one is packed for the other too.
    const int rest = windowOf(QStringLiteral("Player0"))->shownPicture();
    QVERIFY(rest >= 0);
    QVERIFY(store(QStringLiteral("Player2"))->isPacked(rest));
    // The first one gone, the other keeps the pictures.
    control.unload(QStringLiteral("Player0"));
    QCOMPARE(store(QStringLiteral("Player2"))->count(), store(QStringLiteral("Player1"))->count());
    QVERIFY(!detail::unpackFrame(store(QStringLiteral("Player2"))->packed(1)).isNull());
}

void TestAgent::picturesAreReadAgainOnlyIfUnchanged()
{
    // The pictures are read from the file when first shown. A file replaced since
    // loading is still read as it was loaded; one rewritten in place gives blank frames
    // for pictures not shown yet, never pictures that were not checked.
    const QString path = dir_.filePath(QStringLiteral("Changing.acs"));
    const QString other = dir_.filePath(QStringLiteral("Other.acs"));
    QCOMPARE(sample::writeSampleCharacter(path), QString());
    QCOMPARE(sample::writeSampleCharacter(other, QStringLiteral("Other"), 60, 80), QString());
    const detail::CharacterData data = detail::loadCharacterFile(path);
    AgentControl control;
    control.load(QStringLiteral("Player0"), path);
    const std::shared_ptr<detail::FrameStore> store = windowOf(QStringLiteral("Player0"))->frames().store();
    QCOMPARE(store->count(), data.images.size());
    qint64 packedBytes = 0;   // the window packed its rest frame; no PNG bytes are kept
    for (int i = 0; i < store->count(); ++i)
        packedBytes += store->isPacked(i) ? store->packed(i).runs.size() : 0;
    QCOMPARE(store->heldBytes(), packedBytes);
    const auto unpacked = [&store](int picture) { return detail::unpackFrame(store->packed(picture)); };
    const auto original = [&data, &store](int picture) {
        return detail::decodePicture(data.images[picture]).copy(store->packed(picture).drawn);
    };
    QCOMPARE(unpacked(1), original(1));

    QFile rewritten(path);                // the loaded file itself, rewritten
    QVERIFY(rewritten.open(QIODevice::ReadWrite));
    QVERIFY(rewritten.resize(rewritten.size() / 3));
    rewritten.close();
    QVERIFY(!store->isPacked(3));
    QCOMPARE(store->packed(3).drawn, QRect(0, 0, 1, 1));
    QCOMPARE(unpacked(1), original(1));   // packed before: unchanged

    // Another character of a file then replaced by another file under the same name.
    const QString replaced = dir_.filePath(QStringLiteral("Replaced.acs"));
    QCOMPARE(sample::writeSampleCharacter(replaced, QStringLiteral("Kept"), 70, 90), QString());
    control.load(QStringLiteral("Player1"), replaced);
    const std::shared_ptr<detail::FrameStore> kept = windowOf(QStringLiteral("Player1"))->frames().store();
    QVERIFY(kept != store);
    const detail::CharacterData keptData = detail::loadCharacterFile(replaced);
    QVERIFY(QFile::remove(replaced));
    QVERIFY(QFile::copy(other, replaced));
    QVERIFY(!kept->isPacked(2));
    QVERIFY(kept->packed(2).drawn.width() > 10);
    QCOMPARE(detail::unpackFrame(kept->packed(2)),
             detail::decodePicture(keptData.images[2]).copy(kept->packed(2).drawn));

    // The character still plays everything.
    Character *pip = control.character(QStringLiteral("Player0"));
    pip->show(true);
    for (const detail::Animation &animation : data.animations)
        pip->play(animation.name);
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 10000);
}

void TestAgent::speechTakesItsSpokenLength()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    QStringList played;
    connect(windowOf(QStringLiteral("Announcer")), &CharacterWindow::animationStarted,
            [&played](const QString &name) { played << name; });
    QElapsedTimer timer;
    QSignalSpy done(&control, &AgentControl::requestComplete);
    // About four seconds of speech plus a 5 s pause: 180 ms at the tests' time scale.
    pip->speak(QStringLiteral("Ladies and gentlemen, \\pau=5000\\welcome to the great race of the year"));
    timer.start();
    QVERIFY(done.wait(5000));
    QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(played, QStringList{"speak"});
}

void TestAgent::audioStatus()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    const bool device = !QMediaDevices::defaultAudioOutput().isNull();
    QCOMPARE(control.audioOutputStatus(), device ? 0 : 1);
    QSignalSpy started(&control, &AgentControl::requestStart);
    pip->speak(QStringLiteral("\\pau=20000\\A long pause before these words"));
    QVERIFY(started.wait(5000));
    // Busy while the character speaks, with or without a device.
    QCOMPARE(control.audioOutputStatus(), 4);
    pip->stopAll();
    QCOMPARE(control.audioOutputStatus(), device ? 0 : 1);
}

void TestAgent::balloonShowsShownWords()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    CharacterWindow *window = windowOf(QStringLiteral("Announcer"));
    pip->show(true);
    pip->speak(QStringLiteral("No balloon for these words"));
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QVERIFY(!window->balloonWindow());   // the game's style: balloon off

    pip->setBalloonStyle(0x0220000F);
    QCOMPARE(pip->balloonStyle(), 0x0220000Fu);
    QStringList texts;
    QSignalSpy done(&control, &AgentControl::requestComplete);
    pip->speak(QStringLiteral("\\map=\"Hahlee\"=\"Holly\"\\frost is \\pau=20000\\ready"));
    QTRY_VERIFY_WITH_TIMEOUT(!window->balloonText().isEmpty(), 5000);
    QVERIFY(window->balloonWindow() && window->balloonWindow()->isVisible());
    QVERIFY(window->balloonText().startsWith(QLatin1String("Hollyfrost")));
    QTRY_COMPARE_WITH_TIMEOUT(window->balloonText(), QStringLiteral("Hollyfrost is ready"), 5000);
    // The balloon sits above the drawn figure, in its own window.
    QVERIFY(window->balloonWindow()->geometry().bottom() < window->y() + window->mask().boundingRect().top());
    QVERIFY(done.wait(5000));
    QVERIFY(!window->balloonWindow()->isVisible());
}

void TestAgent::soundFileSpeech()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    EventLog log(control);
    const int missing = pip->speak(QStringLiteral(" "), dir_.filePath(QStringLiteral("none.wav")));

    // Two seconds of silence: 40 ms at the tests' time scale.
    const int rate = 8000, samples = 2 * rate;
    QByteArray wav = "RIFF____WAVEfmt ";
    auto u32 = [&wav](quint32 v) { char b[4]; qToLittleEndian(v, b); wav.append(b, 4); };
    auto u16 = [&wav](quint16 v) { char b[2]; qToLittleEndian(v, b); wav.append(b, 2); };
    u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
    wav += "data";
    u32(samples * 2);
    wav += QByteArray(samples * 2, '\0');
    QFile file(dir_.filePath(QStringLiteral("cheer.wav")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(wav);
    file.close();
    const int played = pip->speak(QStringLiteral(" "), file.fileName());
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(log.events, (QStringList{QStringLiteral("start %1").arg(missing), QStringLiteral("complete %1 0").arg(missing),
                                      QStringLiteral("start %1").arg(played), QStringLiteral("complete %1 0").arg(played)}));
}

void TestAgent::sizeAndScaling()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    QCOMPARE(pip->naturalWidth(), 64);
    QCOMPARE(pip->naturalHeight(), 80);
    QCOMPARE(pip->width(), 64);
    QCOMPARE(pip->height(), 80);
    pip->setHeight(120);
    pip->setWidth(96);
    QCOMPARE(pip->width(), 96);
    QCOMPARE(pip->height(), 120);
    QCOMPARE(pip->naturalWidth(), 64);
    CharacterWindow *window = windowOf(QStringLiteral("Player0"));
    // The shape follows the drawn figure at the new size: inside the window, not all of it.
    const QRegion shape = window->mask();
    QVERIFY(!shape.isEmpty());
    QVERIFY(window->rect().contains(shape.boundingRect()));
    QVERIFY(shape.boundingRect().height() > 80);
    QVERIFY(!shape.contains(QPoint(0, 0)));
    pip->show(true);
    pip->play(QStringLiteral("cheer"));
    QTRY_VERIFY_WITH_TIMEOUT(pip->queueEmpty(), 5000);
    QCOMPARE(window->grab().size(), QSize(96, 120));
}

void TestAgent::unloadFromEventHandler()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Player0"), character_);
    connect(&control, &AgentControl::requestComplete, &control, [&control] {
        control.unload(QStringLiteral("Player0"));
    });
    pip->play(QStringLiteral("blink"));
    pip->play(QStringLiteral("wave"));
    QTRY_VERIFY_WITH_TIMEOUT(!control.character(QStringLiteral("Player0")), 5000);
    QVERIFY(!windowOf(QStringLiteral("Player0")) || !windowOf(QStringLiteral("Player0"))->isVisible());
    QTest::qWait(50);
    QVERIFY(!windowOf(QStringLiteral("Player0")));
}

// The click handler of a character waits in a nested event loop (as the game's Delay
// does), and a timer unloads that very character meanwhile: its window must survive
// until the click handler has returned, and go right after.
void TestAgent::unloadWhileClickHandlerWaits()
{
    AgentControl control;
    Character *pip = control.load(QStringLiteral("Announcer"), character_);
    pip->show(true);
    QTRY_VERIFY_WITH_TIMEOUT(pip->visible(), 5000);
    QPointer<CharacterWindow> window = windowOf(QStringLiteral("Announcer"));
    QVERIFY(window);
    bool aliveAfterUnload = false;
    bool unloaded = false;
    connect(&control, &AgentControl::click, this, [&] {
        QTimer::singleShot(0, &control, [&] {
            control.unload(QStringLiteral("Announcer"));
            unloaded = true;
        });
        for (int i = 0; i < 20; ++i) {
            QEventLoop wait;
            QTimer::singleShot(5, &wait, &QEventLoop::quit);
            wait.exec();
        }
        aliveAfterUnload = unloaded && !window.isNull();
    });
    QTest::mouseClick(window.data(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    QVERIFY(unloaded);
    QVERIFY(aliveAfterUnload);
    QVERIFY(!control.character(QStringLiteral("Announcer")));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
}

QTEST_MAIN(TestAgent)
#include "tst_agent.moc"
