// The dexterity test: while a "DX" question is on show the Announcer jumps to a random
// place every few ticks of the race's ticker, and a click on it answers the question
// (QuestionRound). The test runs while the race model's dexterityCountdown (RaceModel.h) is above 0.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QtGlobal>

class CharacterStage;
class Random;
class RaceScreen;
struct RaceModel;

// The dexterity step of the race's tick: counts the model's dexterityCountdown down and,
// at 0, makes the Announcer jump on the race's screen (looked at only then) and sets the
// wait before the next jump; the place is drawn from random.
void DexterityStep(RaceModel &model, int difficulty, CharacterStage &stage, const RaceScreen &screen,
                   Random &random);
// The area the Announcer's top-left corner is drawn from (inclusive) on a screen of
// that size: the middle half for "Easy", all but a margin for "Moderate", nearly
// anywhere for "Difficult".
QRect JumpArea(int difficulty, const QSize &screen);
// Ticks to the next jump after the given number of jumps: 3 up to 20, 4 up to 50, then 5.
int TicksAfterJump(qint32 jumps);
