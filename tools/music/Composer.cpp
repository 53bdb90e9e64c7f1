#include "Composer.h"

#include "SmfWriter.h"

#include <random>

namespace {

constexpr int Ppq = 480;
constexpr int Eighth = Ppq / 2;
constexpr int Bar = Ppq * 4;
constexpr int Scale[7] = {0, 2, 4, 5, 7, 9, 11};
enum Channel { Lead = 0, Bass = 1, Chords = 2, Pad = 3, Drums = 9 };
enum Drum { Kick = 36, Snare = 38, ClosedHat = 42, OpenHat = 46, Crash = 49, LowTom = 45, MidTom = 47, HighTom = 50 };

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The MIDI note of a scale step counted from the tonic (negative: below it).
int pitchOf(int key, int step)
{
    const int octave = floorDiv(step, 7);
    return key + 12 * octave + Scale[step - octave * 7];
}

bool isChordTone(int step, int chordRoot)
{
    const int degree = ((step % 7) + 7) % 7;
    return degree == chordRoot % 7 || degree == (chordRoot + 2) % 7 || degree == (chordRoot + 4) % 7;
}

// Rhythm cells for a two-bar phrase: note starts and lengths in eighths.
struct Cell { QList<QPair<int, int>> notes; };
const QList<Cell> &rhythms()
{
    static const QList<Cell> cells = {
        {{{0, 2}, {2, 1}, {3, 1}, {4, 2}, {6, 2}, {8, 1}, {9, 1}, {10, 2}, {12, 4}}},
        {{{0, 1}, {1, 1}, {2, 2}, {4, 1}, {5, 1}, {6, 2}, {8, 3}, {11, 1}, {12, 2}, {14, 2}}},
        {{{0, 3}, {3, 1}, {4, 2}, {6, 1}, {7, 1}, {8, 2}, {10, 2}, {12, 3}}},
        {{{1, 1}, {2, 1}, {3, 1}, {4, 2}, {6, 2}, {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 4}}},
    };
    return cells;
}

struct MelodyNote { int start; int length; int step; };

// One two-bar phrase over the chords of its bars. Strong beats land on chord tones,
// the notes between move by step in the phrase's direction, and a closing phrase ends
// on the tonic's chord.
QList<MelodyNote> phrase(std::mt19937 &rng, const Cell &cell, int firstChord, int secondChord,
                         int &step, bool rising, bool closing)
{
    QList<MelodyNote> notes;
    std::uniform_int_distribution<int> coin(0, 3);
    for (int i = 0; i < cell.notes.size(); ++i) {
        const auto [start, length] = cell.notes.at(i);
        const int chord = start < 8 ? firstChord : secondChord;
        const bool last = i == cell.notes.size() - 1;
        if (last && closing) {
            // Land on the tonic nearest to where the line is.
            step = 7 * floorDiv(step + 3, 7);
        } else if (start % 4 == 0) {
            int best = step;
            for (int distance = 0; distance < 4; ++distance) {
                const int up = step + distance, down = step - distance;
                const bool preferUp = rising ? coin(rng) != 0 : coin(rng) == 0;
                if (isChordTone(preferUp ? up : down, chord)) { best = preferUp ? up : down; break; }
                if (isChordTone(preferUp ? down : up, chord)) { best = preferUp ? down : up; break; }
            }
            step = best;
        } else {
            const int move = coin(rng) == 0 ? 2 : 1;
            step += (rising ? 1 : -1) * (coin(rng) == 3 ? -move : move);
        }
        step = qBound(-1, step, 10);
        notes.append({start, length, step});
    }
    return notes;
}

void drumBar(SmfTrack &drums, quint32 at, int bar, bool sectionStart, bool fill)
{
    if (sectionStart)
        drums.note(Drums, at, Eighth, Crash, 110);
    for (int e = 0; e < 8; ++e) {
        const quint32 t = at + quint32(e * Eighth);
        if (fill && e >= 4) {
            static const int toms[] = {Snare, HighTom, MidTom, LowTom};
            drums.note(Drums, t, Eighth / 2, toms[e - 4], 100);
            drums.note(Drums, t + Eighth / 2, Eighth / 2, toms[e - 4], 85);
            continue;
        }
        const bool open = e == 7 && bar % 2 == 1;
        drums.note(Drums, t, Eighth / 2, open ? OpenHat : ClosedHat, e % 2 == 0 ? 90 : 65);
        if (e == 0 || e == 4 || (e == 3 && bar % 2 == 0) || (e == 5 && bar % 4 == 3))
            drums.note(Drums, t, Eighth, Kick, e % 4 == 0 ? 115 : 95);
        if (e == 2 || e == 6)
            drums.note(Drums, t, Eighth, Snare, 105);
    }
}

void bassBar(SmfTrack &bass, quint32 at, int key, int chord, int nextChord)
{
    const int root = pitchOf(key - 24, chord);
    const int fifth = pitchOf(key - 24, chord + 4);
    const int next = pitchOf(key - 24, nextChord);
    const int approach = next > root ? next - 1 : next + 2;
    const int line[8] = {root, root, fifth, root, root + 12, root, fifth, approach};
    for (int e = 0; e < 8; ++e)
        bass.note(Bass, at + quint32(e * Eighth), Eighth - 30, line[e], e % 2 == 0 ? 100 : 80);
}

void harmonyBar(SmfTrack &chords, SmfTrack &pad, quint32 at, int key, int chord)
{
    const int voicing[3] = {pitchOf(key, chord), pitchOf(key, chord + 2), pitchOf(key, chord + 4)};
    for (int e = 1; e < 8; e += 2)
        for (int pitch : voicing)
            chords.note(Chords, at + quint32(e * Eighth), Eighth - 60, pitch, 72);
    for (int pitch : voicing)
        pad.note(Pad, at, Bar - 20, pitch - 12, 55);
}

} // namespace

QByteArray ComposeTune(const TuneStyle &style)
{
    std::mt19937 rng(style.seed);
    SmfTrack conductor(style.name);
    conductor.tempo(0, style.tempo);
    conductor.timeSignature(0, 4, 2);
    SmfTrack lead(QStringLiteral("Lead")), bass(QStringLiteral("Bass")), chords(QStringLiteral("Chords"));
    SmfTrack pad(QStringLiteral("Pad")), drums(QStringLiteral("Drums"));
    const struct { SmfTrack *track; int channel; int program; int volume; int pan; } setup[] = {
        {&lead, Lead, style.leadProgram, 100, 64}, {&bass, Bass, style.bassProgram, 105, 60},
        {&chords, Chords, style.chordProgram, 80, 40}, {&pad, Pad, style.padProgram, 70, 88},
        {&drums, Drums, 0, 100, 64}};
    for (const auto &s : setup) {
        if (s.channel != Drums)
            s.track->program(s.channel, s.program);
        s.track->control(s.channel, 7, s.volume);
        s.track->control(s.channel, 10, s.pan);
    }

    // Form: two bars of drums and bass, verse, chorus, verse again, a closing chord.
    QList<int> bars = {0, 0};
    bars += style.verse;
    bars += style.chorus;
    bars += style.verse;
    const int introBars = 2;
    std::uniform_int_distribution<int> pick(0, int(rhythms().size()) - 1);
    const Cell verseCell = rhythms().at(pick(rng));
    const Cell chorusCell = rhythms().at(pick(rng));
    QList<MelodyNote> verseMelody;
    int step = 2;
    for (int bar = 0; bar < bars.size(); ++bar) {
        const quint32 at = quint32(bar * Bar);
        const int chord = bars.at(bar);
        const int next = bar + 1 < bars.size() ? bars.at(bar + 1) : 0;
        const int inSection = (bar - introBars) % 8;
        const bool sectionStart = bar >= introBars && inSection == 0;
        drumBar(drums, at, bar, sectionStart || bar == 0, bar == introBars - 1 || (bar >= introBars && inSection == 7));
        bassBar(bass, at, style.key, chord, next);
        if (bar < introBars)
            continue;
        harmonyBar(chords, pad, at, style.key, chord);
        if (inSection % 2 != 0)
            continue;
        const int section = (bar - introBars) / 8;
        QList<MelodyNote> notes;
        if (section == 2 && !verseMelody.isEmpty()) {
            // The verse returns with the melody it had the first time.
            for (const MelodyNote &note : verseMelody)
                if (note.start / 16 == inSection / 2)
                    notes.append({note.start % 16, note.length, note.step});
        } else {
            const Cell &cell = section == 1 ? chorusCell : verseCell;
            const bool rising = inSection % 4 == 0;
            notes = phrase(rng, cell, chord, next, step, rising, inSection == 6);
            if (section == 0)
                for (const MelodyNote &note : notes)
                    verseMelody.append({note.start + 16 * (inSection / 2), note.length, note.step});
        }
        for (const MelodyNote &note : notes)
            lead.note(Lead, at + quint32(note.start * Eighth), quint32(note.length * Eighth) - 40,
                      pitchOf(style.key + 12, note.step), note.start % 4 == 0 ? 105 : 92);
    }

    // The closing chord, held for a whole bar.
    const quint32 end = quint32(bars.size() * Bar);
    drums.note(Drums, end, Bar, Crash, 115);
    drums.note(Drums, end, Eighth, Kick, 115);
    bass.note(Bass, end, Bar, pitchOf(style.key - 24, 0), 105);
    for (int s : {0, 2, 4}) {
        chords.note(Chords, end, Bar, pitchOf(style.key, s), 85);
        pad.note(Pad, end, Bar, pitchOf(style.key - 12, s), 60);
    }
    lead.note(Lead, end, Bar, pitchOf(style.key + 12, 7), 100);
    conductor.setEnd(end + Bar + Ppq);   // a beat of silence to let the chord ring

    return SmfFile({conductor, lead, bass, chords, pad, drums}, Ppq);
}

QList<TuneStyle> GameTunes()
{
    return {
        {QStringLiteral("Hollyfrost Dash"), 1701, 152, 55, {0, 4, 5, 3, 0, 4, 3, 4}, {3, 4, 2, 5, 3, 4, 0, 0}, 80, 0, 38, 48},
        {QStringLiteral("Checkered Sprint"), 2417, 160, 60, {0, 3, 4, 0, 5, 1, 4, 4}, {3, 0, 4, 5, 3, 0, 1, 4}, 56, 16, 33, 50},
        {QStringLiteral("Final Lap Fun"), 3089, 146, 53, {0, 5, 3, 4, 0, 5, 1, 4}, {3, 4, 0, 5, 1, 4, 0, 0}, 81, 27, 34, 89},
    };
}
