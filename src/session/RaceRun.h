// One race: the object that lives from its start until it is cancelled or the next race
// starts (it outlives its own finish, so that the scoreboard can still be shown and the
// last positions still resent). It holds the race's standings and counters. A step of a
// race (a wait in its presentation, rounds, questions, resends or ceremony) holds the race
// it belongs to (RaceHold) and goes on after each wait only while that object lives: a
// cancelled or replaced race has none left, so nothing of it is sent, shown or counted.
#pragma once

#include <QObject>
#include <QPointer>
#include <QtGlobal>

// Where the race stands: the slots in the first three places (RankContestants) and the
// slot that crossed the finish first (-1 until one has).
struct RaceStandings {
    qint32 first = 0;
    qint32 second = 0;
    qint32 third = 0;
    qint32 finisher = -1;
};

class RaceRun : public QObject
{
public:
    RaceStandings standings;
    qint32 questionCountdown = 2;       // race rounds until the next question round
    quint8 turn = 0;                    // the slot the next tick moves; past 9 the commentary's turn
    qint32 commentaryCycles = 0;        // turns since the last commentary
    bool movedSinceCommentary = false;
    qint32 positionsSent = 0;           // host: the number of the last set of positions sent
    qint64 hostHeardMs = 0;             // joiner: when its host was last heard from (GameClock)
};

// A step's hold on the race it belongs to: the session's race when the hold was taken
// (none: a hold on no race, which never goes on).
class RaceHold
{
public:
    RaceHold() = default;
    explicit RaceHold(RaceRun &run);
    // That race has been neither cancelled nor replaced, and the program goes on.
    bool goesOn() const;

private:
    QPointer<RaceRun> run_;
};
