// Who steers a race. The copy that runs it (a practice, a local race, the host of a
// network game) moves the contestants, puts the questions and tells its joiners where
// everyone stands; a joiner follows the positions its host sends ("RP") and answers the
// questions the host puts, so its side of a round does nothing of that. The race picks its
// side when it starts (Race.h).
#pragma once

#include "Utilities.h"
#include "Waits.h"

class Dispatcher;
class GameSession;
class PlaySettings;
class QuestionRound;
class Roster;

class RaceSide
{
public:
    virtual ~RaceSide() = default;
    // A round's move of the slot's Progress.
    virtual void advance(int slot) = 0;
    // A question round, when one is due in a puzzle race.
    virtual Task<> putQuestions(QuestionRound &questions) = 0;
    // Where everyone stands after a round, and at the finish.
    virtual Task<> tellPositions() = 0;
    virtual void tellFinalPositions() = 0;
    // The host of a joined race has sent nothing for 15 s of game time while its rounds
    // ran: its cancel was lost, or it is gone.
    virtual bool hostLost() const { return false; }
};

// The race run on this copy: "Start Game" in Practice, Local Race or Host a Game.
class SteeringSide final : public RaceSide
{
public:
    // random: where a Random Race's progress is drawn from.
    SteeringSide(Roster &roster, const PlaySettings &settings, Dispatcher &dispatcher, Random &random)
        : roster_(roster), settings_(settings), dispatcher_(dispatcher), random_(random)
    {
    }
    void advance(int slot) override;
    Task<> putQuestions(QuestionRound &questions) override;
    Task<> tellPositions() override;
    void tellFinalPositions() override;

private:
    Roster &roster_;
    const PlaySettings &settings_;
    Dispatcher &dispatcher_;
    Random &random_;
};

// The race of a host's game that this copy joined.
class JoinedSide final : public RaceSide
{
public:
    explicit JoinedSide(GameSession &session) : session_(session) {}
    void advance(int) override {}
    Task<> putQuestions(QuestionRound &) override { co_return; }
    Task<> tellPositions() override { co_return; }
    void tellFinalPositions() override {}
    bool hostLost() const override;

private:
    GameSession &session_;
};
