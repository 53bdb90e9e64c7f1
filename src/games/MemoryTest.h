// The memory test, with no window: a sequence of colours is played on the answer
// circles (a short flicker of random colours, then one colour of the sequence every
// 500 ms); after "Ready" the player repeats it on the palette, and "Submit Answer" hands
// the entries to the question round, which checks and reports them. The memory window
// (app) shows its state and passes the clicks on; the waits count on the clock handed in.
#pragma once

#include "QuestionRound.h"
#include "QuestionSources.h"
#include "Waits.h"

#include <QObject>
#include <QString>

#include <array>

class MemoryTest : public QObject
{
    Q_OBJECT
public:
    // The longest sequence kept; the answer circles (and the entries) are at most PaletteSize.
    static constexpr int MaxSequence = 15;

    // questions: the round whose memory questions it plays (memoryTestShown) and which
    // takes the entries; another question, or the end of this one, closes the test.
    MemoryTest(QuestionRound &questions, Clock &clock);

    // Opens the test and plays the sequence (an empty one replays the last). A test shown
    // while a playback runs restarts it: a flood of tests costs one playback.
    void start(const QString &sequence);
    // "Ready": the sequence vanishes (also in the middle of its playback), the palette shows.
    void ready();
    // "Re-Memorize": a second's pause with the entries gone, then the sequence again.
    void rememorize();
    // A palette circle (0 to PaletteSize - 1) pressed: its colour is the next entry, up to
    // as many as the sequence has circles.
    void enter(int paletteIndex);
    // "Clear": the entries go.
    void clear();
    // "Submit Answer": a wrong sequence clears the entries and says so, a right one ends
    // the test; nothing happens while it cannot be submitted.
    AnswerVerdict submit();
    // "Skip Question": the test closes with the question once the skip is scored or reported.
    void skip();
    // The test goes (another question, the end of this one, the window closed): its
    // playback stops.
    void close();

    bool isOpen() const { return open; }
    const QString &sequence() const { return stored; }
    const QString &entries() const { return entered; }
    // The letter on answer circle i (a null QChar: silver), and how many circles show.
    QChar circle(int i) const { return i >= 0 && i < PaletteSize ? circles[size_t(i)] : QChar(); }
    int circlesShown() const { return answersShown ? circleCount() : 0; }
    bool paletteShown() const { return entering; }
    bool readyShown() const { return open && !entering && !replaying; }
    bool clearShown() const { return entering; }
    bool rememorizeShown() const { return entering; }
    // The entries are complete and no report of an answer is under way.
    bool canSubmit() const;
    bool canSkip() const { return !questions.skipReportPending(); }
    // The instructions: lines joined by CR LF; empty while the sequence plays.
    const QString &memo() const { return memoText; }

signals:
    // A test was opened (the window shows and comes to the front).
    void opened();
    // What shows changed (circles, buttons, instructions).
    void changed();
    // The test is over or gone: the window closes.
    void closed();

private:
    int circleCount() const { return int(qMin(stored.size(), qsizetype(PaletteSize))); }
    void paintSilver();
    void setMemo(const QString &text);
    WhenDone after(int ms);
    Task<> replay();
    // Plays until the playback wanted last has played or was stopped ("Ready", a close).
    Task<> playSequences();
    // One playing; false when it was interrupted.
    Task<bool> playOnce(quint64 token);
    // Paints the circles with the letters one after another, waiting after each; false
    // when the playback was interrupted.
    Task<bool> paintSlowly(QString letters, int waitMs, quint64 token);

    QuestionRound &questions;
    Clock &clock;
    QString stored;
    QString entered;
    Random random;   // the colours of the playback's first rounds
    QString memoText;
    std::array<QChar, PaletteSize> circles{};
    bool open = false;
    bool entering = false;       // after "Ready": the palette takes entries
    bool replaying = false;      // "Re-Memorize" waits before the sequence plays again
    bool answersShown = true;
    // Counts the playbacks started, so that a playback interrupted by "Ready", by a new
    // test or by a close stops painting.
    quint64 playback = 0;
    // The playback a test asked for last, and whether a playback sequence is under way.
    quint64 wantedPlayback = 0;
    bool playing = false;
};
