// The animations every character gets, as sequences of poses, and the assembly of a
// whole character file from a character's traits.
#pragma once

#include "CharacterFile.h"
#include "Look.h"

#include <QStringList>

namespace chars {

// Every animation name the game asks for, plus the ones the platform's states use.
QStringList requiredAnimations();

// The state table every character shares (which animation shows, hides, speaks ...).
States sharedStates();

// Draws every frame of the character and returns it ready to write.
CharacterFile buildCharacter(const Traits &traits);

} // namespace chars
