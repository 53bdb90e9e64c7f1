// What the player picked to play: the play mode, the game type and the difficulty, the
// three radio groups of the main window (PlaySettingsBinding shows and changes them).
// The race, the games and the network read them here, never from a widget.
#pragma once

#include <QObject>

enum PlayMode { NoPlayMode = -1, JoinGame = 0, HostGame = 1, LocalRace = 2, PracticeGame = 3 };

// The game types: the items of the main window's "Game Type" group, in order, and the
// number the phrase table's "Gt" codes and the host's settings text carry.
enum GameType {
    NoGameType = -1,
    RandomRaceType = 0,     // moves by chance, no questions
    MixedProblemsType = 1,  // every kind of puzzle, drawn at random
    WordScrambleType = 2,
    SimpleMathType = 3,     // addition, subtraction, multiplication
    DexterityTestType = 4,
    MemoryTestType = 5,
};
// A game type that puts questions.
inline bool IsPuzzleGame(int type)
{
    return type >= MixedProblemsType && type <= MemoryTestType;
}

// The items of the "Difficulty" group, in order, and the number of the phrase table's
// "dl" codes.
enum Difficulty { Easy = 0, Moderate = 1, Difficult = 2 };

class PlaySettings : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    PlayMode playMode() const { return playMode_; }
    GameType gameType() const { return gameType_; }
    Difficulty difficulty() const { return difficulty_; }

    // Each setter emits its signal when the value changes.
    void setPlayMode(PlayMode mode);
    void setGameType(GameType type);
    void setDifficulty(Difficulty level);

signals:
    void playModeChanged(PlayMode mode);
    void gameTypeChanged(GameType type);
    void difficultyChanged(Difficulty level);

private:
    PlayMode playMode_ = NoPlayMode;
    GameType gameType_ = NoGameType;
    Difficulty difficulty_ = Moderate;
};
