// The puzzles: arithmetic at three difficulties, scrambled words from the word list, the
// dexterity question and the memory test's colour sequences, and the question file
// "questions.fil" that keeps the questions of the current race in the order they were
// made, so that every contestant gets the same questions in the same order.
//
// A question text is "&&" code "&&" answer "&&" question, e.g. "&&MS&&5&&8 - 3".
#pragma once

class Dialogs;

#include "records.h"
#include "Utilities.h"

#include <QDateTime>
#include <QPoint>
#include <QRect>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

// The kinds of question, the code that opens a question text. The question file and the
// host's "RZ" messages carry them, so they never change.
namespace QuestionKind {
inline const QString Addition = QStringLiteral("MA");
inline const QString Subtraction = QStringLiteral("MS");
inline const QString Multiplication = QStringLiteral("MM");
inline const QString WordScramble = QStringLiteral("WS");
inline const QString Dexterity = QStringLiteral("DX");
inline const QString Memory = QStringLiteral("MT");
} // namespace QuestionKind

// The word list of the word scrambles (wlist.lst in the program folder), read when first
// used and again only when the file changes: every word in upper case, and the words
// that can be put as scrambles, in file order (a word listed twice counts twice), those
// with some arrangement of their letters that is not a word of the list.
class WordList
{
public:
    // A word of the difficulty's length and its scramble: word "&&" scrambled. The
    // scramble is never itself a word of the list (in any letter case), and a word whose
    // every arrangement is listed (such as "aaa") is never drawn. Both are empty when the
    // list is missing or has no such word of that length.
    QString pick(Random &random, int difficulty) const;
    // True when typed is a word of the list made of exactly the letters of letters, ASCII
    // letter case ignored: every listed word of a scramble's letters answers it.
    bool isWordOfLetters(const QString &letters, const QString &typed) const;

private:
    struct Index {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        QSet<QString> known;
        QStringList scramblable;
    };
    const Index &current() const;
    QString scrambleOutsideList(Random &random, const QString &word) const;
    mutable Index index;   // what was read, and from which file
};

// What the making of questions remembers from one question to the next (the question
// round keeps it).
struct QuestionDraws {
    // The kind of the last problem drawn for "Mixed Problems" or "Simple Math" (0
    // addition, 1 subtraction, 2 multiplication, 3 word scramble, 4 dexterity, 5 memory).
    // It starts at 0 and is kept across races, so the first drawn problem is never an
    // addition and no kind comes twice in a row.
    int lastKind = 0;
    // A question file that cannot be written is reported once a race.
    bool writeFailureReported = false;
    WordList words;   // the word scrambles' list
    Random random;    // what every question is drawn with
};

// Builds the next question for the game type and difficulty and appends it to the
// question file (a file that cannot be written is told once a race, in a box); empty for
// "Random Race" (or no game type).
QString BuildQuestion(QuestionDraws &draws, int gameType, int difficulty, Dialogs &dialogs);

// The questions, drawn with the caller's engine.
QString MakeAddition(Random &random, int difficulty);
QString MakeSubtraction(Random &random, int difficulty);
QString MakeMultiplication(Random &random, int difficulty);
QString MakeDexterityQuestion();
// Word scramble question "&&WS&&" word "&&" scrambled word, from the word list.
QString MakeWordScramble(const WordList &words, Random &random, int difficulty);
// Every word of the list in file order: the text before each blank of each line (the
// text after a line's last blank does not count).
QStringList WordListWords(const QString &path);
// A uniformly random permutation of the characters of text.
QString ScrambleText(Random &random, const QString &text);

// The question file in the program folder.
QString QuestionFilePath();
// Appends one 259-byte record; false (and nothing written) when the file cannot be
// opened or written.
bool AppendQuestionRecord(const QString &code, const QString &text);
// Record n (1 = the first); empty for n = 0 or an unreadable file, the last record for
// an n beyond the end.
Records::QuestionRecord ReadQuestionRecord(int n);

// The palette order of the colour letters: b blue, g green, y yellow, r red, p fuchsia,
// k black, w white, l lime, a aqua, c gray.
extern const QString PaletteLetters;
constexpr int PaletteSize = 10;

// The first n letters of a scramble of the palette letters written twice (so a colour
// occurs at most twice).
QString RandomColours(Random &random, int n);
// A memory question "&&MT&&" sequence "&&" sequence: 3-5 colours when Easy, 5-7 when
// Moderate, 7-9 when Difficult.
QString MakeColourSequence(Random &random, int difficulty);

// The answer check: both texts in ASCII upper case, compared exactly (no trimming, no
// numeric reading).
bool AnswerMatches(const QString &expected, const QString &typed);
// Letters a-z turned to A-Z; every other character kept.
QString AsciiUpperCase(const QString &text);

// Where the question and memory windows appear on the race's screen (RaceScreen):
// centred at its bottom, 20 pixels above its lower edge, and always wholly on it.
QPoint BottomCentre(const QRect &screen, const QSize &window);
