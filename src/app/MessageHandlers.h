// The handlers of every game message the network hands up (GameMessages.h): the race's,
// the puzzles', the play requests' and the host's text on the main window.
#pragma once

#include <functional>

class PlayRequests;
class Race;

// The play requests' handlers go to requests, which must outlive them.
void InstallMessageHandlers(Race &race, PlayRequests &requests);

// What the program does when the messenger's parameters file is missing, at the start or
// gone in the middle of a race: a race in progress is left at once with its goodbye to
// the joiners, then the box tells the user; the program ends once it is answered
// (endProgram). For MessengerParameters.
std::function<void(std::function<void()> endProgram)> ParametersMissingNotice(Race &race);
