// What the messenger uses when the player gives nothing: its own folder, the login name,
// a new UIN, and where the game and its data come from (installed or build tree).
#pragma once

#include "MessengerFolder.h"

#include <QString>

// ~/.local/share/hollyfrost/messenger (the XDG data folder), the folder a menu start uses.
QString DefaultMessengerFolder();
// The user's login name, at most 20 characters; "Player" when none can be found.
QString LoginName();
// The language suffix of the desktop's locale: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty (the order POSIX gives them) names the language; French gives
// "-fr", German "-de", any other none (the game's English).
QString LocaleLanguageSuffix();
// Fills what the arguments left out: the folder, the name (login name), the UIN (a new
// random one of six digits), the language (LocaleLanguageSuffix) and the own character:
// Pip.acs of |characterLibrary| if it is there, else its first character by name, as the
// folder's copy of the library will hold it. Display and spoken name stay empty: the game
// then uses the name.
void ApplyInitDefaults(MessengerSetup &setup, const QString &characterLibrary);
// Where init copies the game and its data from: share/hollyfrost of an installed
// messenger, else the messenger's own folder (bin/ of the build tree).
QString DistributionFolder();
// The contestants' character library that init copies: HOLLYFROST_CHARACTER_LIBRARY,
// else the installed one, else the build tree's.
QString CharacterLibrary();
