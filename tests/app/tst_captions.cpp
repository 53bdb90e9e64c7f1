// Every caption of every window fits its control with the fonts a Debian desktop has
// (DejaVu, Liberation, Comic Neue through fontconfig): each window is laid out with all
// its controls shown, and each control's text width is compared with the room its style
// leaves for it. CTest runs it at 100 % and, with QT_SCALE_FACTOR=2, at 200 %. And every
// control a screen reader can reach has a name.
#include "CountdownWindow.h"
#include "GameSession.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "MemoryTestWindow.h"
#include "MessageBoxes.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "QuestionRound.h"
#include "QuestionWindow.h"
#include "Race.h"
#include "RaceTrackWindow.h"
#include "RequestWindow.h"

#include "TestGame.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTextEdit>
#include <QtTest>

#include <memory>

ScreenDialogs screenDialogs;

namespace {

int textWidth(const QFontMetrics &metrics, const QString &text)
{
    int widest = 0;
    for (const QString &line : text.split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(QString(line).remove(u'&')));
    return widest;
}

QString misfit(const QWidget *control, int needed, int room)
{
    return QStringLiteral("%1 \"%2\" needs %3 px, has %4").arg(QString::fromLatin1(control->metaObject()->className()),
        control->accessibleName(), QString::number(needed), QString::number(room));
}

// The captions of window's controls that do not fit, one line each.
QStringList misfits(QWidget *window)
{
    QStringList found;
    const auto check = [&found](const QWidget *control, int needed, int room) {
        if (needed > room)
            found << misfit(control, needed, room);
    };
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const QStyle *style = control->style();
        if (auto *button = qobject_cast<QPushButton *>(control); button && !button->text().isEmpty()) {
            QStyleOptionButton option;
            option.initFrom(button);
            const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            check(button, textWidth(button->fontMetrics(), button->text()) + icon,
                  style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width());
        } else if (auto *radio = qobject_cast<QRadioButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(radio);
            check(radio, textWidth(radio->fontMetrics(), radio->text()),
                  style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width());
        } else if (auto *box = qobject_cast<QGroupBox *>(control)) {
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.textAlignment = box->alignment();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            check(box, label.right() + 1, box->width());
        } else if (auto *label = qobject_cast<QLabel *>(control); label && !label->text().isEmpty()) {
            if (label->wordWrap())   // lines break to the width: the height must hold them
                check(label, label->heightForWidth(label->contentsRect().width()), label->contentsRect().height());
            else
                check(label, textWidth(label->fontMetrics(), label->text()),
                      label->contentsRect().width() - 2 * label->margin());
        }
    }
    return found;
}

// Shows the window with every control it may show, and lays it out.
void layOut(QWidget *window)
{
    for (QWidget *control : window->findChildren<QWidget *>())
        control->show();
    window->show();
    for (QWidget *control : window->findChildren<QWidget *>())
        if (control->layout())
            control->layout()->activate();
}

} // namespace

class TestCaptions : public QObject
{
    Q_OBJECT
    TestGame game;
    Race &race = game.race;
    MemoryTest memoryTest{race.questions(), GameClock()};
    InviteList invites;
    PlayRequests requests{race, game.session, game.settings, game.roster, game.dialogs, invites, game.dispatcher};
    const CharacterFilePicker picker;

    std::unique_ptr<QWidget> makeWindow(const QString &name)
    {
        if (name == QLatin1String("main"))
            return std::make_unique<MainWindow>(race, requests);
        if (name == QLatin1String("request"))
            return std::make_unique<RequestWindow>(requests, picker);
        if (name == QLatin1String("race track"))
            return std::make_unique<RaceTrackWindow>(race);
        if (name == QLatin1String("countdown"))
            return std::make_unique<CountdownWindow>(race);
        if (name == QLatin1String("question"))
            return std::make_unique<QuestionWindow>(race.questions(), game.screen);
        return std::make_unique<MemoryTestWindow>(memoryTest, game.screen);
    }

private slots:
    void initTestCase()
    {
        FollowPlaySettings(race, game.settings);   // the race's rules follow the settings
        // The measures mean something only with the fonts the game's package depends on.
        const QStringList families = QFontDatabase::families();
        for (const char *family : {"DejaVu Sans", "Liberation Sans", "Comic Neue"})
            QVERIFY2(families.contains(QLatin1String(family)), family);
        const qreal scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble() : 1;
        QCOMPARE(qApp->devicePixelRatio(), scale);
    }

    void everyCaptionFits_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"main", "request", "race track", "countdown", "question", "memory test"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }

    void everyCaptionFits()
    {
        QFETCH(QString, window);
        const std::unique_ptr<QWidget> shown = makeWindow(window);
        layOut(shown.get());
        const QStringList found = misfits(shown.get());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("; "))));
    }

    // Every control that takes the keyboard focus has a name for a screen reader to read.
    void everyControlIsNamed_data() { everyCaptionFits_data(); }
    void everyControlIsNamed()
    {
        QFETCH(QString, window);
        const std::unique_ptr<QWidget> shown = makeWindow(window);
        layOut(shown.get());
        QStringList unnamed;
        for (QWidget *control : shown->findChildren<QWidget *>()) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            if (control->focusPolicy() != Qt::NoFocus && accessible && accessible->text(QAccessible::Name).isEmpty())
                unnamed << control->objectName() + u' ' + QString::fromLatin1(control->metaObject()->className());
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void memoryInstructionsShowTheirStart()
    {
        MemoryTestWindow memory(memoryTest, game.screen);
        layOut(&memory);
        memory.setMemo(QStringLiteral("First line\r\nSecond line\r\nThird line\r\nFourth line"));
        QVERIFY(memory.InfoBox->verticalScrollBar()->maximum() > 0);
        QCOMPARE(memory.InfoBox->verticalScrollBar()->value(), 0);
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
