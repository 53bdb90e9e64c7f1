#include "QuestionRound.h"

#include "CharacterStage.h"
#include "Contestants.h"
#include "DataFiles.h"
#include "DexterityTest.h"
#include "Dialogs.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "MessageCodes.h"
#include "Phrases.h"
#include "PlaySettings.h"
#include "QuestionSources.h"
#include "RaceModel.h"
#include "records.h"
#include "Roster.h"
#include "Transport.h"
#include "Utilities.h"

#include <algorithm>

namespace {

constexpr int LocalPayloadLength = 100;

} // namespace

class QuestionRound::PendingReport
{
public:
    PendingReport(QuestionRound &round, quint64 &reporting)
        : round_(round), reporting_(reporting), question_(round.questionsShown)
    {
        reporting_ = question_;
        emit round_.questionReportChanged();
    }
    ~PendingReport()
    {
        if (reporting_ == question_)   // else a later question's report has taken it over
            reporting_ = 0;
        emit round_.questionReportChanged();
    }
    PendingReport(const PendingReport &) = delete;
    PendingReport &operator=(const PendingReport &) = delete;

private:
    QuestionRound &round_;
    quint64 &reporting_;
    quint64 question_;
};

bool QuestionRound::isRightAnswer(const QString &typed) const
{
    return AnswerMatches(answer_, typed)
           || (!scrambledLetters.isEmpty() && draws.words.isWordOfLetters(scrambledLetters, typed));
}

// The report on the question on show: own UIN, its answer and its number.
Msg::Report QuestionRound::ownReport() const
{
    return {QString::number(Records::Options.UserUin), answer_, currentNumber, {}};
}

class QuestionRound::AnswerDestination
{
public:
    virtual ~AnswerDestination() = default;
    // The address of the host that put the question; empty for one put here.
    virtual QString host() const = 0;
    // A delivery of the question: "AK" to the host that put it.
    virtual void acknowledge() const = 0;
    // The question is from the host that put the question on show (`onShow`'s).
    virtual bool fromHostOf(const AnswerDestination &onShow) const = 0;
    // The host puts the question shown last again: a report sent on it was lost, and is
    // sent again.
    virtual void resendReport() const = 0;
    // The right answer, or the skip, on the question on show.
    virtual Task<> takeRightAnswer(QuestionRound &round) = 0;
    virtual Task<> takeSkip(QuestionRound &round) = 0;
    // The race ended (a cancel, the finish): nothing more of its report is sent.
    virtual void endReports() {}
};

// A question put on this computer: its answer is scored straight into slot 0.
class QuestionRound::ScoredHere final : public AnswerDestination
{
public:
    QString host() const override { return QString(); }
    void acknowledge() const override {}
    bool fromHostOf(const AnswerDestination &) const override { return false; }
    void resendReport() const override {}
    Task<> takeRightAnswer(QuestionRound &round) override
    {
        ApplyRightAnswer(round.roster_, 0);
        co_return;
    }
    Task<> takeSkip(QuestionRound &round) override
    {
        ApplySkip(round.roster_, 0);
        co_return;
    }
};

// A question from the race host: its answer ("RB") or skip ("RK") is reported to that
// host, with resends.
class QuestionRound::ReportedToHost final : public AnswerDestination
{
public:
    ReportedToHost(QString host, Transport &transport) : host_(std::move(host)), transport_(transport) {}
    QString host() const override { return host_; }
    void acknowledge() const override { transport_.send(host_, Msg::Acknowledge{}); }
    bool fromHostOf(const AnswerDestination &onShow) const override { return onShow.host() == host_; }
    void resendReport() const override
    {
        if (lastReport)
            transport_.send(host_, *lastReport);
    }
    Task<> takeRightAnswer(QuestionRound &round) override
    {
        const PendingReport pending(round, round.answerReportFor);
        co_await sendReport(round, Msg::RightAnswer{round.ownReport()}, 15);
    }
    Task<> takeSkip(QuestionRound &round) override
    {
        const PendingReport pending(round, round.skipReportFor);
        co_await sendReport(round, Msg::Skipped{round.ownReport()}, 5);
    }
    void endReports() override
    {
        ended_ = true;
        lastReport.reset();
    }

private:
    // Sends a report ("RB" or "RK") to the host and repeats it every 500 ms, at most
    // `repeats` times, until the host acknowledges it or puts a new question (which it
    // does only once it has the report). The question's number rides as a trailing
    // field, so that the host counts the report once for that question.
    Task<> sendReport(QuestionRound &round, Message report, int repeats)
    {
        const quint64 question = round.questionsShown;
        lastReport = report;
        const AckWait acknowledged(transport_, host_);
        transport_.send(host_, report);
        for (int i = 0; i < repeats && !acknowledged.arrived(); ++i) {
            co_await Wait(500);
            if (acknowledged.arrived() || round.questionsShown != question || ended_)
                break;
            transport_.send(host_, report);
        }
    }

    QString host_;
    Transport &transport_;
    // The report on this question, sent again whenever the host puts the question again:
    // the host still waits for it. An acknowledgement does not prove that it arrived (an
    // "AK" does not say which message it answers, and may be a late or replayed one).
    std::optional<Message> lastReport;
    bool ended_ = false;   // its race ended: a host that has left gets no more resends
};

QuestionRound::QuestionRound(GameSession &session, Roster &roster, PlaySettings &settings, CharacterStage &stage,
                             Dialogs &dialogs, Dispatcher &dispatcher)
    : session_(session), roster_(roster), settings_(settings), stage_(stage), dialogs_(dialogs),
      dispatcher_(dispatcher), answerGoes_(std::make_shared<ScoredHere>())
{
}

QuestionRound::~QuestionRound() = default;

QString QuestionRound::sender() const
{
    return answerGoes_->host();
}

// Ends a running dexterity test and takes the Announcer out of the way.
void QuestionRound::endDexterityTest()
{
    roster_.model().dexterityCountdown = 0;
    stage_.move(0, 0, QStringLiteral("Announcer"), 0);
}

void QuestionRound::closeQuestion()
{
    questionOpen = false;
    emit questionClosed();
}

// The right answer scored here or reported to the host; the question closes unless
// another one was put on show while the report waited.
Task<> QuestionRound::takeRightAnswer()
{
    emit answerAccepted();
    dialogs_.beep(BeepKind::Default);
    endDexterityTest();
    const quint64 shown = questionsShown;
    const std::shared_ptr<AnswerDestination> destination = answerGoes_;   // while its report is resent
    co_await destination->takeRightAnswer(*this);
    if (questionsShown == shown)
        closeQuestion();
}

Task<> QuestionRound::takeSkip()
{
    const quint64 shown = questionsShown;
    endDexterityTest();
    const std::shared_ptr<AnswerDestination> destination = answerGoes_;   // while its report is resent
    co_await destination->takeSkip(*this);
    if (questionsShown != shown)
        co_return;   // a new question arrived while the skip was reported
    closeQuestion();
    dialogs_.beep(BeepKind::Default);
}

namespace {

bool validSlot(int slot)
{
    return slot >= 0 && slot < MaxContestants;
}

} // namespace

AnswerVerdict QuestionRound::submit(const QString &typed)
{
    if (!questionOpen || answerReportPending())
        return AnswerVerdict::Ignored;
    if (!isRightAnswer(typed)) {
        emit answerRejected();
        dialogs_.beep(BeepKind::Stop);
        return AnswerVerdict::Wrong;
    }
    Launch(takeRightAnswer());
    return AnswerVerdict::Right;
}

bool QuestionRound::skip()
{
    if (!questionOpen || skipReportPending())
        return false;
    Launch(takeSkip());
    return true;
}

bool QuestionRound::answerReportPending() const
{
    return answerReportFor != 0 && answerReportFor == questionsShown;
}

bool QuestionRound::skipReportPending() const
{
    return skipReportFor != 0 && skipReportFor == questionsShown;
}

void QuestionRound::withdraw()
{
    answerGoes_->endReports();
    if (roster_.model().dexterityCountdown > 0)
        endDexterityTest();
    closeQuestion();
}

namespace {

// The fields of an "RZ" read as a received one is: "RZ", no sender name, the fields.
Msg::Question questionOf(const QString &payload)
{
    return std::get<Msg::Question>(*Msg::parse(MessageCode::Question + QStringLiteral("&&") + payload));
}

} // namespace

void QuestionRound::showHere(const QString &payload)
{
    show(std::make_shared<ScoredHere>(), questionOf(payload));
}

void QuestionRound::showFromHost(const QString &host, const QString &payload)
{
    showFromHost(host, questionOf(payload));
}

void QuestionRound::showFromHost(const QString &host, const Msg::Question &question)
{
    show(std::make_shared<ReportedToHost>(host, dispatcher_.transport()), question);
}

void QuestionRound::show(std::shared_ptr<AnswerDestination> destination, const Msg::Question &question)
{
    destination->acknowledge();
    RaceModel &model = roster_.model();
    const QString key = destination->host() + payloadOf(question).mid(2);   // the fields without their first "&&"
    if (key == model.lastQuestionKey) {
        // The host puts again the question answered here: the report was lost.
        if (destination->fromHostOf(*answerGoes_))
            answerGoes_->resendReport();
        return;
    }
    // A host numbers its questions upwards: one numbered below the question shown last
    // from the same host is an old one replayed or delayed, and would replace the
    // question the host waits for.
    if (!model.lastQuestionKey.isEmpty() && destination->fromHostOf(*answerGoes_) && question.number
        && currentNumber && *question.number < *currentNumber)
        return;
    model.lastQuestionKey = key;
    ++questionsShown;
    questionOpen = true;
    // A report still resent for the last question no longer holds this one's buttons.
    emit questionReportChanged();
    const QString &code = question.kind;
    answer_ = question.answer;
    const QString text = AsciiUpperCase(question.text);
    currentNumber = question.number;
    answerGoes_ = std::move(destination);
    scrambledLetters = code == QuestionKind::WordScramble ? text : QString();

    const QString cr = QStringLiteral("\n");
    QString caption, prompt;
    if (code == QuestionKind::Addition) {
        caption = LookupPhrase(QStringLiteral("ql2"));
        prompt = LookupPhrase(QStringLiteral("qb1")) + cr + cr + text;
    } else if (code == QuestionKind::Subtraction) {
        caption = LookupPhrase(QStringLiteral("ql3"));
        prompt = LookupPhrase(QStringLiteral("qc1")) + cr + cr + text;
    } else if (code == QuestionKind::Multiplication) {
        caption = LookupPhrase(QStringLiteral("ql4"));
        prompt = LookupPhrase(QStringLiteral("qd1")) + cr + cr + text;
    } else if (code == QuestionKind::Dexterity) {
        caption = LookupPhrase(QStringLiteral("ql5"));
        prompt = LookupPhrase(QStringLiteral("qe1")) + cr + LookupPhrase(QStringLiteral("qe2"));
        model.dexterityCountdown = 2;
        model.dexterityJumps = 0;
    } else if (code != QuestionKind::Memory) {
        caption = LookupPhrase(QStringLiteral("ql1"));
        prompt = LookupPhrase(QStringLiteral("qa1")) + cr + LookupPhrase(QStringLiteral("qa2")) + cr + text;
    }
    if (code == QuestionKind::Memory)
        emit memoryTestShown(answer_);
    else
        emit questionShown(caption, prompt);
}

namespace {

// The round's question as it goes from contestant to contestant, slot by slot: a
// contestant's stored question replaces the one built for the round, for it and for the
// contestants after it.
class RoundQuestion final : public QuestionPut
{
public:
    explicit RoundQuestion(QString text) : working(std::move(text)) {}

    QString next(ContestantRecord &record) override
    {
        const Records::QuestionRecord stored = ReadQuestionRecord(record.QuestionNumber);
        if (!stored.Text.isEmpty())
            working = stored.Text;
        return working + QStringLiteral("&&") + QString::number(record.QuestionNumber++);
    }
    QString outstanding(const ContestantRecord &record) override
    {
        const int number = record.QuestionNumber - 1;
        const Records::QuestionRecord stored = ReadQuestionRecord(number);
        return stored.Text.isEmpty() ? QString() : stored.Text + QStringLiteral("&&") + QString::number(number);
    }
    void showHere(ContestantRecord &record) override { playerHere = &record; }

    // Once the remote contestants acknowledged theirs: the player here, if free to take
    // it, is shown the question.
    void showToPlayerHere(QuestionRound &round)
    {
        if (playerHere)
            round.showHere(next(*playerHere).mid(2, LocalPayloadLength));
    }

private:
    QString working;
    ContestantRecord *playerHere = nullptr;
};

} // namespace

Task<> QuestionRound::runRound()
{
    // The race this round belongs to: once it is cancelled or replaced, nothing more of
    // the round is sent or shown.
    const RaceHold race(session_.raceRun());
    RoundQuestion question(BuildQuestion(draws, settings_.gameType(), settings_.difficulty(), dialogs_));
    const Contestants contestants = dispatcher_.contestants(std::min(roster_.count(), MaxContestants));
    for (const std::unique_ptr<Contestant> &contestant : contestants)
        contestant->putQuestion(question);
    for (int pass = 0; pass < 15; ++pass) {
        const bool waiting = std::any_of(contestants.begin(), contestants.end(),
                                         [](const std::unique_ptr<Contestant> &contestant) {
                                             return contestant->awaitingAcknowledgement();
                                         });
        if (!waiting)
            break;
        co_await Wait(500);
        if (!race.goesOn())
            co_return;
        for (const std::unique_ptr<Contestant> &contestant : contestants)
            contestant->resendQuestion();
    }
    if (!race.goesOn())
        co_return;
    question.showToPlayerHere(*this);
}

void ApplyRightAnswer(Roster &roster, int slot)
{
    if (!validSlot(slot))
        return;
    roster.setSlotState(slot, SlotReady);
    ++roster.model().contestants[slot].Score;
}

void ApplySkip(Roster &roster, int slot)
{
    if (!validSlot(slot))
        return;
    roster.setSlotState(slot, SlotReady);
    ContestantRecord &record = roster.model().contestants[slot];
    record.Progress /= 2;
    record.LastX = 0;
    record.Score /= 2;
}

void QuestionRound::reset()
{
    roster_.model().lastQuestionKey.clear();
    draws.writeFailureReported = false;
}
