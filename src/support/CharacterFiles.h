// The character files in the messenger's character folder: the ".acs" regular files, in
// listing order.
#pragma once

#include <QString>

class Random;

// The folder, in the game's path form (ends in a separator).
QString CharacterFolder();
// "No Agent.acs" when it is there, else the first file, else empty.
QString DefaultCharacterFile();
int CountCharacterFiles();
// The nth file, counted from 1 (clamped to the list), or empty without files.
QString NthCharacterFile(int n);
// A file whose name does not contain "random", drawn at random; empty with fewer than
// three files or none such.
QString RandomCharacterFile(Random &random);
