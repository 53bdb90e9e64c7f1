#include "Voice.h"

#include <espeak-ng/speak_lib.h>

#include <cstdlib>

namespace agent::detail {

namespace {

struct Collector
{
    QByteArray pcm;
    QVector<qint64> words;
    qint64 offsetMs = 0;
};

// The synthesis in progress. espeak-ng calls back from inside espeak_Synth on this
// thread, and not every call carries the user data, so the target is kept here.
Collector *activeCollector = nullptr;

int onSynth(short *wav, int samples, espeak_EVENT *events)
{
    Collector *collector = activeCollector;
    for (espeak_EVENT *e = events; collector && e && e->type != espeakEVENT_LIST_TERMINATED; ++e)
        if (e->type == espeakEVENT_WORD)
            collector->words << collector->offsetMs + e->audio_position;
    if (collector && wav && samples > 0)
        collector->pcm.append(reinterpret_cast<const char *>(wav), qsizetype(samples) * 2);
    return 0;
}

// The sample rate, or 0 when espeak-ng cannot start (no voice data).
int sampleRate()
{
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr,
                                        espeakINITIALIZE_DONT_EXIT);
        if (r <= 0)
            return 0;
        espeak_SetSynthCallback(onSynth);
        std::atexit([] { espeak_Terminate(); });
        return r;
    }();
    return rate;
}

void setVoice(const VoiceSettings &voice)
{
    QByteArray name = voice.language.toUtf8();
    if (!voice.variant.isEmpty())
        name += '+' + voice.variant.toUtf8();
    if (espeak_SetVoiceByName(name.constData()) != EE_OK
        && espeak_SetVoiceByName(voice.language.toUtf8().constData()) != EE_OK)
        espeak_SetVoiceByName("en");
}

// Without a synthesiser the words still take about as long as the voice would need.
SpokenAudio estimate(const ParsedSpeech &speech, const VoiceSettings &voice)
{
    SpokenAudio audio;
    for (const SpeechSegment &segment : speech.segments) {
        audio.durationMs += segment.pauseMs;
        const int rate = segment.rate > 0 ? segment.rate : voice.rate;
        const auto words = segment.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < words.size(); ++i) {
            audio.wordStartsMs << audio.durationMs;
            audio.durationMs += 60000 / qMax(1, rate);
        }
    }
    return audio;
}

} // namespace

SpokenAudio synthesise(const ParsedSpeech &speech, const VoiceSettings &voice)
{
    const int rate = sampleRate();
    if (rate <= 0)
        return estimate(speech, voice);

    setVoice(voice);
    Collector collector;
    const qint64 bytesPerMs = rate * 2 / 1000;
    for (const SpeechSegment &segment : speech.segments) {
        if (segment.pauseMs > 0)
            collector.pcm.append(QByteArray((qsizetype(rate) * segment.pauseMs / 1000) * 2, '\0'));
        if (segment.text.trimmed().isEmpty())
            continue;
        espeak_SetParameter(espeakRATE, segment.rate > 0 ? segment.rate : voice.rate, 0);
        espeak_SetParameter(espeakPITCH, segment.pitch >= 0 ? segment.pitch : voice.pitch, 0);
        espeak_SetParameter(espeakRANGE, voice.range, 0);
        espeak_SetParameter(espeakVOLUME,
                            segment.volume >= 0 ? voice.volume * segment.volume / 100 : voice.volume, 0);
        collector.offsetMs = collector.pcm.size() / qMax<qint64>(1, bytesPerMs);
        const QByteArray utf8 = segment.text.toUtf8();
        activeCollector = &collector;
        espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8, nullptr, nullptr);
        activeCollector = nullptr;
    }

    SpokenAudio audio;
    audio.format.setSampleRate(rate);
    audio.format.setChannelCount(1);
    audio.format.setSampleFormat(QAudioFormat::Int16);
    audio.pcm = std::move(collector.pcm);
    audio.durationMs = audio.pcm.size() / 2 * 1000 / rate;
    audio.wordStartsMs = std::move(collector.words);
    return audio;
}

} // namespace agent::detail
