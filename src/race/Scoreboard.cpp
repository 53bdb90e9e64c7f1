#include "Scoreboard.h"

#include "Utilities.h"

namespace {

QString placeOf(std::span<const ContestantRecord> records, int slot)
{
    if (slot < 0 || size_t(slot) >= records.size())
        return QString();
    const ContestantRecord &record = records[size_t(slot)];
    return record.PlayerName + QStringLiteral(" (") + WithoutExtension(record.CharacterFile) + u')';
}

} // namespace

std::optional<Scoreboard> ScoreboardOf(int contestants, const RaceStandings &standings,
                                       std::span<const ContestantRecord> records)
{
    if (contestants < 2)
        return std::nullopt;
    Scoreboard board{placeOf(records, standings.first), placeOf(records, standings.second), std::nullopt};
    if (contestants > 2)
        board.show = placeOf(records, standings.third);
    return board;
}
