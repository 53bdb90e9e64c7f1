// The frame sounds of character files: the WAV reader.
#include "FuzzSupport.h"
#include "Wav.h"

#include <QtEndian>

namespace {
QByteArray wav(int rate, int channels, int bits, int frames)
{
    QByteArray data(frames * channels * bits / 8, '\x10');
    QByteArray out = "RIFF";
    auto u32 = [&out](quint32 v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); };
    auto u16 = [&out](quint16 v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); };
    u32(quint32(36 + data.size()));
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(quint16(channels));
    u32(quint32(rate));
    u32(quint32(rate * channels * bits / 8));
    u16(quint16(channels * bits / 8));
    u16(quint16(bits));
    out += "data";
    u32(quint32(data.size()));
    return out + data;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    fuzz::WriteSeed(seeds, QStringLiteral("mono16.wav"), wav(8000, 1, 16, 40));
    fuzz::WriteSeed(seeds, QStringLiteral("stereo8.wav"), wav(22050, 2, 8, 30));
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const agent::detail::SoundClip clip = agent::detail::parseWav(fuzz::Bytes(data, size));
    if (clip.valid() && (clip.pcm.size() > qsizetype(size) || clip.durationMs < 0))
        std::abort();
    return 0;
}
