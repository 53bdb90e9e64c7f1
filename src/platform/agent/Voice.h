// Synthetic speech: espeak-ng renders a character's words to PCM in memory (no sound
// card needed); the caller plays the PCM and uses its length as the speech's length.
#pragma once

#include "CharacterFile.h"
#include "SpeechText.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QVector>

namespace agent::detail {

struct SpokenAudio
{
    QAudioFormat format;
    QByteArray pcm;             // empty when the synthesiser is not available
    qint64 durationMs = 0;      // the spoken length (estimated without a synthesiser)
    QVector<qint64> wordStartsMs;
};

SpokenAudio synthesise(const ParsedSpeech &speech, const VoiceSettings &voice);

} // namespace agent::detail
