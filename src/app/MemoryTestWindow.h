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
class QuestionRound;
class RaceScreen;
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
    // questions: the question round it shows and answers.
    MemoryTestWindow(QuestionRound &questions, const RaceScreen &raceScreen, QWidget *parent = nullptr);

    // Opens the window over the question window and plays the sequence (an empty one
    // replays the last): a short flicker, then one colour every 500 ms. It returns once
    // the window shows; the playback runs on by itself.
    void StartTest(const QString &sequence);

    void PaletteClick(int paletteIndex);   // 0 = "Shape1" ... 9 = "Shape10"
    void ReadyBtnClick();
    void RememorizeBtnClick();
    void SubmitBtnClick();
    void ClearBtnClick();
    void SkipBtnClick();

    void paintAnswersSilver();
    // Each button is off while its report is sent (QuestionRound.h); Submit comes back
    // once the entries are complete.
    void showReportState();
    // The memo's text: lines joined by CR LF.
    void setMemo(const QString &text);

    // The sequence of the test on show (at most 15 letters), kept for "Re-Memorize", and
    // the colours the player has entered (their letters).
    const QString &storedSequence() const { return stored; }
    const QString &enteredColours() const { return entries; }

    ColourCircle *Palette[PaletteSize] = {};    // objects "Shape1" ... "Shape10"
    AnswerCircle *Answers[PaletteSize] = {};    // objects "Shape11" ... "Shape20"
    QTextEdit *InfoBox = nullptr;
    QPushButton *ReadyBtn = nullptr;
    QPushButton *RememorizeBtn = nullptr;
    QPushButton *SubmitBtn = nullptr;
    QPushButton *ClearBtn = nullptr;
    QPushButton *SkipBtn = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QuestionRound &questions;
    const RaceScreen &raceScreen;
    // "Re-Memorize": a second's pause with the entries gone, then the sequence again.
    Task<> replay();
    // Plays until the playback wanted last has played or was stopped ("Ready", the window
    // closed). A flood of memory questions thus costs one sequence, not one each.
    Task<> playSequences();
    // One playing of the sequence into the answer circles: five rounds of random colours,
    // then the letters to remember, then the instructions. False when it was interrupted.
    Task<bool> playOnce(quint64 token);
    // Paints the answer circles with the letters one after another, waiting after each;
    // false when the playback was interrupted.
    Task<bool> paintSlowly(QString letters, int waitMs, quint64 token);

    QString stored;
    QString entries;
    Random random;   // the colours of the playback's first rounds
    // Counts the playbacks started, so that a playback interrupted by "Ready", by a new
    // test or by closing the window stops painting.
    quint64 playback = 0;
    // The playback a test asked for last, and whether a playback sequence is under way:
    // one sequence plays at a time, and a test shown during it restarts it.
    quint64 wantedPlayback = 0;
    bool playing = false;
};
