// Sound clips: PCM read from WAV files (a character's frame sounds and the sound files
// a character "speaks"), with the length they take to play.
#pragma once

#include <QAudioFormat>
#include <QByteArray>

namespace agent::detail {

struct SoundClip
{
    QAudioFormat format;
    QByteArray pcm;
    qint64 durationMs = 0;
    bool valid() const { return format.isValid() && !pcm.isEmpty(); }
};

// Reads an uncompressed PCM WAV file (8, 16 or 32-bit integer samples, 1 or 2 channels).
// Anything else, or a short or garbled file, gives an invalid clip.
SoundClip parseWav(const QByteArray &bytes);

} // namespace agent::detail
