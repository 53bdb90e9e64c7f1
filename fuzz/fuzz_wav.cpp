// The frame sounds of character files: the WAV reader.
#include "FuzzSupport.h"
#include "SampleCharacter.h"
#include "Wav.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString seeds = fuzz::SeedFolder();
    if (seeds.isEmpty())
        return 0;
    fuzz::WriteSeed(seeds, QStringLiteral("mono16.wav"), agent::sample::wavBytes(8000, 1, 16, 40));
    fuzz::WriteSeed(seeds, QStringLiteral("stereo8.wav"), agent::sample::wavBytes(22050, 2, 8, 30));
    fuzz::SeedsWritten();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const agent::detail::SoundClip clip = agent::detail::parseWav(fuzz::Bytes(data, size));
    if (clip.valid() && (clip.pcm.size() > qsizetype(size) || clip.durationMs < 0))
        std::abort();
    return 0;
}
