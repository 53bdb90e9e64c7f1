// The puzzle messages between a race host and its joiners: a joiner shows the host's
// questions ("RZ"); the host counts the joiners' reports of a right answer ("RB") or a
// skip ("RK"). And the click on the Announcer that answers a dexterity question.
#include "QuestionRound.h"

#include "CharacterStage.h"
#include "Contestants.h"
#include "GameSession.h"
#include "DexterityTest.h"
#include "GameMessages.h"
#include "RaceModel.h"
#include "Roster.h"

namespace {

// A report answers the question outstanding for its sender's slot (Confirmed is
// SlotQuestionOutstanding, number QuestionNumber - 1). Counting it frees the slot, so a
// resend is a repeat, and a late resend that arrives once the next question is out
// carries the old number. A report without a number (a copy that does not send one)
// counts while a question is outstanding.
bool answersOutstandingQuestion(const ContestantRecord &record, const Msg::Report &report)
{
    if (record.Confirmed != SlotQuestionOutstanding)
        return false;
    return !report.number || *report.number == record.QuestionNumber - 1;
}

// "RB" or "RK".
void takeScore(Dispatcher &dispatcher, Roster &roster, bool rightAnswer, const QString &senderAddress,
               const Msg::Report &report)
{
    dispatcher.acknowledge(senderAddress);
    for (const std::unique_ptr<Contestant> &contestant : dispatcher.contestants(MaxContestants)) {
        if (!contestant->isAt(senderAddress) || !answersOutstandingQuestion(contestant->record(), report))
            continue;
        if (rightAnswer)
            ApplyRightAnswer(roster, contestant->slot());
        else
            ApplySkip(roster, contestant->slot());
    }
}

} // namespace

void QuestionRound::characterClicked(const QString &identity)
{
    // A click on the Announcer during the dexterity test answers its question. The test
    // ends once the answer is taken (a right answer ends it); a click that is not taken
    // leaves it running.
    if (identity != QLatin1String("Announcer") || roster_.model().dexterityCountdown <= 0)
        return;
    submit(QStringLiteral("dexteritytest"));
}

void QuestionRound::installMessageHandlers()
{
    stage_.onClick([this](const QString &identity, int, int, int, int) { characterClicked(identity); });
    dispatcher_.setHandler<Msg::Question>([this](const QString &senderAddress, const Msg::Question &question) {
        if (session_.joinedRace())   // questions belong to the race the host started here
            showFromHost(senderAddress, question);
    });
    dispatcher_.setHandler<Msg::RightAnswer>([this](const QString &senderAddress, const Msg::RightAnswer &report) {
        takeScore(dispatcher_, roster_, true, senderAddress, report);
    });
    dispatcher_.setHandler<Msg::Skipped>([this](const QString &senderAddress, const Msg::Skipped &report) {
        takeScore(dispatcher_, roster_, false, senderAddress, report);
    });
}
