#include "Contestants.h"

#include "MessageCodes.h"
#include "Roster.h"
#include "Transport.h"

#include <algorithm>

namespace {

// The resends of a question carry its first 150 characters.
constexpr int ResendCopyLength = 150;

// A contestant run on this computer: the player here (slot 0), or a character raced here
// that no one answers for, to which no question is put.
class LocalContestant final : public Contestant
{
public:
    LocalContestant(Roster &roster, int slot, bool player) : Contestant(roster, slot), player_(player) {}

    bool send(const Message &) const override { return false; }
    void awaitAcknowledgement() override {}
    bool awaitingAcknowledgement() const override { return false; }
    bool isAt(const QString &) const override { return false; }

    void putQuestion(QuestionPut &round) override
    {
        ContestantRecord &self = record();
        self.Acked = true;   // nothing to wait for
        if (!player_ || self.Confirmed == SlotQuestionOutstanding)
            return;   // no player, or the player's last question is still on show
        roster_.setSlotState(slot(), SlotQuestionOutstanding);
        round.showHere(self);
    }
    void resendQuestion() const override {}

private:
    bool player_;
};

// A contestant on a joiner's computer, at the address its record had when it was taken.
class RemoteContestant final : public Contestant
{
public:
    RemoteContestant(Roster &roster, Transport &transport, int slot, QString address)
        : Contestant(roster, slot), transport_(transport), address_(std::move(address))
    {
    }

    bool send(const Message &message) const override
    {
        transport_.send(address_, message);
        return true;
    }
    void awaitAcknowledgement() override { record().Acked = false; }
    bool awaitingAcknowledgement() const override { return !record().Acked; }
    bool isAt(const QString &address) const override { return address == address_; }

    void putQuestion(QuestionPut &round) override
    {
        ContestantRecord &self = record();
        if (self.Confirmed == SlotQuestionOutstanding) {
            self.Acked = true;   // nothing to wait for
            // A question still outstanding is put again, once a round: the question or
            // its answer may have been lost after all their resends.
            const QString outstanding = round.outstanding(self);
            if (!outstanding.isEmpty())
                transport_.send(MessageCode::Question, address_, outstanding);
            return;
        }
        const QString message = round.next(self);
        resendCopy_ = message.left(ResendCopyLength);
        transport_.send(MessageCode::Question, address_, message);
        self.Acked = false;
        roster_.setSlotState(slot(), SlotQuestionOutstanding);
    }
    void resendQuestion() const override
    {
        if (awaitingAcknowledgement())
            transport_.send(MessageCode::Question, address_, resendCopy_);
    }

private:
    Transport &transport_;
    QString address_;
    QString resendCopy_;   // of the question put this round
};

} // namespace

ContestantRecord &Contestant::record() const
{
    return roster_.model().contestants[slot_];
}

Contestants RosterContestants(Roster &roster, Transport &transport, int slotLimit)
{
    const int count = std::clamp(slotLimit, 0, MaxContestants);
    Contestants contestants;
    contestants.reserve(count);
    for (int slot = 0; slot < count; ++slot) {
        const QString &address = roster.model().contestants[slot].Address;
        if (address.isEmpty())
            contestants.push_back(std::make_unique<LocalContestant>(roster, slot, slot == 0));
        else
            contestants.push_back(std::make_unique<RemoteContestant>(roster, transport, slot, address));
    }
    return contestants;
}
