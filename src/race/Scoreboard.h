// What the scoreboard at the finish shows: the first two places of a race of two or more
// contestants, and the third only when more than two raced. Each place reads the
// player's name and, in brackets, the character without its file extension.
#pragma once

#include "RaceModel.h"
#include "RaceRun.h"

#include <QString>

#include <optional>
#include <span>

struct Scoreboard {
    QString win;
    QString place;
    std::optional<QString> show;   // the third place: none in a race of two
};

// The scoreboard of a race of `contestants` contestants with those standings, the places
// read from records; none below two contestants (nobody to beat).
std::optional<Scoreboard> ScoreboardOf(int contestants, const RaceStandings &standings,
                                       std::span<const ContestantRecord> records);
