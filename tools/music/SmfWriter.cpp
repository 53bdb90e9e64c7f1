#include "SmfWriter.h"

#include <algorithm>

namespace {

void appendVariableLength(QByteArray &out, quint32 value)
{
    char bytes[5];
    int count = 0;
    bytes[count++] = char(value & 0x7F);
    while ((value >>= 7) != 0)
        bytes[count++] = char((value & 0x7F) | 0x80);
    while (count > 0)
        out.append(bytes[--count]);
}

void appendBigEndian(QByteArray &out, quint32 value, int size)
{
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(char(value));
    return out;
}

} // namespace

SmfTrack::SmfTrack(const QString &name)
{
    const QByteArray text = name.toLatin1().left(127);
    add(0, 0, bytesOf({0xFF, 0x03, int(text.size())}) + text);
}

void SmfTrack::add(quint32 tick, int order, const QByteArray &bytes)
{
    m_events.append({tick, order, bytes});
}

void SmfTrack::program(int channel, int program, quint32 tick)
{
    add(tick, 1, bytesOf({0xC0 | (channel & 0x0F), program & 0x7F}));
}

void SmfTrack::control(int channel, int controller, int value, quint32 tick)
{
    add(tick, 1, bytesOf({0xB0 | (channel & 0x0F), controller & 0x7F, value & 0x7F}));
}

void SmfTrack::note(int channel, quint32 tick, quint32 length, int key, int velocity)
{
    if (key < 0 || key > 127 || length == 0)
        return;
    add(tick, 3, bytesOf({0x90 | (channel & 0x0F), key, qBound(1, velocity, 127)}));
    add(tick + length, 2, bytesOf({0x80 | (channel & 0x0F), key, 64}));
}

void SmfTrack::tempo(quint32 tick, int beatsPerMinute)
{
    const quint32 microseconds = 60000000u / quint32(beatsPerMinute);
    QByteArray bytes = bytesOf({0xFF, 0x51, 0x03});
    appendBigEndian(bytes, microseconds, 3);
    add(tick, 0, bytes);
}

void SmfTrack::timeSignature(quint32 tick, int numerator, int denominatorPower)
{
    add(tick, 0, bytesOf({0xFF, 0x58, 0x04, numerator, denominatorPower, 24, 8}));
}

QByteArray SmfTrack::chunk() const
{
    QList<MidiEvent> events = m_events;
    std::stable_sort(events.begin(), events.end(), [](const MidiEvent &a, const MidiEvent &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    QByteArray data;
    quint32 now = 0;
    for (const MidiEvent &event : events) {
        appendVariableLength(data, event.tick - now);
        data.append(event.bytes);
        now = event.tick;
    }
    appendVariableLength(data, m_end > now ? m_end - now : 0);
    data.append(bytesOf({0xFF, 0x2F, 0x00}));
    QByteArray out("MTrk");
    appendBigEndian(out, quint32(data.size()), 4);
    return out + data;
}

QByteArray SmfFile(const QList<SmfTrack> &tracks, int ticksPerQuarter)
{
    QByteArray out("MThd");
    appendBigEndian(out, 6, 4);
    appendBigEndian(out, 1, 2);
    appendBigEndian(out, quint32(tracks.size()), 2);
    appendBigEndian(out, quint32(ticksPerQuarter), 2);
    for (const SmfTrack &track : tracks)
        out += track.chunk();
    return out;
}
