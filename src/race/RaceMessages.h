// What a joiner does on its host's race messages: the roster's start ("SR"), the
// positions ("RP") and the cancel ("RC").
#pragma once

// Installs the handlers of "SR", "RP" and "RC" (GameMessages.h).
void InstallRaceMessageHandlers();
