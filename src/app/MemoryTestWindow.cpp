#include "MemoryTestWindow.h"

#include "RaceScreen.h"
#include "Phrases.h"
#include "QuestionRound.h"
#include "QuestionSources.h"
#include "RaceScreen.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTextEdit>

#include <utility>

namespace {

constexpr int CircleSize = 20;
constexpr int MaxStoredSequence = 15;
const QColor Silver(192, 192, 192);

struct ColourEntry {
    char letter;
    const char *name;
    QRgb rgb;
};

const ColourEntry colours[PaletteSize] = {
    {'b', "blue", qRgb(0, 0, 255)},       {'g', "green", qRgb(0, 128, 0)},
    {'y', "yellow", qRgb(255, 255, 0)},   {'r', "red", qRgb(255, 0, 0)},
    {'p', "fuchsia", qRgb(255, 0, 255)},  {'k', "black", qRgb(0, 0, 0)},
    {'w', "white", qRgb(255, 255, 255)},  {'l', "lime", qRgb(0, 255, 0)},
    {'a', "aqua", qRgb(0, 255, 255)},     {'c', "gray", qRgb(128, 128, 128)},
};

const ColourEntry *entryOf(QChar letter)
{
    for (const ColourEntry &entry : colours) {
        if (letter == QLatin1Char(entry.letter))
            return &entry;
    }
    return nullptr;
}

void paintCircle(QWidget *widget, const QColor &colour, bool focusMark)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(widget->rect()).adjusted(1, 1, -1, -1));
    if (focusMark) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(widget->rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace

QColor ColourOfLetter(QChar letter)
{
    const ColourEntry *entry = entryOf(letter);
    return entry ? QColor(entry->rgb) : Silver;
}

QString ColourName(QChar letter)
{
    const ColourEntry *entry = entryOf(letter);
    return entry ? QLatin1String(entry->name) : QStringLiteral("silver");
}


// --- circles ------------------------------------------------------------------------

ColourCircle::ColourCircle(QChar letter, QWidget *parent)
    : QAbstractButton(parent), letter_(letter)
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(ColourName(letter));
    setToolTip(ColourName(letter));
    resize(CircleSize, CircleSize);
}

void ColourCircle::paintEvent(QPaintEvent *)
{
    paintCircle(this, ColourOfLetter(letter_), hasFocus());
}

void ColourCircle::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        QAbstractButton::mousePressEvent(event);
    else
        event->accept();
}

void ColourCircle::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        QAbstractButton::mouseReleaseEvent(event);
    else if (hitButton(event->position().toPoint()))
        click();   // a release of any button enters the colour
}

AnswerCircle::AnswerCircle(int number, QWidget *parent)
    : QLabel(parent), number_(number)
{
    resize(CircleSize, CircleSize);
    paintLetter(QChar());
}

void AnswerCircle::paintLetter(QChar letter)
{
    letter_ = letter;
    setAccessibleName(QStringLiteral("answer circle %1: %2").arg(number_).arg(ColourName(letter)));
    update();
}

void AnswerCircle::paintEvent(QPaintEvent *)
{
    paintCircle(this, ColourOfLetter(letter_), false);
}

// --- the window ---------------------------------------------------------------------

MemoryTestWindow::MemoryTestWindow(QuestionRound &questions, const RaceScreen &raceScreen, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      questions(questions), raceScreen(raceScreen)
{
    SetWindowRole(this, WindowRole::Dialog);
    setObjectName(QStringLiteral("Memform"));
    setWindowTitle(QStringLiteral("Memory Test"));
    setAccessibleName(windowTitle());
    resize(580, 115);
    setAutoFillBackground(true);
    QPalette yellow = palette();
    yellow.setColor(QPalette::Window, QColor(255, 255, 128));
    yellow.setColor(QPalette::Base, QColor(255, 255, 128));
    setPalette(yellow);

    for (int i = 0; i < PaletteSize; ++i) {
        Palette[i] = new ColourCircle(PaletteLetters.at(i), this);
        Palette[i]->setObjectName(QStringLiteral("Shape%1").arg(i + 1));
        Palette[i]->move(5 + 25 * i, 38);
        connect(Palette[i], &QAbstractButton::clicked, this, [this, i] { PaletteClick(i); });
    }
    for (int i = 0; i < PaletteSize; ++i) {
        Answers[i] = new AnswerCircle(i + 1, this);
        Answers[i]->setObjectName(QStringLiteral("Shape%1").arg(i + 11));
        Answers[i]->move(5 + 25 * i, 63);
    }

    InfoBox = new QTextEdit(this);
    InfoBox->setObjectName(QStringLiteral("Memo1"));
    InfoBox->setAccessibleName(QStringLiteral("Instructions"));
    InfoBox->setReadOnly(true);
    InfoBox->setFrameStyle(QFrame::NoFrame);
    InfoBox->setFocusPolicy(Qt::NoFocus);
    InfoBox->setTextColor(Qt::red);
    InfoBox->setGeometry(0, 0, 246, 35);

    auto button = [this](const char *name, const char *caption, int x, int y, int w, bool bold) {
        auto *b = new QPushButton(QLatin1String(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, w, 26);
        QFont f = b->font();
        f.setBold(bold);
        b->setFont(f);
        return b;
    };
    ReadyBtn = button("ReadyBtn", "Ready", 262, 36, 100, false);
    RememorizeBtn = button("RememBtn", "Re-Memorize", 262, 66, 100, false);
    SubmitBtn = button("SubmitBtn", "Submit Answer", 368, 36, 118, true);
    ClearBtn = button("ClearBtn", "Clear", 368, 66, 60, false);
    // Below "Submit Answer", as wide as in the question window: its bold caption fits whole.
    SkipBtn = button("SkipBtn", "Skip Question", 434, 66, 140, true);
    RememorizeBtn->hide();

    connect(ReadyBtn, &QPushButton::clicked, this, &MemoryTestWindow::ReadyBtnClick);
    connect(RememorizeBtn, &QPushButton::clicked, this, &MemoryTestWindow::RememorizeBtnClick);
    connect(SubmitBtn, &QPushButton::clicked, this, &MemoryTestWindow::SubmitBtnClick);
    connect(ClearBtn, &QPushButton::clicked, this, &MemoryTestWindow::ClearBtnClick);
    connect(SkipBtn, &QPushButton::clicked, this, &MemoryTestWindow::SkipBtnClick);

    // A memory question plays here; another question, or the end of this one, closes it.
    connect(&questions, &QuestionRound::memoryTestShown, this, &MemoryTestWindow::StartTest);
    connect(&questions, &QuestionRound::questionShown, this, &QWidget::close);
    connect(&questions, &QuestionRound::questionClosed, this, &QWidget::close);
    connect(&questions, &QuestionRound::questionReportChanged, this, &MemoryTestWindow::showReportState);
}

void MemoryTestWindow::closeEvent(QCloseEvent *event)
{
    // As the question window: a close from the title bar or Alt+F4 would lose the
    // question; "Skip Question" is the way to give it up.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    ++playback;
    QWidget::closeEvent(event);
}

void MemoryTestWindow::setMemo(const QString &text)
{
    InfoBox->clear();
    InfoBox->setTextColor(Qt::red);
    if (!text.isEmpty()) {
        for (const QString &line : text.split(QStringLiteral("\r\n"))) {
            InfoBox->append(line);
            InfoBox->setAlignment(Qt::AlignCenter);
        }
    }
    InfoBox->verticalScrollBar()->setValue(0);   // longer than the box: its start shows
    InfoBox->setAccessibleDescription(InfoBox->toPlainText());
}

void MemoryTestWindow::paintAnswersSilver()
{
    for (AnswerCircle *circle : Answers)
        circle->paintLetter(QChar());
}

void MemoryTestWindow::PaletteClick(int paletteIndex)
{
    const int entered = int(entries.size());
    if (paletteIndex < 0 || paletteIndex >= PaletteSize || entered >= stored.size() || entered >= PaletteSize)
        return;
    const QChar letter = PaletteLetters.at(paletteIndex);
    Answers[entered]->paintLetter(letter);
    entries += letter;
    SubmitBtn->setEnabled(entries.size() >= stored.size() && !questions.answerReportPending());
}

void MemoryTestWindow::ReadyBtnClick()
{
    ++playback;   // the sequence vanishes, even in the middle of its playback
    ClearBtn->show();
    ReadyBtn->hide();
    setMemo(LookupPhrase(QStringLiteral("mt2")));
    entries.clear();
    for (ColourCircle *circle : Palette)
        circle->show();
    paintAnswersSilver();
    RememorizeBtn->show();
    Palette[0]->setFocus();
}

void MemoryTestWindow::RememorizeBtnClick()
{
    Launch(replay());
}

Task<> MemoryTestWindow::replay()
{
    ClearBtn->hide();
    RememorizeBtn->hide();
    for (ColourCircle *circle : Palette)
        circle->hide();
    entries.clear();
    for (AnswerCircle *circle : Answers)
        circle->hide();
    SubmitBtn->setEnabled(false);   // the entries are gone: nothing to submit while it waits
    const QPointer<MemoryTestWindow> self(this);
    const quint64 token = playback;
    co_await Wait(1000);
    // Closed (skipped, the race over) or another question shown meanwhile: nothing to play.
    if (!self || playback != token)
        co_return;
    StartTest(QString());
}

void MemoryTestWindow::SubmitBtnClick()
{
    if (!SubmitBtn->isEnabled())
        return;
    switch (questions.submit(entries)) {
    case AnswerVerdict::Wrong:
        entries.clear();
        setMemo(LookupPhrase(QStringLiteral("mt3")) + QStringLiteral("\r\n") + LookupPhrase(QStringLiteral("mt2")));
        InfoBox->repaint();
        paintAnswersSilver();
        return;
    case AnswerVerdict::Right:
        entries.clear();
        close();
        return;
    case AnswerVerdict::Ignored:   // not taken: the entries stay for another try
        return;
    }
}

void MemoryTestWindow::ClearBtnClick()
{
    entries.clear();
    paintAnswersSilver();
}

void MemoryTestWindow::SkipBtnClick()
{
    // The window closes with the question, once the skip is scored or reported.
    questions.skip();
}

void MemoryTestWindow::showReportState()
{
    if (questions.answerReportPending())
        SubmitBtn->setEnabled(false);
    else if (entries.size() >= stored.size())
        SubmitBtn->setEnabled(true);
    SkipBtn->setEnabled(!questions.skipReportPending());
}

void MemoryTestWindow::StartTest(const QString &sequence)
{
    wantedPlayback = ++playback;
    ClearBtn->hide();
    ReadyBtn->show();
    SubmitBtn->setEnabled(false);
    RememorizeBtn->hide();
    setMemo(QString());   // before showing: no instructions of the last test on show
    show();
    raise();
    activateWindow();
    move(BottomCentre(raceScreen.rect(), frameGeometry().size()));
    stored = (sequence.isEmpty() ? stored : sequence).left(MaxStoredSequence);
    entries.clear();
    for (int i = 0; i < PaletteSize; ++i) {
        Palette[i]->hide();
        Answers[i]->setVisible(i < stored.size());
    }
    if (!playing)
        Launch(playSequences());
}

Task<bool> MemoryTestWindow::paintSlowly(QString letters, int waitMs, quint64 token)
{
    const QPointer<MemoryTestWindow> self(this);
    for (int i = 0; i < letters.size() && i < PaletteSize; ++i) {
        if (!self || playback != token)
            co_return false;
        Answers[i]->paintLetter(letters.at(i));
        co_await Wait(waitMs);
    }
    co_return self && playback == token;
}

Task<bool> MemoryTestWindow::playOnce(quint64 token)
{
    const QPointer<MemoryTestWindow> self(this);
    co_await Wait(500);
    if (!self)
        co_return false;
    for (int round = 0; round < 5; ++round) {
        if (!co_await paintSlowly(RandomColours(random, PaletteSize), 25, token))
            co_return false;
    }
    paintAnswersSilver();
    if (!co_await paintSlowly(stored, 500, token))
        co_return false;
    setMemo(LookupPhrase(QStringLiteral("mt1")));
    co_return true;
}

Task<> MemoryTestWindow::playSequences()
{
    const QPointer<MemoryTestWindow> self(this);
    playing = true;
    const auto done = qScopeGuard([self] {
        if (self)
            self->playing = false;
    });
    for (;;) {
        const quint64 token = wantedPlayback;
        if (co_await playOnce(token))
            co_return;
        // Interrupted: by a newer test (that one plays now), or by "Ready" or a close.
        if (!self || wantedPlayback == token || wantedPlayback != playback)
            co_return;
    }
}
