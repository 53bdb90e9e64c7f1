#include "QuestionWindow.h"

#include "DataFiles.h"
#include "DexterityTest.h"
#include "GameTransport.h"
#include "MessageBoxes.h"
#include "MessageCodes.h"
#include "Phrases.h"
#include "QuestionSources.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Stage.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QuestionWindow *TheQuestionWindow = nullptr;
QString CurrentAnswer;
QString CurrentSender;

namespace {

MemoryTestStarter &memoryTestStarter()
{
    static MemoryTestStarter starter;
    return starter;
}

constexpr int ClientWidth = 572;
constexpr int ClientHeight = 88;
constexpr int ResendCopyLength = 150;
constexpr int LocalPayloadLength = 100;

// Counts the questions shown, so that a report that waited for its acknowledgement can
// tell whether another question has been put on show meanwhile.
quint64 questionsShown = 0;
// The number of the question on show, as its "RZ" gave it (empty when it gave none).
QString currentNumber;

// The letters of the word scramble on show (empty for other questions): any word of the
// list made of them is a right answer, not only the word the scramble was made from.
QString scrambledLetters;

bool isRightAnswer(const QString &typed)
{
    return AnswerMatches(CurrentAnswer, typed)
           || (!scrambledLetters.isEmpty() && IsListWordOfLetters(scrambledLetters, typed));
}

QString ownUin()
{
    return QString::number(Records::Options.UserUin);
}

// The report on the question shown last, sent again whenever the host puts that question
// again: the host still waits for it. An acknowledgement does not prove that it arrived
// (an "AK" does not say which message it answers, and may be a late or replayed one).
struct LastReport {
    QString host, code, payload;
} lastReport;

// Sends a report ("RB" or "RK") to the race host and repeats it every 500 ms, at most
// `repeats` times, until the host acknowledges it. The question's number rides as a
// trailing field, so that the host counts the report once for that question.
Task<> sendReport(QString code, QString host, QString answer, int repeats)
{
    QString payload = QStringLiteral("&&") + ownUin() + QStringLiteral("&&") + answer;
    if (!currentNumber.isEmpty())
        payload += QStringLiteral("&&") + currentNumber;
    lastReport = {host, code, payload};
    const AckWait acknowledged(host);
    SendGameMessage(code, host, payload);
    for (int i = 0; i < repeats && !acknowledged.arrived(); ++i) {
        co_await Wait(500);
        if (!acknowledged.arrived())
            SendGameMessage(code, host, payload);
    }
}

// Ends a running dexterity test and takes the Announcer out of the way.
void endDexterityTest()
{
    DexterityCountdown = 0;
    MoveCharacter(0, 0, QStringLiteral("Announcer"), 0);
}

bool validSlot(int slot)
{
    return slot >= 0 && slot < MaxContestants;
}

int listedSlots()
{
    return std::min(ContestantCount(), MaxContestants);
}

bool awaitingAcknowledgement(int slot)
{
    return !ContestantTable[slot].Address.isEmpty() && !ContestantTable[slot].Acked;
}

} // namespace

QuestionWindow::QuestionWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    SetWindowRole(this, WindowRole::Dialog);
    setObjectName(QStringLiteral("QuestionForm"));
    setWindowTitle(QStringLiteral("Question ?"));
    setAccessibleName(windowTitle());
    resize(ClientWidth, ClientHeight);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::red);
    setPalette(colours);

    QFont bold = font();
    bold.setBold(true);
    QPalette white = palette();
    white.setColor(QPalette::WindowText, Qt::white);

    Question = new QLabel(QStringLiteral("Question"), this);
    Question->setObjectName(QStringLiteral("Question"));
    Question->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Question->setWordWrap(true);
    Question->setTextFormat(Qt::PlainText);   // a question's text may come from another machine
    Question->setFont(bold);
    Question->setPalette(white);
    Question->setAccessibleName(Question->text());

    WrongLabel = new QLabel(QStringLiteral("Wrong - Try Again"), this);
    WrongLabel->setObjectName(QStringLiteral("WrongLabel"));
    WrongLabel->setFont(bold);
    WrongLabel->setPalette(white);
    WrongLabel->hide();

    Answer = new QLineEdit(this);
    Answer->setObjectName(QStringLiteral("Answer"));
    Answer->setAccessibleName(QStringLiteral("Answer"));
    Answer->installEventFilter(this);

    AnswerBtn = new QPushButton(QStringLiteral("Answer"), this);
    AnswerBtn->setObjectName(QStringLiteral("AnswerBtn"));
    AnswerBtn->setFont(bold);
    QPalette redText = AnswerBtn->palette();
    redText.setColor(QPalette::ButtonText, Qt::red);
    AnswerBtn->setPalette(redText);

    SkipBtn = new QPushButton(QStringLiteral("Skip Question"), this);
    SkipBtn->setObjectName(QStringLiteral("SkipBtn"));
    SkipBtn->setFont(bold);

    setTabOrder(Answer, AnswerBtn);
    setTabOrder(AnswerBtn, SkipBtn);
    placeControls();

    connect(AnswerBtn, &QPushButton::clicked, this, &QuestionWindow::AnswerBtnClick);
    connect(SkipBtn, &QPushButton::clicked, this, &QuestionWindow::SkipBtnClick);
    TheQuestionWindow = this;
    FormCreate();
}

QuestionWindow::~QuestionWindow()
{
    if (TheQuestionWindow == this)
        TheQuestionWindow = nullptr;
}

void QuestionWindow::FormCreate()
{
    LastQuestionKey.clear();
    // The click on the Announcer answers a dexterity question put in this window.
    SetCharacterClickHandler(&CharacterClicked);
}

void QuestionWindow::placeControls()
{
    Question->setGeometry(4, 2, 563, 54);
    WrongLabel->setGeometry(8, 62, 140, 20);
    Answer->setGeometry(152, 60, 140, 24);
    AnswerBtn->setGeometry(300, 58, 110, 28);
    SkipBtn->setGeometry(418, 58, 140, 28);
}

void QuestionWindow::closeEvent(QCloseEvent *event)
{
    // A close from the title bar or the keyboard (Alt+F4) would leave the question
    // unanswered and the contestant waiting for ever: the question stays on show, and
    // only "Skip Question" gives it up. The program's own closes (race end, cancel) go on.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    WrongLabel->hide();   // FormClose
    // A dexterity test ends with its question: a click on the Announcer has nothing left
    // to answer, and the Announcer stops jumping (and keeps its commentary) in later races.
    if (DexterityCountdown > 0)
        endDexterityTest();
    QWidget::closeEvent(event);
}

bool QuestionWindow::eventFilter(QObject *watched, QEvent *event)
{
    // AnswerKeyDown: Enter presses AnswerBtn and goes no further.
    if (watched == Answer && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AnswerBtnClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QuestionWindow::AnswerBtnClick()
{
    if (!AnswerBtn->isEnabled())
        return;
    Launch(answer());
}

Task<> QuestionWindow::answer()
{
    if (!isRightAnswer(Answer->text())) {
        Answer->clear();
        WrongLabel->show();
        MessageBeep(BeepKind::Stop);
        co_return;
    }
    hide();
    MessageBeep(BeepKind::Default);
    AnswerBtn->setEnabled(false);
    WrongLabel->hide();
    endDexterityTest();
    const quint64 shown = questionsShown;
    if (CurrentSender.isEmpty())
        ApplyRightAnswer(0);
    else
        co_await sendReport(MessageCode::RightAnswer, CurrentSender, CurrentAnswer, 15);
    AnswerBtn->setEnabled(true);
    // A new question may have arrived while the report waited: leave that one on show.
    if (questionsShown == shown) {
        Answer->clear();
        close();
    }
}

void QuestionWindow::SkipBtnClick()
{
    if (!SkipBtn->isEnabled())
        return;   // a skip is being reported
    Launch(skip());
}

Task<> QuestionWindow::skip()
{
    const quint64 shown = questionsShown;
    endDexterityTest();
    if (CurrentSender.isEmpty()) {
        ApplySkip(0);
    } else {
        SkipBtn->setEnabled(false);
        co_await sendReport(MessageCode::Skipped, CurrentSender, CurrentAnswer, 5);
        SkipBtn->setEnabled(true);
    }
    if (questionsShown != shown)
        co_return;   // a new question arrived while the skip was reported
    Answer->clear();
    close();
    MessageBeep(BeepKind::Default);
}

void ShowQuestion(const QString &sender, const QString &payload)
{
    SendGameMessage(MessageCode::Acknowledge, sender, QString());
    const QString key = sender + payload;
    if (key == LastQuestionKey && !sender.isEmpty() && sender == lastReport.host) {
        // The host puts again the question answered here: the report was lost.
        SendGameMessage(lastReport.code, lastReport.host, lastReport.payload);
        return;
    }
    if (key == LastQuestionKey || !TheQuestionWindow)
        return;
    // A host numbers its questions upwards: one numbered below the question shown last
    // from the same host is an old one replayed or delayed, and would replace the
    // question the host waits for.
    QString number = payload.section(QStringLiteral("&&"), 3, 3);
    if (!IsDigits(number, 9))
        number.clear();
    if (!LastQuestionKey.isEmpty() && !sender.isEmpty() && sender == CurrentSender && !number.isEmpty()
        && !currentNumber.isEmpty() && number.toInt() < currentNumber.toInt())
        return;
    LastQuestionKey = key;
    lastReport = {};
    ++questionsShown;
    QuestionWindow *form = TheQuestionWindow;
    form->show();
    form->raise();
    form->activateWindow();
    form->move(BottomCentre(RaceScreen(), form->frameGeometry().size()));

    QString fields = payload;
    const QString code = NextField(fields);
    CurrentAnswer = NextField(fields);
    const QString text = AsciiUpperCase(NextField(fields));
    currentNumber = number;
    CurrentSender = sender;
    scrambledLetters = code == QuestionKind::WordScramble ? text : QString();

    const QString cr = QStringLiteral("\n");
    QString caption, prompt;
    if (code == QuestionKind::Addition) {
        caption = LookupPhrase(QStringLiteral("ql2"));
        prompt = LookupPhrase(QStringLiteral("qb1")) + cr + cr + text;
    } else if (code == QuestionKind::Subtraction) {
        caption = LookupPhrase(QStringLiteral("ql3"));
        prompt = LookupPhrase(QStringLiteral("qc1")) + cr + cr + text;
    } else if (code == QuestionKind::Multiplication) {
        caption = LookupPhrase(QStringLiteral("ql4"));
        prompt = LookupPhrase(QStringLiteral("qd1")) + cr + cr + text;
    } else if (code == QuestionKind::Dexterity) {
        caption = LookupPhrase(QStringLiteral("ql5"));
        prompt = LookupPhrase(QStringLiteral("qe1")) + cr + LookupPhrase(QStringLiteral("qe2"));
        DexterityCountdown = 2;
        DexterityJumps = 0;
    } else if (code != QuestionKind::Memory) {
        caption = LookupPhrase(QStringLiteral("ql1"));
        prompt = LookupPhrase(QStringLiteral("qa1")) + cr + LookupPhrase(QStringLiteral("qa2")) + cr + text;
    }
    if (code == QuestionKind::Memory) {
        if (memoryTestStarter())
            memoryTestStarter()(CurrentAnswer);   // the memory window takes over
    } else {
        form->setWindowTitle(caption);
        form->setAccessibleName(caption);
        form->Question->setText(prompt);
        form->Question->setAccessibleName(prompt);
    }
    if (form->isVisible())
        form->Answer->setFocus();
}

Task<> RunQuestionRound()
{
    QString working = BuildQuestion();
    QString resendCopies[MaxContestants];
    const bool localBusy = ContestantTable[0].Confirmed == SlotQuestionOutstanding;
    ContestantTable[0].Confirmed = SlotQuestionOutstanding;
    for (int slot = 0; slot < listedSlots(); ++slot) {
        ContestantRecord &record = ContestantTable[slot];
        if (record.Address.isEmpty() || record.Confirmed == SlotQuestionOutstanding) {
            record.Acked = true;   // nothing to wait for
            // A question still outstanding is put again, once a round: the question or
            // its answer may have been lost after all their resends.
            const Records::QuestionRecord outstanding = ReadQuestionRecord(record.QuestionNumber - 1);
            if (!record.Address.isEmpty() && !outstanding.Text.isEmpty())
                SendGameMessage(MessageCode::Question, record.Address,
                                outstanding.Text + QStringLiteral("&&") + QString::number(record.QuestionNumber - 1));
            continue;
        }
        const Records::QuestionRecord stored = ReadQuestionRecord(record.QuestionNumber);
        if (!stored.Text.isEmpty())
            working = stored.Text;
        const QString message = working + QStringLiteral("&&") + QString::number(record.QuestionNumber);
        resendCopies[slot] = message.left(ResendCopyLength);
        SendGameMessage(MessageCode::Question, record.Address, message);
        ++record.QuestionNumber;
        record.Acked = false;
        record.Confirmed = SlotQuestionOutstanding;
    }
    for (int pass = 0; pass < 15; ++pass) {
        bool waiting = false;
        for (int slot = 0; slot < listedSlots(); ++slot)
            waiting = waiting || awaitingAcknowledgement(slot);
        if (!waiting)
            break;
        co_await Wait(500);
        for (int slot = 0; slot < listedSlots(); ++slot) {
            if (awaitingAcknowledgement(slot))
                SendGameMessage(MessageCode::Question, ContestantTable[slot].Address, resendCopies[slot]);
        }
    }
    if (localBusy)
        co_return;
    ContestantRecord &local = ContestantTable[0];
    const Records::QuestionRecord stored = ReadQuestionRecord(local.QuestionNumber);
    if (!stored.Text.isEmpty())
        working = stored.Text;
    const QString message = working + QStringLiteral("&&") + QString::number(local.QuestionNumber);
    ++local.QuestionNumber;
    ShowQuestion(QString(), message.mid(2, LocalPayloadLength));
}

void ApplyRightAnswer(int slot)
{
    if (!validSlot(slot))
        return;
    ContestantTable[slot].Confirmed = SlotReady;
    ++ContestantTable[slot].Score;
}

void ApplySkip(int slot)
{
    if (!validSlot(slot))
        return;
    ContestantRecord &record = ContestantTable[slot];
    record.Confirmed = SlotReady;
    record.Progress /= 2;
    record.LastX = 0;
    record.Score /= 2;
}

void ResetQuestionRound()
{
    LastQuestionKey.clear();
    RearmQuestionFileReport();
}

void SetMemoryTestStarter(MemoryTestStarter starter)
{
    memoryTestStarter() = std::move(starter);
}
