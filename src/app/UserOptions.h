// The user's options, kept by the messenger in "hollyfro.opt" in the program folder.
#pragma once

#include "Waits.h"

#include <QString>

// Fills Records::Options from ProgramFolder() + "hollyfro.opt", or with the defaults
// (empty texts, UIN 0) when the file is missing, unreadable or held locked. While the
// messenger holds the file the defaults are in use and the step waits (about 10 s at
// most, OpenTextFileWhenFree).
Task<> LoadOptions();

// The options file's game path.
QString OptionsFilePath();
