#include "GameSession.h"

GameSession &GameSession::current()
{
    static GameSession session;
    return session;
}

void GameSession::setPlayMode(int mode)
{
    if (mode == playMode_)
        return;
    playMode_ = mode;
    emit playModeChanged(mode);
}

void GameSession::setGameType(int type)
{
    if (type == gameType_)
        return;
    gameType_ = type;
    emit gameTypeChanged(type);
}

void GameSession::setDifficulty(int level)
{
    if (level == difficulty_)
        return;
    difficulty_ = level;
    emit difficultyChanged(level);
}

int CurrentPlayMode()
{
    return GameSession::current().playMode();
}

int CurrentGameType()
{
    return GameSession::current().gameType();
}
