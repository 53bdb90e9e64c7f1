// The memory test's window: it shows the memory test (MemoryTest.h: the sequence played
// on the answer circles, the palette after "Ready", the instructions) and hands it the
// clicks.
#pragma once

#include "MemoryTest.h"

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QString>
#include <QWidget>

class QPushButton;
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
    // test: the memory test it shows; it opens and closes with it. raceScreen: where it
    // opens, at the bottom.
    MemoryTestWindow(MemoryTest &test, const RaceScreen &raceScreen, QWidget *parent = nullptr);

    void PaletteClick(int paletteIndex);   // 0 = "Shape1" ... 9 = "Shape10"
    void ReadyBtnClick();
    void RememorizeBtnClick();
    void SubmitBtnClick();
    void ClearBtnClick();
    void SkipBtnClick();
    // The memo's text: lines joined by CR LF; its start shows.
    void setMemo(const QString &text);

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
    // Shows the window over the question window, at the bottom of the race's screen.
    void open();
    // Shows the test's circles, buttons and instructions.
    void showState();

    MemoryTest &test;
    const RaceScreen &raceScreen;
    QString memoShown;
};
