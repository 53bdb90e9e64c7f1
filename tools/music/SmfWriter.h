// A small writer of Standard MIDI Files (format 1): one conductor track with tempo and
// metre, then one track per instrument.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct MidiEvent {
    quint32 tick = 0;
    int order = 0;       // at the same tick: lower first (note-offs before note-ons)
    QByteArray bytes;    // the event without its delta time
};

class SmfTrack
{
public:
    explicit SmfTrack(const QString &name);
    void program(int channel, int program, quint32 tick = 0);
    void control(int channel, int controller, int value, quint32 tick = 0);
    void note(int channel, quint32 tick, quint32 length, int key, int velocity);
    void tempo(quint32 tick, int beatsPerMinute);
    void timeSignature(quint32 tick, int numerator, int denominatorPower);
    // The track lasts at least until this tick (silence after the last event).
    void setEnd(quint32 tick) { m_end = tick; }
    QByteArray chunk() const;   // the whole "MTrk" chunk, ending with end-of-track

private:
    void add(quint32 tick, int order, const QByteArray &bytes);
    QList<MidiEvent> m_events;
    quint32 m_end = 0;
};

// The whole file: header "MThd" (format 1, the track count, ticks per quarter note)
// followed by the tracks' chunks.
QByteArray SmfFile(const QList<SmfTrack> &tracks, int ticksPerQuarter);
