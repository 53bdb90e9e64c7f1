// The fixed keys under which the messenger scrambles text fields of its files with
// ShiftText (it shifts down, the game shifts up). Only the low three bits of a key
// matter: they give the first shift, (key & 7) + 2. The README's section on the
// messenger's files lists these values; whatever writes the files must use them.
#pragma once

#include <QtGlobal>

namespace ScrambleKeys {
// HFparms.cfg: one key for every parameter name, another for every value.
constexpr quint8 ParameterName = 0x5A;   // first shift 4
constexpr quint8 ParameterValue = 0x71;  // first shift 3
// hollyfro.opt: key A for the user name and the display name, key B for the spoken name.
constexpr quint8 OptionsNameA = 0x4B;    // first shift 5
constexpr quint8 OptionsSpokenB = 0x36;  // first shift 8
} // namespace ScrambleKeys
