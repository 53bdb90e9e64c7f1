// Composes the game's racing tunes: a bright major-key melody over a driving bass,
// off-beat chord stabs, a soft pad and a rock drum beat. Each tune is built from its
// own chord progressions and a seeded random source, so every build writes the same
// music.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct TuneStyle {
    QString name;
    quint32 seed = 1;
    int tempo = 150;              // beats per minute
    int key = 60;                 // MIDI note of the tonic around middle C
    QList<int> verse;             // scale degrees (0 = I), one chord per bar, 8 bars
    QList<int> chorus;            // 8 bars
    int leadProgram = 80;         // General MIDI programs, 0-based
    int chordProgram = 0;
    int bassProgram = 38;
    int padProgram = 48;
};

// The Standard MIDI File of one tune (format 1; about 27 bars, 40 seconds).
QByteArray ComposeTune(const TuneStyle &style);
// The tunes the game ships.
QList<TuneStyle> GameTunes();
