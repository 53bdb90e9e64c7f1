#include "QuestionSources.h"

#include "DataFiles.h"
#include "Dialogs.h"
#include "PlaySettings.h"
#include "Utilities.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>


namespace {

struct Operands {
    int a;
    int b;
};

// Addition and subtraction: Easy 0-9 and 0-9, Moderate 0-99 and 0-99, Difficult 0-99
// and 0-999. Multiplication: Easy 0-9 and 0-9, Moderate 0-9 and 0-99, Difficult 0-99
// and 0-99.
Operands drawOperands(Random &random, int difficulty, bool multiplication)
{
    static const int sums[3][2] = {{10, 10}, {100, 100}, {100, 1000}};
    static const int products[3][2] = {{10, 10}, {10, 100}, {100, 100}};
    const int level = (difficulty == Easy || difficulty == Difficult) ? difficulty : Moderate;
    const int(&limits)[2] = multiplication ? products[level] : sums[level];
    const int a = random.below(limits[0]);
    const int b = random.below(limits[1]);
    return {a, b};
}

QString question(const QString &kind, qint64 answer, const QString &text)
{
    return QStringLiteral("&&%1&&%2&&%3").arg(kind).arg(answer).arg(text);
}

// A kind drawn below n that differs from the last one drawn, which it becomes.
int drawKind(QuestionDraws &draws, int n)
{
    int kind;
    do
        kind = draws.random.below(n);
    while (kind == draws.lastKind);
    draws.lastKind = kind;
    return kind;
}

QString makeKind(QuestionDraws &draws, int kind, int difficulty)
{
    switch (kind) {
    case 0: return MakeAddition(draws.random, difficulty);
    case 1: return MakeSubtraction(draws.random, difficulty);
    case 2: return MakeMultiplication(draws.random, difficulty);
    case 3: return MakeWordScramble(draws.words, draws.random, difficulty);
    case 4: return MakeDexterityQuestion();
    default: return MakeColourSequence(draws.random, difficulty);
    }
}

// The code of a question text: the field after its leading "&&".
QString codeOf(const QString &text)
{
    return text.mid(2, 2);
}

QString sortedLetters(QString text)
{
    std::sort(text.begin(), text.end());
    return text;
}

// How many different texts the characters of text can be arranged into (saturated).
quint64 arrangements(const QString &text)
{
    if (text.size() > 20)
        return std::numeric_limits<quint64>::max();
    quint64 result = 1;
    QHash<QChar, int> seen;
    for (qsizetype i = 0; i < text.size(); ++i)
        result = result * quint64(i + 1) / quint64(++seen[text.at(i)]);
    return result;
}

} // namespace

QString BuildQuestion(QuestionDraws &draws, int gameType, int difficulty, Dialogs &dialogs)
{
    QString text;
    switch (gameType) {
    case MixedProblemsType: text = makeKind(draws, drawKind(draws, 6), difficulty); break;
    case WordScrambleType: text = MakeWordScramble(draws.words, draws.random, difficulty); break;
    case SimpleMathType: text = makeKind(draws, drawKind(draws, 3), difficulty); break;
    case DexterityTestType: text = MakeDexterityQuestion(); break;
    case MemoryTestType: text = MakeColourSequence(draws.random, difficulty); break;
    default: return QString();
    }
    if (!AppendQuestionRecord(codeOf(text), text) && !draws.writeFailureReported) {
        // Reported once a race; the round goes on with the question it has built.
        draws.writeFailureReported = true;
        dialogs.beep(BeepKind::Error);
        dialogs.show(BoxKind::Error, QStringLiteral("The question file could not be written:\r")
                                           + NativePath(QuestionFilePath()));
    }
    return text;
}

QString MakeAddition(Random &random, int difficulty)
{
    const Operands o = drawOperands(random, difficulty, false);
    return question(QuestionKind::Addition, o.a + o.b, QStringLiteral("%1 + %2").arg(o.a).arg(o.b));
}

QString MakeSubtraction(Random &random, int difficulty)
{
    const Operands o = drawOperands(random, difficulty, false);
    const int larger = o.b < o.a ? o.a : o.b;
    const int smaller = o.b < o.a ? o.b : o.a;
    return question(QuestionKind::Subtraction, larger - smaller, QStringLiteral("%1 - %2").arg(larger).arg(smaller));
}

QString MakeMultiplication(Random &random, int difficulty)
{
    const Operands o = drawOperands(random, difficulty, true);
    return question(QuestionKind::Multiplication, qint64(o.a) * o.b, QStringLiteral("%1 X %2").arg(o.a).arg(o.b));
}

QString MakeDexterityQuestion()
{
    return QStringLiteral("&&") + QuestionKind::Dexterity + QStringLiteral("&&dexteritytest&&test");
}

QString MakeWordScramble(const WordList &words, Random &random, int difficulty)
{
    return QStringLiteral("&&") + QuestionKind::WordScramble + QStringLiteral("&&") + words.pick(random, difficulty);
}

QStringList WordListWords(const QString &path)
{
    QStringList words;
    QFile file;
    if (!FileExists(path) || !OpenTextFile(path, QStringLiteral("R"), file))
        return words;
    while (!file.atEnd()) {
        const QString line = ReadTextLine(file);
        qsizetype from = 0;
        for (qsizetype blank = line.indexOf(u' '); blank >= 0; blank = line.indexOf(u' ', from)) {
            words << line.mid(from, blank - from);
            from = blank + 1;
        }
    }
    return words;
}

// A uniformly random arrangement of the word's letters that is not a word of the list
// (the word itself is one), so that typing any listed word of these letters is right.
// At most 7! arrangements for the longest words put.
QString WordList::scrambleOutsideList(Random &random, const QString &word) const
{
    QString letters = sortedLetters(word);
    QString chosen;
    int count = 0;
    do {
        if (!index.known.contains(AsciiUpperCase(letters)) && random.below(++count) == 0)
            chosen = letters;
    } while (std::next_permutation(letters.begin(), letters.end()));
    return chosen;
}

const WordList::Index &WordList::current() const
{
    const QString path = ProgramFolder() + GameFile::WordList;
    const QFileInfo file(path);
    const qint64 size = file.exists() ? file.size() : -1;
    if (index.path == path && index.size == size && index.modified == file.lastModified())
        return index;
    index = Index{path, size, file.lastModified(), {}, {}};
    const QStringList words = WordListWords(path);
    for (const QString &word : words)
        index.known << AsciiUpperCase(word);
    QHash<QString, int> anagrams;   // sorted letters -> how many different listed words
    for (const QString &word : std::as_const(index.known))
        ++anagrams[sortedLetters(word)];
    for (const QString &word : words) {
        const QString upper = AsciiUpperCase(word);
        if (arrangements(upper) > quint64(anagrams.value(sortedLetters(upper))))
            index.scramblable << word;
    }
    return index;
}

QString WordList::pick(Random &random, int difficulty) const
{
    static const int ranges[3][2] = {{3, 4}, {4, 6}, {4, 7}};
    const int level = (difficulty == Easy || difficulty == Difficult) ? difficulty : Moderate;
    const int shortest = ranges[level][0], longest = ranges[level][1];
    QStringList inRange;
    for (const QString &word : current().scramblable) {
        if (word.size() >= shortest && word.size() <= longest)
            inRange << word;
    }
    if (inRange.isEmpty())
        return QStringLiteral("&&");
    const QString word = inRange.at(random.below(int(inRange.size())));
    return word + QStringLiteral("&&") + scrambleOutsideList(random, word);
}

bool WordList::isWordOfLetters(const QString &letters, const QString &typed) const
{
    const QString word = AsciiUpperCase(typed);
    return !word.isEmpty() && sortedLetters(word) == sortedLetters(AsciiUpperCase(letters))
           && current().known.contains(word);
}

QString ScrambleText(Random &random, const QString &text)
{
    QString result;
    QString remaining = text;
    while (remaining.size() > 1) {
        const int p = random.below(int(remaining.size()));
        result += remaining.at(p);
        // What follows the removed character is kept up to 100 characters.
        remaining = remaining.left(p) + remaining.mid(p + 1, 100);
    }
    return result + remaining;
}

QString QuestionFilePath()
{
    return ProgramFolder() + GameFile::Questions;
}

bool AppendQuestionRecord(const QString &code, const QString &text)
{
    const QByteArray record = Records::QuestionRecord{code.left(2), text.left(255)}.encode();
    const QString path = QuestionFilePath();
    QFile file;
    const bool exists = FileExists(path);
    if (!OpenDataFile(path, exists ? QStringLiteral("R") : QStringLiteral("W"), file, 1))
        return false;
    if (!file.seek(file.size()))
        return false;
    const qint64 written = file.write(record);
    if (written != record.size() && written > 0)
        file.resize(file.size() - written);   // no partial record is left behind
    return written == record.size() && file.flush();
}

Records::QuestionRecord ReadQuestionRecord(int n)
{
    Records::QuestionRecord result;
    QFile file;
    const QString path = QuestionFilePath();
    if (n < 1 || !FileExists(path) || !OpenDataFile(path, QStringLiteral("R"), file, 1))
        return result;
    for (int read = 0; read < n; ++read) {
        const QByteArray bytes = file.read(Records::QuestionRecord::Size);
        if (bytes.size() < Records::QuestionRecord::Size)
            break;
        result = Records::QuestionRecord::decode(bytes);
    }
    return result;
}

const QString PaletteLetters = QStringLiteral("bgyrpkwlac");

QString RandomColours(Random &random, int n)
{
    return ScrambleText(random, PaletteLetters + PaletteLetters).left(n);
}

QString MakeColourSequence(Random &random, int difficulty)
{
    const int base = difficulty == Easy ? 3 : difficulty == Difficult ? 7 : 5;
    const QString sequence = RandomColours(random, random.below(3) + base);
    return QStringLiteral("&&") + QuestionKind::Memory + QStringLiteral("&&") + sequence + QStringLiteral("&&") + sequence;
}

QString AsciiUpperCase(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    }
    return result;
}

bool AnswerMatches(const QString &expected, const QString &typed)
{
    return AsciiUpperCase(expected) == AsciiUpperCase(typed);
}

QPoint BottomCentre(const QRect &screen, const QSize &window)
{
    int left = screen.left() + screen.width() / 2 - window.width() / 2;
    int top = screen.top() + screen.height() - window.height() - 20;
    left = std::max(screen.left(), std::min(left, screen.right() + 1 - window.width()));
    top = std::max(screen.top(), std::min(top, screen.bottom() + 1 - window.height()));
    return QPoint(left, top);
}
