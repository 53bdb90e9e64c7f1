// The puzzle messages between a race host and its joiners: a joiner shows the host's
// questions ("RZ"); the host counts the joiners' reports of a right answer ("RB") or a
// skip ("RK"). And the click on the Announcer that answers a dexterity question.
#include "GameSession.h"
#include "QuestionRound.h"

#include "DexterityTest.h"
#include "GameMessages.h"
#include "MessageCodes.h"
#include "RaceModel.h"
#include "Stage.h"

#include <QStringList>

namespace {

// A report answers the question outstanding for its sender's slot (Confirmed is
// SlotQuestionOutstanding, number QuestionNumber - 1). Counting it frees the slot, so a
// resend is a repeat, and a late resend that arrives once the next question is out
// carries the old number. A report without a number (a copy that does not send one)
// counts while a question is outstanding.
bool answersOutstandingQuestion(const ContestantRecord &record, const QStringList &fields)
{
    if (record.Confirmed != SlotQuestionOutstanding)
        return false;
    return fields.size() < 3 || fields[2] == QString::number(record.QuestionNumber - 1);
}

// "RB" or "RK": payload UIN && answer [&& question number].
void takeScore(bool rightAnswer, const QString &senderAddress, const QString &payload)
{
    Acknowledge(senderAddress);
    const QStringList fields = payload.split(QStringLiteral("&&"));
    for (int slot = 0; slot < MaxContestants; ++slot) {
        const ContestantRecord &record = ContestantTable[slot];
        if (record.Address.isEmpty() || record.Address != senderAddress
            || !answersOutstandingQuestion(record, fields))
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
    SetCharacterClickHandler(&CharacterClicked);
    SetMessageHandler(MessageCode::Question, [](const QString &senderAddress, const QString &, const QString &payload) {
        if (GameSession::current().joinedRace())   // questions belong to the race the host started here
            ShowQuestion(senderAddress, payload);
    });
    SetMessageHandler(MessageCode::RightAnswer, [](const QString &senderAddress, const QString &, const QString &payload) {
        takeScore(true, senderAddress, payload);
    });
    SetMessageHandler(MessageCode::Skipped, [](const QString &senderAddress, const QString &, const QString &payload) {
        takeScore(false, senderAddress, payload);
    });
}
