// The handlers of every game message the network hands up (GameMessages.h): the race's,
// the puzzles', the play requests' and the host's text on the main window.
#pragma once

class PlayRequests;
class Race;

// The play requests' handlers go to requests, which must outlive them.
void InstallMessageHandlers(Race &race, PlayRequests &requests);
