// The main window: its construction (the skin underneath, then every control at its
// place) and its handlers (start-up checks, play modes, game type, the buttons, the
// ticker, and what it shows of the roster and the race).
#include "MainWindow.h"

#include "DexterityTest.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "HelpWindow.h"
#include "InviteList.h"
#include "MessageBoxes.h"
#include "PlaySettingsBinding.h"
#include "Phrases.h"
#include "PlayControls.h"
#include "PlayRequests.h"
#include "RaceLoop.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "RadioGroup.h"
#include "RequestWindow.h"
#include "records.h"
#include "RosterList.h"
#include "SkinFrame.h"
#include "UserOptions.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>

const char *const MissingArgumentMessage =
    "Hollyfrost Games Must be started from the \"Games\" button on the Send Tab of Hollyfrost.\r"
    "If you have just installed Hollyfrost Games, Exit and Restart Hollyfrost";

namespace {

void setSolidBackground(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QPushButton *makeButton(QWidget *parent, const QString &text, const QRect &place, bool visible)
{
    auto *button = new QPushButton(text, parent);
    button->setGeometry(place);
    button->setAccessibleName(text);
    button->setVisible(visible);
    return button;
}

// A button with a small picture beside its caption, taken from the widget style.
QPushButton *makeGlyphButton(QWidget *parent, const QString &text, const QRect &place,
                             QStyle::StandardPixmap glyph, bool visible)
{
    QPushButton *button = makeButton(parent, text, place, visible);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setIconSize(QSize(14, 14));
    return button;
}

QLabel *makeLabel(QWidget *parent, const QString &text, QPoint place)
{
    auto *label = new QLabel(text, parent);
    label->setAccessibleName(text);
    label->adjustSize();
    label->move(place);
    return label;
}

} // namespace

MainWindow::MainWindow(Race &race, PlayRequests &requests, CharacterFilePicker picker, QWidget *parent)
    : QWidget(parent), race(race), requests(requests), picker(std::move(picker)),
      onlineBuddies(requests.invites())
{
    SetWindowRole(this, WindowRole::Frame);
    race.screen().setSource([this] { return monitorGeometry(); });   // the race runs on this window's monitor
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Hollyfrost Games"));
    setWindowFlag(Qt::FramelessWindowHint);
    setFixedSize(MainClientWidth, MainClientHeight);
    setSolidBackground(this, QPalette::Window, QColor(254, 185, 122));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    createControls();
    centreOnDesktop();
    request = std::make_unique<RequestWindow>(requests, this->picker, this);
}

MainWindow::~MainWindow()
{
    race.screen().setSource({});
}

QRect MainWindow::monitorGeometry() const
{
    // The monitor under the window's centre; a window not yet shown has its screen.
    const QScreen *monitor = QGuiApplication::screenAt(frameGeometry().center());
    if (!monitor)
        monitor = screen();
    return monitor ? monitor->geometry() : QRect();
}

void MainWindow::createControls()
{
    Skin = new SkinFrame(this);
    Skin->setGeometry(0, 0, MainClientWidth, MainClientHeight);

    // The radio groups are wide enough for their longest item in the sans-serif faces a
    // Linux desktop has (the captions are checked in tests/app/tst_captions).
    PlayModeGroup = new RadioGroup(QStringLiteral("Play Game"),
                                 {QStringLiteral("Join a Game"), QStringLiteral("Host a Game"),
                                  QStringLiteral("Local Race"), QStringLiteral("Practice")},
                                 this);
    PlayModeGroup->setGeometry(41, 35, 103, 125);
    GameType = new RadioGroup(QStringLiteral("Game Type"),
                               {QStringLiteral("Random Race"), QStringLiteral("Mixed Problems"),
                                QStringLiteral("Word Scramble"), QStringLiteral("Simple Math"),
                                QStringLiteral("Dexterity Test"), QStringLiteral("Memory Test")},
                               this);
    GameType->setGeometry(146, 35, 119, 125);
    GameType->hide();
    Difficulty = new RadioGroup(QStringLiteral("Difficulty"),
                                 {QStringLiteral("Easy"), QStringLiteral("Moderate"),
                                  QStringLiteral("Difficult")},
                                 this);
    Difficulty->setGeometry(268, 35, 84, 75);
    Difficulty->setItemIndex(1);   // no handler is set yet: nothing runs
    Difficulty->hide();

    RequestPlayBtn = makeButton(this, QStringLiteral("Request To Play"), QRect(155, 52, 112, 22), false);
    AddCharacterBtn = makeButton(this, QStringLiteral("Add Characters to Race"), QRect(143, 106, 136, 22), false);
    BuddiesLabel = makeLabel(this, QStringLiteral("Online Buddys"), QPoint(298, 120));
    BuddiesLabel->setCursor(Qt::PointingHandCursor);
    BuddiesLabel->installEventFilter(this);

    BuddyList = new QListView(this);
    BuddyList->setModel(&requests.invites());
    BuddyList->setGeometry(263, 135, 143, 101);
    BuddyList->setAccessibleName(QStringLiteral("Online Buddys"));
    BuddyList->setItemDelegate(new TabStopDelegate(BuddyListTabWidth, BuddyList));
    setSolidBackground(BuddyList, QPalette::Base, QColor(0, 255, 255));

    InviteBtn = makeGlyphButton(this, QStringLiteral("Invite Players"), QRect(44, 172, 102, 25),
                                QStyle::SP_DialogYesButton, false);
    CancelBtn = makeGlyphButton(this, QStringLiteral("Cancel Game"), QRect(150, 172, 105, 25),
                                QStyle::SP_DialogCancelButton, false);
    StartRace = makeGlyphButton(this, QStringLiteral("Start Game"), QRect(155, 172, 90, 25),
                                QStyle::SP_MediaPlay, false);
    ContestantsLabel = makeLabel(this, QStringLiteral("Game Contestants"), QPoint(102, 215));

    Contestants = new QListView(this);
    Contestants->setModel(&race.roster());
    Contestants->setGeometry(37, 231, 209, 85);
    Contestants->setAccessibleName(QStringLiteral("Game Contestants"));
    Contestants->setUniformItemSizes(true);
    Contestants->setItemDelegate(new ContestantDelegate(Contestants));
    setSolidBackground(Contestants, QPalette::Base, QColor(255, 242, 202));

    GameTypeLabel = makeLabel(this, QStringLiteral("Game Type"), QPoint(303, 245));
    InfoBox = new QTextEdit(this);
    InfoBox->setGeometry(251, 260, 156, 56);
    InfoBox->setReadOnly(true);
    InfoBox->setAccessibleName(QStringLiteral("Game Type"));
    InfoBox->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
    InfoBox->viewport()->installEventFilter(this);
    setSolidBackground(InfoBox, QPalette::Base, QColor(198, 255, 226));

    NewRaceBtn = makeButton(this, QStringLiteral("New Game"), QRect(103, 317, 75, 20), true);
    HelpBtn = makeGlyphButton(this, QStringLiteral("Help"), QRect(260, 317, 75, 22),
                              QStyle::SP_DialogHelpButton, true);
    ExitBtn = makeButton(this, QStringLiteral("Exit"), QRect(360, 317, 45, 22), true);
    UnloadBtn = makeButton(this, QStringLiteral("Unload Agents"), QRect(281, 329, 84, 20), false);

    RevisionLabel = makeLabel(this, QString(), QPoint(360, 350));
    RevisionLabel->setFont(QFont(QStringLiteral("Arial"), 8));
    RevisionLabel->setAttribute(Qt::WA_TranslucentBackground);
    RevisionLabel->setAutoFillBackground(false);


    // The radio groups show the session's play settings and change them; the buttons and
    // groups of the play mode follow its table, the info box describes each game picked.
    PlaySettings &settings = race.playSettings();
    new PlaySettingsBinding(settings, PlayModeGroup, GameType, Difficulty);
    controls = new PlayControls(settings, this);
    connect(controls, &PlayControls::changed, this, &MainWindow::UpdatePlayControls);
    const auto describe = [this, &settings] {
        if (settings.gameType() != NoGameType)
            describeGameType(settings.gameType(), settings.difficulty());
    };
    connect(&settings, &PlaySettings::gameTypeChanged, this, describe);
    connect(&settings, &PlaySettings::difficultyChanged, this, describe);
    connect(&race, &Race::raceStep, this, &MainWindow::showRaceStep);
    connect(&requests, &PlayRequests::hostTextReceived, this, &MainWindow::showHostText);
    connect(&requests, &PlayRequests::joinAccepted, RequestPlayBtn, &QWidget::hide);
    connect(&requests, &PlayRequests::invitationsSending, InviteBtn, &QWidget::setDisabled);
    connect(AddCharacterBtn, &QPushButton::clicked, this, [this] { AddCharacterBtnClick(AddCharacterBtn, this->race, picker); });
    connect(UnloadBtn, &QPushButton::clicked, this, [this] { UnloadRaceCharacters(race.stage()); });
    connect(StartRace, &QPushButton::clicked, this, [this] { this->race.start(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { this->race.cancel(); });
    connect(RequestPlayBtn, &QPushButton::clicked, this, &MainWindow::RequestPlayBtnClick);
    connect(InviteBtn, &QPushButton::clicked, this, &MainWindow::InviteBtnClick);
    connect(NewRaceBtn, &QPushButton::clicked, this, &MainWindow::NewRaceBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &MainWindow::HelpBtnClick);
    connect(ExitBtn, &QPushButton::clicked, this, &MainWindow::ExitBtnClick);
}

void MainWindow::centreOnDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->geometry();
    move(desktop.x() + (desktop.width() - width()) / 2, desktop.y() + (desktop.height() - height()) / 2);
}

void MainWindow::RestoreAndRaise()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!shownOnce) {
        shownOnce = true;
        WhenShown();
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == BuddiesLabel && event->type() == QEvent::MouseButtonRelease)
        BuddiesLabelClick();
    else if (watched == InfoBox->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        InfoBoxDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::Start(const QStringList &arguments)
{
    const QString argument = arguments.value(1);
    if (argument.isEmpty()) {
        MessageBeep(BeepKind::Error);
        // The program ends once the box is answered.
        ShowMessageBox(BoxKind::Error, QString::fromLatin1(MissingArgumentMessage), [] { TerminateApplication(); });
        return false;
    }
    race.session().setInviterUin(argument);
    race.session().setInviterName(QString());
    setWindowTitle(QStringLiteral("Hollyfrost Games 1.17"));
    RevisionLabel->setText(QStringLiteral("Rev 1.17"));
    RevisionLabel->setAccessibleName(RevisionLabel->text());
    RevisionLabel->adjustSize();
    Skin->LoadSkin(ProgramFolder() + QStringLiteral("GameSkin1.jpg"));
    race.session().setRaceRunning(false);
    race.session().setJoinedRace(false);
    return true;
}

void MainWindow::WhenShown()
{
    // The messenger may be writing its files: the reads wait as a step of their own, and
    // the play modes, which put the player's name and UIN in the roster and on the wire,
    // wait for the options.
    PlayModeGroup->setEnabled(false);
    const auto readMessengerFiles = [](QPointer<MainWindow> window) -> Task<> {
        co_await LoadOptions();
        if (!window)
            co_return;
        window->optionsLoaded();
        window->onlineBuddies.start();
    };
    Launch(readMessengerFiles(this));
}

void MainWindow::optionsLoaded()
{
    // Without a name and a UIN (no options file, or one held too long) other copies could
    // not tell this player from another: joining and hosting stay off.
    const bool known = Records::Options.UserUin != 0 && !Records::Options.UserName.isEmpty();
    PlayModeGroup->button(JoinGame)->setEnabled(known);
    PlayModeGroup->button(HostGame)->setEnabled(known);
    PlayModeGroup->setEnabled(true);
    PlayModeGroup->focusItem();
    if (!known)
        InfoBox->append(QStringLiteral("Your name and UIN could not be read from Hollyfrost: "
                                       "only a Local Race and Practice can be played."));
}

void MainWindow::UpdatePlayControls()
{
    const PlayControlSet shown = controls->shown();
    RequestPlayBtn->setVisible(shown.requestPlay);
    AddCharacterBtn->setVisible(shown.addCharacters);
    StartRace->setVisible(shown.startGame);
    GameType->setVisible(shown.gameType);
    Difficulty->setVisible(shown.difficulty);
    InviteBtn->setVisible(shown.invite);
    CancelBtn->hide();
}

void MainWindow::showRaceStep(RaceStep step)
{
    switch (step) {
    case RaceStep::Starting:
        InviteBtn->hide();
        StartRace->hide();
        break;
    case RaceStep::Opened:
        raise();
        activateWindow();
        music.Start();
        break;
    case RaceStep::RoundsRunning:
        CancelBtn->show();
        break;
    case RaceStep::Cancelled:
        CancelBtn->hide();
        music.Stop();
        break;
    case RaceStep::Over:
        CancelBtn->hide();
        move(race.screen().desktopPoint(QPoint(race.screen().size().width() / 2 - width() / 2, 0)).x(), y());
        UpdatePlayControls();
        music.Stop();
        break;
    case RaceStep::TrackOpened:      // the race track's own steps
    case RaceStep::ScoreboardShown:
        break;
    }
}

void MainWindow::describeGameType(int gameType, int difficulty)
{
    // The box keeps the earlier descriptions and shows the new one from its start.
    QTextDocument *text = InfoBox->document();
    const int first = text->isEmpty() ? 0 : text->blockCount();
    InfoBox->append(LookupPhrase(QStringLiteral("Gt") + QString::number(gameType)));
    InfoBox->append(LookupPhrase(QStringLiteral("dl") + QString::number(difficulty)));
    const QRectF start = text->documentLayout()->blockBoundingRect(text->findBlockByNumber(first));
    InfoBox->verticalScrollBar()->setValue(int(start.top()));
}

void MainWindow::NewRaceBtnClick()
{
    race.newGame();
    UpdatePlayControls();
}

void MainWindow::ExitBtnClick()
{
    ExitBtn->setEnabled(false);
    close();   // the program leaves the game: a race in progress is cancelled (Race::leave)
}

void MainWindow::HelpBtnClick()
{
    if (!HelpPagesFound())
        return;
    if (!help)
        help = new HelpWindow(this);
    help->ShowTopic(QStringLiteral("hpad10"));
}

void MainWindow::RequestPlayBtnClick()
{
    request->Open();
}

void MainWindow::InviteBtnClick()
{
    Launch(requests.InvitePlayers());
}

void MainWindow::showHostText(const QString &text)
{
    InfoBox->clear();
    QTextCursor cursor(InfoBox->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);   // plain text: CR LF, CR and LF each end a line
}

void MainWindow::InfoBoxDblClick()
{
    InfoBox->clear();
}

void MainWindow::BuddiesLabelClick()
{
    // The registry file's lock may be held (by the messenger) for up to half a minute:
    // the write waits for it on a worker thread, never on the window's.
    QThreadPool::globalInstance()->start([path = ProgramFilePath()] {
        RegWriteText(RegistryRoot::LocalMachine, QStringLiteral("Software\\Hollyfrost\\Games"),
                     QStringLiteral("racing"), path);
    });
}

