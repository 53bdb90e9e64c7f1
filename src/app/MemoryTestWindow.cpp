#include "MemoryTestWindow.h"

#include "RaceScreen.h"
#include "Utilities.h"
#include "WindowRoles.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

namespace {

constexpr int CircleSize = 20;
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

MemoryTestWindow::MemoryTestWindow(MemoryTest &test, const RaceScreen &raceScreen, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      test(test), raceScreen(raceScreen)
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

    connect(ReadyBtn, &QPushButton::clicked, this, &MemoryTestWindow::ReadyBtnClick);
    connect(RememorizeBtn, &QPushButton::clicked, this, &MemoryTestWindow::RememorizeBtnClick);
    connect(SubmitBtn, &QPushButton::clicked, this, &MemoryTestWindow::SubmitBtnClick);
    connect(ClearBtn, &QPushButton::clicked, this, &MemoryTestWindow::ClearBtnClick);
    connect(SkipBtn, &QPushButton::clicked, this, &MemoryTestWindow::SkipBtnClick);

    connect(&test, &MemoryTest::opened, this, &MemoryTestWindow::open);
    connect(&test, &MemoryTest::changed, this, &MemoryTestWindow::showState);
    connect(&test, &MemoryTest::closed, this, &QWidget::close);
    showState();
}

void MemoryTestWindow::closeEvent(QCloseEvent *event)
{
    // As the question window: a close from the title bar or Alt+F4 would lose the
    // question; "Skip Question" is the way to give it up.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    test.close();
    QWidget::closeEvent(event);
}

void MemoryTestWindow::open()
{
    setMemo(QString());   // before showing: no instructions of the last test on show
    show();
    raise();
    activateWindow();
    move(BottomCentre(raceScreen.rect(), frameGeometry().size()));
}

void MemoryTestWindow::setMemo(const QString &text)
{
    memoShown = text;
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

void MemoryTestWindow::showState()
{
    for (int i = 0; i < PaletteSize; ++i) {
        Palette[i]->setVisible(test.paletteShown());
        Answers[i]->setVisible(i < test.circlesShown());
        if (Answers[i]->shownLetter() != test.circle(i))
            Answers[i]->paintLetter(test.circle(i));
    }
    if (test.memo() != memoShown)
        setMemo(test.memo());
    ReadyBtn->setVisible(test.readyShown());
    ClearBtn->setVisible(test.clearShown());
    RememorizeBtn->setVisible(test.rememorizeShown());
    SubmitBtn->setEnabled(test.canSubmit());
    SkipBtn->setEnabled(test.canSkip());
}

void MemoryTestWindow::PaletteClick(int paletteIndex)
{
    test.enter(paletteIndex);
}

void MemoryTestWindow::ReadyBtnClick()
{
    test.ready();
    Palette[0]->setFocus();
}

void MemoryTestWindow::RememorizeBtnClick()
{
    test.rememorize();
}

void MemoryTestWindow::SubmitBtnClick()
{
    if (test.submit() == AnswerVerdict::Wrong)
        InfoBox->repaint();
}

void MemoryTestWindow::ClearBtnClick()
{
    test.clear();
}

void MemoryTestWindow::SkipBtnClick()
{
    // The window closes with the question, once the skip is scored or reported.
    test.skip();
}
