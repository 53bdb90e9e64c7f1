// The contestants of a race as the host reaches them. A contestant run on this computer
// shares this copy's state: nothing goes on the wire to it, and a question put to the
// player here (slot 0) is shown here. A remote contestant, on a joiner's computer, is
// reached by datagrams to its address, and its "AK" marks its record's Acked. The group
// sends (GameMessages.h), the reports' bookkeeping and the question round (games) reach
// each contestant through this interface; the record's address tells the two kinds apart
// in one place, RosterContestants.
//
// It lives in net, the lowest layer that knows the messages: the session holds the
// records but not the wire. Putting a question needs the question file and the question
// on show, which are the games layer's: the round hands them in as a QuestionPut.
#pragma once

#include "Messages.h"
#include "RaceModel.h"

class Roster;
class Transport;

#include <QString>

#include <memory>
#include <vector>

// A question round's question as the host puts it to its contestants, slot by slot (the
// question round in games makes it).
class QuestionPut
{
public:
    // The next question for the contestant of `record`, as it travels after "RZ" (its
    // stored question when it has one, numbered); takes the contestant's next number.
    virtual QString next(ContestantRecord &record) = 0;
    // The question still outstanding for the contestant of `record`, numbered; empty
    // when it is not stored.
    virtual QString outstanding(const ContestantRecord &record) = 0;
    // The player of this computer takes the question: it is shown here once the remote
    // contestants acknowledged theirs (or their resends ran out).
    virtual void showHere(ContestantRecord &record) = 0;

protected:
    ~QuestionPut() = default;
};

// One contestant of the race, in its slot of the roster (RosterContestants makes them).
class Contestant
{
public:
    Contestant(Roster &roster, int slot) : roster_(roster), slot_(slot) {}
    virtual ~Contestant() = default;
    Contestant(const Contestant &) = delete;
    Contestant &operator=(const Contestant &) = delete;

    int slot() const { return slot_; }
    ContestantRecord &record() const;

    // One send of a host message (a round of a group send): on the wire to a remote
    // contestant, nothing to one run here. True when it went on the wire.
    virtual bool send(const Message &message) const = 0;
    // From now on a remote contestant's acknowledgement is awaited (its Acked is
    // cleared); nothing is awaited from one run here.
    virtual void awaitAcknowledgement() = 0;
    virtual bool awaitingAcknowledgement() const = 0;
    // A datagram from `address` comes from this contestant (never from one run here).
    virtual bool isAt(const QString &address) const = 0;

    // The question round (on the host): puts the round's question to the contestant when
    // it is free to take one ("RZ" to a remote one, shown here to the player of this
    // computer); a remote contestant whose question is still outstanding is sent that
    // question again, once a round.
    virtual void putQuestion(QuestionPut &round) = 0;
    // The round's resend, every 500 ms, to a contestant that has not acknowledged its
    // question yet.
    virtual void resendQuestion() const = 0;

protected:
    Roster &roster_;

private:
    int slot_;
};

using Contestants = std::vector<std::unique_ptr<Contestant>>;

// The contestants of slots 0 to slotLimit - 1 (at most MaxContestants): a slot with an
// address is a remote contestant at that address (kept as it is now: a send after the
// roster is emptied still reaches it, through the transport), one without is run here.
Contestants RosterContestants(Roster &roster, Transport &transport, int slotLimit);
