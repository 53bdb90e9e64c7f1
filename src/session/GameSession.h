// The game's shared state below the windows: what the player picked to play (play mode,
// game type, difficulty). The main window shows it and changes it through these
// functions; the race, the games and the network read it here, never from a widget.
#pragma once

#include <QObject>

enum PlayMode { NoPlayMode = -1, JoinGame = 0, HostGame = 1, LocalRace = 2, PracticeGame = 3 };

class GameSession : public QObject
{
    Q_OBJECT
public:
    // The one session of the program.
    static GameSession &current();

    int playMode() const { return playMode_; }
    // -1: none picked; 0 "Random Race", 1 to 5 the puzzles.
    int gameType() const { return gameType_; }
    // 0 easy, 1 moderate, 2 difficult.
    int difficulty() const { return difficulty_; }

    // Each setter emits its signal when the value changes.
    void setPlayMode(int mode);
    void setGameType(int type);
    void setDifficulty(int level);

signals:
    void playModeChanged(int mode);
    void gameTypeChanged(int type);
    void difficultyChanged(int level);

private:
    int playMode_ = NoPlayMode;
    int gameType_ = -1;
    int difficulty_ = 1;
};
