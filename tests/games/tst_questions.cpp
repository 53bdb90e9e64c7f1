// The question sources: arithmetic ranges and order per difficulty, the kinds drawn for
// "Simple Math" and "Mixed Problems", the word list rules and the scramble, the colour
// sequences, the question file's record layout, the answer and skip arithmetic, and a
// question on show answered with no window.
#include "GameMessages.h"
#include "GameSession.h"
#include "QuestionSources.h"
#include "GameParts.h"
#include "QuestionRound.h"
#include "RaceModel.h"
#include "Roster.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The boxes the game shows, as texts.
struct RecordedDialogs : NoDialogs {
    QStringList shown;
    void show(BoxKind kind, const QString &text, std::function<void()> closed) override
    {
        shown << text;
        NoDialogs::show(kind, text, std::move(closed));
    }
};

namespace {

struct Parsed {
    QString code, answer, text;
};

Parsed parse(QString question)
{
    Parsed p;
    if (!question.startsWith(QLatin1String("&&")))
        return p;
    question.remove(0, 2);
    const QStringList fields = question.split(QStringLiteral("&&"));
    if (fields.size() != 3)
        return p;
    return {fields[0], fields[1], fields[2]};
}

} // namespace

class TestQuestions : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    RecordedDialogs dialogs;
    QStringList &boxes = dialogs.shown;
    GameParts game;
    // The question on show, as a race would own it.
    QuestionRound questions{game.session, game.roster, game.settings, game.stage, game.dialogs, game.dispatcher};
    WordList words;            // the word scrambles' list, as the question round's draws own it
    Random random{5};          // the same draws on every run

    QString path(const QString &name) const { return folder.filePath(name); }
    void writeWordList(const QByteArray &bytes)
    {
        QFile file(path("wlist.lst"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private slots:
    void initTestCase()
    {
        qputenv("HOLLYFROST_PROGRAM_FOLDER", folder.path().toLocal8Bit());
        game.dialogs.use(&dialogs);
    }
    void init()
    {
        QFile::remove(path("questions.fil"));
        QDir(path("questions.fil")).removeRecursively();
        boxes.clear();
    }

    void firstSimpleMathIsNeverAnAdditionAndKindsNeverRepeat()
    {
        writeWordList("moon cat dog bird fish \r\n");
        QuestionDraws draws;
        QVERIFY(parse(BuildQuestion(draws, 3, Easy, game.dialogs)).code != QLatin1String("MA"));
        for (int gameType : {3, 1}) {
            QString previous;
            QSet<QString> codes;
            for (int i = 0; i < 400; ++i) {
                const QString code = parse(BuildQuestion(draws, gameType, Moderate, game.dialogs)).code;
                QVERIFY2(code != previous, qPrintable(code));
                previous = code;
                codes << code;
            }
            if (gameType == 3)
                QCOMPARE(codes, (QSet<QString>{"MA", "MS", "MM"}));
            else
                QCOMPARE(codes, (QSet<QString>{"MA", "MS", "MM", "WS", "DX", "MT"}));
        }
        // The fixed kinds, and nothing at all for a random race.
        QCOMPARE(parse(BuildQuestion(draws, 2, Easy, game.dialogs)).code, QStringLiteral("WS"));
        QCOMPARE(BuildQuestion(draws, 4, Easy, game.dialogs), QStringLiteral("&&DX&&dexteritytest&&test"));
        QCOMPARE(parse(BuildQuestion(draws, 5, Easy, game.dialogs)).code, QStringLiteral("MT"));
        const qint64 size = QFileInfo(path("questions.fil")).size();
        QVERIFY(BuildQuestion(draws, 0, Easy, game.dialogs).isEmpty());
        QCOMPARE(QFileInfo(path("questions.fil")).size(), size);
    }

    void arithmeticRangesAndOrder_data()
    {
        QTest::addColumn<int>("difficulty");
        QTest::addColumn<int>("sumA");
        QTest::addColumn<int>("sumB");
        QTest::addColumn<int>("productA");
        QTest::addColumn<int>("productB");
        QTest::newRow("Easy") << int(Easy) << 10 << 10 << 10 << 10;
        QTest::newRow("Moderate") << int(Moderate) << 100 << 100 << 10 << 100;
        QTest::newRow("Difficult") << int(Difficult) << 100 << 1000 << 100 << 100;
    }
    void arithmeticRangesAndOrder()
    {
        QFETCH(int, difficulty);
        QFETCH(int, sumA);
        QFETCH(int, sumB);
        QFETCH(int, productA);
        QFETCH(int, productB);
        static const QRegularExpression shape("^(\\d+) ([-+X]) (\\d+)$");
        static const QRegularExpression plain("^(0|[1-9]\\d*)$");
        int maxA[3] = {}, maxB[3] = {};
        bool zeroDifference = false;
        for (int i = 0; i < 3000; ++i) {
            const Parsed sum = parse(MakeAddition(random, difficulty));
            const Parsed difference = parse(MakeSubtraction(random, difficulty));
            const Parsed product = parse(MakeMultiplication(random, difficulty));
            QCOMPARE(sum.code, QStringLiteral("MA"));
            QCOMPARE(difference.code, QStringLiteral("MS"));
            QCOMPARE(product.code, QStringLiteral("MM"));
            const Parsed all[3] = {sum, difference, product};
            for (int k = 0; k < 3; ++k) {
                const auto m = shape.match(all[k].text);
                QVERIFY2(m.hasMatch(), qPrintable(all[k].text));
                QVERIFY2(plain.match(all[k].answer).hasMatch(), qPrintable(all[k].answer));
                const int a = m.captured(1).toInt(), b = m.captured(3).toInt();
                const int answer = all[k].answer.toInt();
                QCOMPARE(m.captured(2), QString(k == 0 ? "+" : k == 1 ? "-" : "X"));
                QCOMPARE(answer, k == 0 ? a + b : k == 1 ? a - b : a * b);
                maxA[k] = std::max(maxA[k], a);
                maxB[k] = std::max(maxB[k], b);
            }
            // The larger operand comes first; the difference is never negative.
            const auto d = shape.match(difference.text);
            QVERIFY(d.captured(1).toInt() >= d.captured(3).toInt());
            zeroDifference = zeroDifference || difference.answer == QLatin1String("0");
        }
        QVERIFY(zeroDifference || difficulty != Easy);
        // Operands come near the top of their range and never pass it.
        auto nearTop = [](int seen, int limit) { return seen < limit && seen >= limit - limit / 100 - 1; };
        QVERIFY(nearTop(maxA[0], sumA));
        QVERIFY(nearTop(maxB[0], sumB));
        QVERIFY(nearTop(maxA[2], productA));
        QVERIFY(nearTop(maxB[2], productB));
        QVERIFY(nearTop(maxA[1], std::max(sumA, sumB)));
    }

    void wordListFormatRules()
    {
        // "fish" and "frog" have no blank after them; two blanks make an empty word.
        writeWordList("cat dog  bird fish\r\nowl frog\r\n\r\nantelope \r\n");
        QCOMPARE(WordListWords(path("wlist.lst")),
                 (QStringList{"cat", "dog", "", "bird", "owl", "antelope"}));
        // Easy takes 3 to 4 letters, Moderate 4 to 6, Difficult 4 to 7.
        QSet<QString> easy, moderate;
        for (int i = 0; i < 300; ++i) {
            easy << words.pick(random, Easy).section(QStringLiteral("&&"), 0, 0);
            moderate << words.pick(random, Moderate).section(QStringLiteral("&&"), 0, 0);
        }
        QCOMPARE(easy, (QSet<QString>{"cat", "dog", "bird", "owl"}));
        QCOMPARE(moderate, (QSet<QString>{"bird"}));
        // Only words at line ends without their blank are of the right length: none.
        writeWordList("ox ab antelopes fish\r\n");
        QCOMPARE(words.pick(random, Easy), QStringLiteral("&&"));
        QCOMPARE(MakeWordScramble(words, random, Easy), QStringLiteral("&&WS&&&&"));
        QFile::remove(path("wlist.lst"));
        QCOMPARE(words.pick(random, Difficult), QStringLiteral("&&"));
    }

    void wordsAreDrawnUniformlyAndScrambled()
    {
        // "moon" is listed twice, so it is drawn twice as often as "star". "aaa" has no
        // arrangement that is not itself a listed word: it is never drawn.
        writeWordList("moon star \r\nmoon aaa x \r\n");
        QMap<QString, int> drawn;
        for (int i = 0; i < 4000; ++i) {
            const QString pair = words.pick(random, Easy);
            const QString word = pair.section(QStringLiteral("&&"), 0, 0);
            const QString scrambled = pair.section(QStringLiteral("&&"), 1, 1);
            ++drawn[word];
            QString a = word, b = scrambled;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            QCOMPARE(a, b);
            // Always shown in another order.
            QVERIFY2(scrambled != word, qPrintable(pair));
        }
        QCOMPARE(drawn.keys(), (QStringList{"moon", "star"}));
        QVERIFY2(drawn["moon"] > 2480 && drawn["moon"] < 2850, qPrintable(QString::number(drawn["moon"])));
        QVERIFY2(drawn["star"] > 1150 && drawn["star"] < 1520, qPrintable(QString::number(drawn["star"])));
    }

    void scrambleIsNeverAListedWord()
    {
        // Anagrams: no scramble shown is a word of the list, in any letter case.
        writeWordList("arts rats Star tsar add dad \r\n");
        QSet<QString> listed{"ARTS", "RATS", "STAR", "TSAR", "ADD", "DAD"};
        QSet<QString> shown;
        for (int i = 0; i < 3000; ++i) {
            const QString scrambled = words.pick(random, Easy).section(QStringLiteral("&&"), 1, 1);
            QVERIFY2(!listed.contains(scrambled.toUpper()), qPrintable(scrambled));
            shown << scrambled.toLower();
        }
        // Every other arrangement of the letters does come up: "add" and "dad" leave "dda".
        QVERIFY(shown.contains(QStringLiteral("dda")));
        QCOMPARE(shown.size(), 1 + (24 - 4));
        // A list whose only word of the length cannot be scrambled gives no word.
        writeWordList("aaa ab ba \r\n");
        QCOMPARE(words.pick(random, Easy), QStringLiteral("&&"));
        // The list is read again when it changes.
        writeWordList("moon \r\n");
        QCOMPARE(words.pick(random, Easy).section(QStringLiteral("&&"), 0, 0), QStringLiteral("moon"));
    }

    void everyListedWordOfTheLettersIsRight()
    {
        writeWordList("act cat arts rats star Tsar \r\n");
        QVERIFY(words.isWordOfLetters("tca", "act"));
        QVERIFY(words.isWordOfLetters("TCA", "Cat"));
        QVERIFY(words.isWordOfLetters("rast", "tsar"));
        QVERIFY(words.isWordOfLetters("rast", "STAR"));
        QVERIFY(!words.isWordOfLetters("rast", "tars"));    // not listed
        QVERIFY(!words.isWordOfLetters("rast", "star "));   // a blank more
        QVERIFY(!words.isWordOfLetters("rast", "rat"));     // a letter less
        QVERIFY(!words.isWordOfLetters("rasts", "star"));   // a letter more
        QVERIFY(!words.isWordOfLetters("tca", "arts"));     // listed, other letters
        writeWordList("act cat  arts \r\n");   // two blanks: an empty word
        QVERIFY(!words.isWordOfLetters("", ""));
        QVERIFY(words.isWordOfLetters("tca", "act"));
        QFile::remove(path("wlist.lst"));
        QVERIFY(!words.isWordOfLetters("tca", "act"));
    }

    void scrambleIsAUniformPermutation()
    {
        QCOMPARE(ScrambleText(random, QString()), QString());
        QCOMPARE(ScrambleText(random, QStringLiteral("q")), QStringLiteral("q"));
        QMap<QString, int> seen;
        for (int i = 0; i < 24000; ++i)
            ++seen[ScrambleText(random, QStringLiteral("abcd"))];
        QCOMPARE(seen.size(), 24);
        for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
            QString sorted = it.key();
            std::sort(sorted.begin(), sorted.end());
            QCOMPARE(sorted, QStringLiteral("abcd"));
            QVERIFY2(it.value() > 800 && it.value() < 1200, qPrintable(it.key()));
        }
        // The colour alphabet: every letter twice.
        const QString twenty = ScrambleText(random, PaletteLetters + PaletteLetters);
        for (QChar letter : PaletteLetters)
            QCOMPARE(twenty.count(letter), 2);
    }

    void colourSequences()
    {
        const int lowest[3] = {3, 5, 7};
        for (int difficulty = 0; difficulty < 3; ++difficulty) {
            QSet<int> lengths;
            for (int i = 0; i < 300; ++i) {
                const Parsed q = parse(MakeColourSequence(random, difficulty));
                QCOMPARE(q.code, QStringLiteral("MT"));
                QCOMPARE(q.text, q.answer);
                lengths << int(q.answer.size());
                for (QChar letter : q.answer) {
                    QVERIFY(PaletteLetters.contains(letter));
                    QVERIFY(q.answer.count(letter) <= 2);
                }
            }
            QCOMPARE(lengths, (QSet<int>{lowest[difficulty], lowest[difficulty] + 1, lowest[difficulty] + 2}));
        }
    }

    void questionFileRecords()
    {
        QCOMPARE(ReadQuestionRecord(1).Text, QString());   // no file yet
        QVERIFY(AppendQuestionRecord("MA", "&&MA&&5&&2 + 3"));
        QVERIFY(AppendQuestionRecord("WSX", "&&WS&&" + QString(300, u'w')));
        QVERIFY(AppendQuestionRecord("DX", "&&DX&&dexteritytest&&test"));
        QFile file(path("questions.fil"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        QCOMPARE(bytes.size(), 777);
        QCOMPARE(bytes.left(4), QByteArray("\x02MA\x0e", 4));
        QCOMPARE(bytes.mid(4, 14), QByteArray("&&MA&&5&&2 + 3"));
        QCOMPARE(quint8(bytes[259]), quint8(2));   // the code is cut to 2 characters
        QCOMPARE(bytes.mid(260, 2), QByteArray("WS"));
        QCOMPARE(quint8(bytes[262]), quint8(255));   // the text to 255
        QCOMPARE(ReadQuestionRecord(2).Code, QStringLiteral("WS"));
        QCOMPARE(ReadQuestionRecord(2).Text.size(), 255);
        QCOMPARE(ReadQuestionRecord(1).Text, QStringLiteral("&&MA&&5&&2 + 3"));
        QCOMPARE(ReadQuestionRecord(0).Text, QString());
        QCOMPARE(ReadQuestionRecord(0).Code, QString());
        QCOMPARE(ReadQuestionRecord(9).Code, QStringLiteral("DX"));   // beyond the end: the last
        // A torn record at the end is not read.
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(100, '\x05'));
        file.close();
        QCOMPARE(ReadQuestionRecord(4).Code, QStringLiteral("DX"));
    }

    void unwritableQuestionFileIsReportedOnce()
    {
        QVERIFY(QDir(folder.path()).mkdir("questions.fil"));   // a folder in its place
        QuestionDraws draws;
        QVERIFY(!AppendQuestionRecord("MA", "&&MA&&1&&0 + 1"));
        QCOMPARE(parse(BuildQuestion(draws, 4, Easy, game.dialogs)).code, QStringLiteral("DX"));
        QCOMPARE(parse(BuildQuestion(draws, 4, Easy, game.dialogs)).code, QStringLiteral("DX"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0].contains("questions.fil"));
        QVERIFY(QFileInfo(path("questions.fil")).isDir());
        QCOMPARE(ReadQuestionRecord(1).Text, QString());
    }

    void answerComparison()
    {
        QVERIFY(AnswerMatches("moon", "MOON"));
        QVERIFY(AnswerMatches("dexteritytest", "DexterityTest"));
        QVERIFY(AnswerMatches("", ""));
        QVERIFY(!AnswerMatches("12", "012"));
        QVERIFY(!AnswerMatches("12", " 12"));
        QVERIFY(!AnswerMatches("moon", "moon "));
        QVERIFY(!AnswerMatches("12", "12.0"));
        // Only ASCII letters are folded.
        QVERIFY(!AnswerMatches(QStringLiteral("\u00e4"), QStringLiteral("\u00c4")));
        QCOMPARE(AsciiUpperCase(QStringLiteral("a-z \u00e9")), QStringLiteral("A-Z \u00e9"));
    }

    void skipAndRightAnswerArithmetic()
    {
        game.roster.reset();
        game.model.contestants[2].Progress = 7;
        game.model.contestants[2].Score = 3;
        game.model.contestants[2].LastX = 400;
        game.model.contestants[2].Confirmed = SlotQuestionOutstanding;
        ApplySkip(game.roster, 2);
        QCOMPARE(game.model.contestants[2].Progress, 3);
        QCOMPARE(game.model.contestants[2].Score, 1);
        QCOMPARE(game.model.contestants[2].LastX, 0);
        QCOMPARE(int(game.model.contestants[2].Confirmed), 1);
        ApplySkip(game.roster, 2);
        ApplySkip(game.roster, 2);
        QCOMPARE(game.model.contestants[2].Progress, 0);
        QCOMPARE(game.model.contestants[2].Score, 0);
        game.model.contestants[1].Confirmed = SlotQuestionOutstanding;
        ApplyRightAnswer(game.roster, 1);
        ApplyRightAnswer(game.roster, 1);
        QCOMPARE(game.model.contestants[1].Score, 2);
        QCOMPARE(int(game.model.contestants[1].Confirmed), 1);
        // No such slot: no slot changes.
        for (int slot = 0; slot < MaxContestants; ++slot) {
            game.model.contestants[slot].Progress = 10 + slot;
            game.model.contestants[slot].Score = 20 + slot;
            game.model.contestants[slot].LastX = 30 + slot;
            game.model.contestants[slot].Confirmed = SlotQuestionOutstanding;
        }
        for (int slot : {-1, 6, 7, 1000}) {
            ApplyRightAnswer(game.roster, slot);
            ApplySkip(game.roster, slot);
        }
        for (int slot = 0; slot < MaxContestants; ++slot) {
            QCOMPARE(game.model.contestants[slot].Progress, 10 + slot);
            QCOMPARE(game.model.contestants[slot].Score, 20 + slot);
            QCOMPARE(game.model.contestants[slot].LastX, 30 + slot);
            QCOMPARE(int(game.model.contestants[slot].Confirmed), 2);
        }
    }

    // The question on show needs no window: the question round announces it, and the functions
    // the windows call answer, reject and skip it.
    void questionOnShowNeedsNoWindow()
    {
        game.roster.reset();
        questions.reset();
        QSignalSpy shown(&questions, &QuestionRound::questionShown);
        QSignalSpy memory(&questions, &QuestionRound::memoryTestShown);
        QSignalSpy rejected(&questions, &QuestionRound::answerRejected);
        QSignalSpy closed(&questions, &QuestionRound::questionClosed);
        questions.showHere(QStringLiteral("MS&&5&&8 - 3&&1"));
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0][1].toString().endsWith(QLatin1String("8 - 3")));
        QCOMPARE(questions.submit(QStringLiteral("4")), AnswerVerdict::Wrong);
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(closed.size(), 0);
        QCOMPARE(questions.submit(QStringLiteral("5")), AnswerVerdict::Right);
        QCOMPARE(game.model.contestants[0].Score, 1);
        QCOMPARE(closed.size(), 1);
        // Closed: a second press, or a skip, finds nothing to answer.
        QCOMPARE(questions.submit(QStringLiteral("5")), AnswerVerdict::Ignored);
        questions.skip();
        QCOMPARE(game.model.contestants[0].Score, 1);
        QCOMPARE(closed.size(), 1);
        // A memory question goes to the memory test; once withdrawn it takes no answer.
        questions.showHere(QStringLiteral("MT&&rgb&&rgb&&2"));
        QCOMPARE(memory.size(), 1);
        QCOMPARE(memory[0][0].toString(), QStringLiteral("rgb"));
        QCOMPARE(shown.size(), 1);
        questions.withdraw();
        QCOMPARE(closed.size(), 2);
        QCOMPARE(questions.submit(QStringLiteral("rgb")), AnswerVerdict::Ignored);
        QCOMPARE(game.model.contestants[0].Score, 1);
        // The host's "RZ" to a joined copy takes the same way, through its handler.
        questions.installMessageHandlers();
        game.settings.setPlayMode(JoinGame);
        game.session.setHostAddress(QStringLiteral("127.0.0.9"));
        game.session.setJoinedRace(true);
        game.dispatcher.dispatch(QStringLiteral("127.0.0.9"), QStringLiteral("RZHost&&MA&&7&&3 + 4&&5"));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(questions.sender(), QStringLiteral("127.0.0.9"));
        questions.withdraw();
        game.dispatcher.clearHandlers();
        game.session.setJoinedRace(false);
        game.settings.setPlayMode(NoPlayMode);
    }

    void placementStaysOnTheScreen()
    {
        QCOMPARE(BottomCentre(QRect(0, 0, 1280, 1024), QSize(572, 88)), QPoint(354, 916));
        // A second screen to the right.
        QCOMPARE(BottomCentre(QRect(1280, 0, 800, 600), QSize(580, 115)), QPoint(1390, 465));
        // A window larger than the screen keeps its top-left corner on it.
        QCOMPARE(BottomCentre(QRect(0, 0, 400, 60), QSize(572, 88)), QPoint(0, 0));
    }
};

QTEST_GUILESS_MAIN(TestQuestions)
#include "tst_questions.moc"
