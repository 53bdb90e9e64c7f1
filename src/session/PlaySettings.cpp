#include "PlaySettings.h"

void PlaySettings::setPlayMode(PlayMode mode)
{
    if (mode == playMode_)
        return;
    playMode_ = mode;
    emit playModeChanged(mode);
}

void PlaySettings::setGameType(GameType type)
{
    if (type == gameType_)
        return;
    gameType_ = type;
    emit gameTypeChanged(type);
}

void PlaySettings::setDifficulty(Difficulty level)
{
    if (level == difficulty_)
        return;
    difficulty_ = level;
    emit difficultyChanged(level);
}
