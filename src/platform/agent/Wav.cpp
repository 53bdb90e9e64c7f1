#include "Wav.h"

namespace agent::detail {

namespace {

// Little-endian numbers; the caller has checked that the bytes exist.
quint16 u16(const QByteArray &b, qsizetype at)
{
    return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8);
}

quint32 u32(const QByteArray &b, qsizetype at)
{
    return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16;
}

} // namespace

SoundClip parseWav(const QByteArray &bytes)
{
    SoundClip clip;
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return clip;

    int channels = 0, bits = 0, rate = 0;
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const qint64 size = u32(bytes, pos + 4);
        const qsizetype body = pos + 8;
        const qint64 available = qMin<qint64>(size, bytes.size() - body);
        if (id == "fmt ") {
            if (available < 16)
                return clip;
            const quint16 tag = u16(bytes, body);
            channels = u16(bytes, body + 2);
            rate = int(u32(bytes, body + 4));
            bits = u16(bytes, body + 14);
            // 1 = integer PCM; 0xFFFE = extensible, which for these sizes is PCM too.
            if (tag != 1 && tag != 0xFFFE)
                return clip;
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return clip;
            clip.pcm = bytes.mid(body, available);
            break;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat || channels < 1 || channels > 2 || rate < 1000 || rate > 192000)
        return SoundClip();

    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    switch (bits) {
    case 8: format.setSampleFormat(QAudioFormat::UInt8); break;
    case 16: format.setSampleFormat(QAudioFormat::Int16); break;
    case 32: format.setSampleFormat(QAudioFormat::Int32); break;
    default: return SoundClip();
    }
    const int frameBytes = channels * bits / 8;
    clip.pcm.truncate(clip.pcm.size() - clip.pcm.size() % frameBytes);
    if (clip.pcm.isEmpty())
        return SoundClip();
    clip.format = format;
    clip.durationMs = qint64(clip.pcm.size() / frameBytes) * 1000 / rate;
    return clip;
}

} // namespace agent::detail
