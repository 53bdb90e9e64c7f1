#include "QuestionWindow.h"

#include "RaceScreen.h"
#include "QuestionRound.h"
#include "QuestionSources.h"
#include "RaceScreen.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int ClientWidth = 572;
constexpr int ClientHeight = 88;
} // namespace

QuestionWindow::QuestionWindow(QuestionRound &questions, const RaceScreen &raceScreen, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      questions(questions), raceScreen(raceScreen)
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

    // It shows the question on show, and what became of the answer.
    connect(&questions, &QuestionRound::questionShown, this, &QuestionWindow::showQuestion);
    connect(&questions, &QuestionRound::memoryTestShown, this, &QWidget::hide);
    connect(&questions, &QuestionRound::answerRejected, this, &QuestionWindow::showWrongAnswer);
    connect(&questions, &QuestionRound::answerAccepted, this, &QuestionWindow::showRightAnswer);
    connect(&questions, &QuestionRound::questionClosed, this, &QuestionWindow::closeQuestion);
    connect(&questions, &QuestionRound::questionReportChanged, this, &QuestionWindow::showReportState);
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
    WrongLabel->hide();
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
    questions.submit(Answer->text());
}

void QuestionWindow::SkipBtnClick()
{
    questions.skip();
}

void QuestionWindow::showWrongAnswer()
{
    Answer->clear();
    WrongLabel->show();
}

void QuestionWindow::showRightAnswer()
{
    hide();   // while the answer is reported
    WrongLabel->hide();
}

void QuestionWindow::closeQuestion()
{
    Answer->clear();
    close();
}

// The buttons are off while their report is sent.
void QuestionWindow::showReportState()
{
    AnswerBtn->setEnabled(!questions.answerReportPending());
    SkipBtn->setEnabled(!questions.skipReportPending());
}

void QuestionWindow::showQuestion(const QString &caption, const QString &prompt)
{
    show();
    raise();
    activateWindow();
    move(BottomCentre(raceScreen.rect(), frameGeometry().size()));
    setWindowTitle(caption);
    setAccessibleName(caption);
    Question->setText(prompt);
    Question->setAccessibleName(prompt);
    // Every question starts afresh: a question may come while the last answer is still
    // being reported (its box not yet cleared) or after a wrong try.
    Answer->clear();
    WrongLabel->hide();
    Answer->setFocus();
}
