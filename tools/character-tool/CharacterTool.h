// What hollyfrost-character does with a character: check it (a character file, or a
// folder laid out like one), pack a checked folder into the file the game loads, and
// show it on the desktop as the game would.
#pragma once

#include "CharacterFile.h"
#include "Waits.h"

#include <QString>
#include <QStringList>

#include <functional>

class AgentStage;

namespace charactertool {

// The animations the game plays by name: the race's, and the rest pose between them.
QStringList gameAnimations();

struct Checked
{
    agent::detail::CharacterData data;   // what could be read
    QStringList problems;                // one line each: "PATH: place: what is wrong"
};

// Every problem of the character at path, found by the game's own reader, then the
// animations the game plays that it lacks.
Checked checkCharacter(const QString &path);

// Packs the folder, once it checks clean, into a character file at out (by default
// "NAME.acs" in the current folder, NAME from character.json), written beside it first
// and then moved into place, then loaded as the game loads it. Returns the problems that
// stopped it (nothing is written then); *written receives the file's path.
QStringList packCharacter(const QString &folder, const QString &out, QString *written);

// Shows the character of that file on the stage, plays each animation of gameAnimations()
// it has, lets it speak a line, hides and unloads it. Each step is told to say. *played
// becomes true once all is done; false when the file does not load.
Task<> previewCharacter(AgentStage &stage, QString file, std::function<void(const QString &)> say, bool *played);

} // namespace charactertool
