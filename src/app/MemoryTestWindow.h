// The memory test: a sequence of coloured circles is played on the answer circles; after
// "Ready" the player repeats it by clicking the palette circles in the same order.
// "Submit Answer" and "Skip Question" hand the entries to the question round
// (QuestionRound.h), which checks and reports them as a typed answer.
#pragma once

#include "QuestionSources.h"
#include "Waits.h"

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QString>
#include <QWidget>

class QPushButton;
class QTextEdit;


QColor ColourOfLetter(QChar letter);
// The colour's name as the palette circles are called ("silver" for a blank circle).
QString ColourName(QChar letter);


// A palette circle: a round button in one colour, pressed by a mouse-button release (any
// button), by the keyboard or by assistive technology; named by its colour.
class ColourCircle : public QAbstractButton
{
    Q_OBJECT
public:
    ColourCircle(QChar letter, QWidget *parent);
    QChar letter() const { return letter_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QChar letter_;
};

// An answer circle: shows one colour of the sequence or of the player's entries, or
// silver; its accessible name says which ("answer circle 2: red").
class AnswerCircle : public QLabel
{
    Q_OBJECT
public:
    AnswerCircle(int number, QWidget *parent);
    void paintLetter(QChar letter);   // a null QChar paints it silver
    QChar shownLetter() const { return letter_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int number_;
    QChar letter_;
};

class MemoryTestWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MemoryTestWindow(QWidget *parent = nullptr);
    ~MemoryTestWindow() override;

    void PaletteClick(int paletteIndex);   // 0 = Shape1 ... 9 = Shape10
    void ReadyBtnClick();
    void RememBtnClick();
    void SubmitBtnClick();
    void ClearBtnClick();
    void SkipBtnClick();

    void paintAnswersSilver();
    // Each button is off while its report is sent (QuestionRound.h); Submit comes back
    // once the entries are complete.
    void showReportState();
    // The memo's text: lines joined by CR LF.
    void setMemo(const QString &text);

    ColourCircle *Palette[PaletteSize] = {};    // Shape1 ... Shape10
    AnswerCircle *Answers[PaletteSize] = {};    // Shape11 ... Shape20
    QTextEdit *InfoBox = nullptr;
    QPushButton *ReadyBtn = nullptr;
    QPushButton *RememBtn = nullptr;
    QPushButton *SubmitBtn = nullptr;
    QPushButton *ClearBtn = nullptr;
    QPushButton *SkipBtn = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // "Re-Memorize": a second's pause with the entries gone, then the sequence again.
    Task<> replay();
};

// The window created at start-up (nullptr before and after).
extern MemoryTestWindow *TheMemoryTest;

// The sequence of the test on show (at most 15 letters), kept for "Re-Memorize", and
// the colours the player has entered (their letters).
extern QString StoredSequence;
extern QString EnteredColours;

// Opens the memory window over the question window and plays the sequence (an empty
// one replays StoredSequence): a short flicker, then one colour every 500 ms. It returns
// once the window shows; the playback runs on by itself.
void StartMemoryTest(const QString &sequence);
