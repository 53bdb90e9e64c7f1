// The puzzle messages between a race host and its joiners: a joiner shows the host's
// questions ("RZ"); the host counts the joiners' reports of a right answer ("RB") or a
// skip ("RK"). And the click on the Announcer that answers a dexterity question.
#include "GameSession.h"
#include "QuestionRound.h"

#include "DexterityTest.h"
#include "GameMessages.h"
#include "RaceModel.h"

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
void takeScore(bool rightAnswer, const QString &senderAddress, const Msg::Report &report)
{
    Acknowledge(senderAddress);
    for (int slot = 0; slot < MaxContestants; ++slot) {
        const ContestantRecord &record = Model().contestants[slot];
        if (record.Address.isEmpty() || record.Address != senderAddress
            || !answersOutstandingQuestion(record, report))
            continue;
        if (rightAnswer)
            ApplyRightAnswer(slot);
        else
            ApplySkip(slot);
    }
}

} // namespace

void InstallQuestionHandlers()
{
    GameStage().onClick(&CharacterClicked);
    SetMessageHandler<Msg::Question>([](const QString &senderAddress, const Msg::Question &question) {
        if (GameSession::current().joinedRace())   // questions belong to the race the host started here
            ShowQuestion(senderAddress, question);
    });
    SetMessageHandler<Msg::RightAnswer>([](const QString &senderAddress, const Msg::RightAnswer &report) {
        takeScore(true, senderAddress, report);
    });
    SetMessageHandler<Msg::Skipped>([](const QString &senderAddress, const Msg::Skipped &report) {
        takeScore(false, senderAddress, report);
    });
}
