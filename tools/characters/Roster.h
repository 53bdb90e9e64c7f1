// The characters we ship: the commentator and the contestants, each with its own look
// and voice.
#pragma once

#include "Look.h"

#include <QList>

namespace chars {

// The commentator; its file is "Announcer.acs" in the program folder.
Traits announcer();
// The contestants, for the character library folder.
QList<Traits> contestants();

} // namespace chars
