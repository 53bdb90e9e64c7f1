// One copy of the game without its windows, made as main makes it, for the tests: the
// parts (GameParts.h) and the race over them.
#pragma once

#include "GameParts.h"
#include "Race.h"

struct TestGame : GameParts {
    Race race{session, roster, settings, stage, dialogs, dispatcher, screen};
};
