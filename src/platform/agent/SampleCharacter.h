// A small character drawn by code, written as a character file: the tests and the
// benchmark use it, so they need no artwork from anywhere.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace agent::sample {

// Writes a zip archive with these entries (name inside the archive, bytes); returns an
// empty string on success, else what went wrong.
QString writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries);

// Writes a character file at path: frame size width x height, every animation the game
// uses plus "show", "speak", "moveleft", "moveright", "movedown", "rest" and "idle_2";
// "wave" has the return animation "wave_return"; idling levels ["idle_1", "blink"] then
// ["idle_2"]. Frames last 100 ms. Returns an empty string on success, else the error.
QString writeSampleCharacter(const QString &path, const QString &name = QStringLiteral("Pip"),
                             int width = 64, int height = 80);

// A WAV file of silence: format tag (1 = integer PCM), sample rate, channels and bits,
// with an odd-sized chunk before the data that a reader must step over.
QByteArray wavBytes(int rate, int channels, int bits, int frames, quint16 tag = 1);

// The character.json that writeSampleCharacter writes (for tests that alter it).
QByteArray sampleCharacterJson(const QString &name, int width, int height);

} // namespace agent::sample
