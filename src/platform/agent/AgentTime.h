// Time for the character platform: every duration a character plays (frames, moves,
// speech, the idle delay) is multiplied by HOLLYFROST_TIME_SCALE, read once, so tests can
// run whole scenes in a fraction of real time.
#pragma once

#include <QtGlobal>

namespace agent::detail {

// The factor from HOLLYFROST_TIME_SCALE (a positive number; anything else means 1).
double timeScale();

// A duration in milliseconds multiplied by the time scale; a positive duration never
// becomes 0, so a looping animation always waits at least a millisecond per frame.
qint64 scaledMs(double ms);

} // namespace agent::detail
