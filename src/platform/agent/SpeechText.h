// Speech text with tags: what a character says aloud and what its word balloon shows.
//
// Tags sit between backslashes and are never spoken:
//   \map="spoken"="shown"\  says the first text and shows the second;
//   \pau=N\                 a pause of N milliseconds;
//   \spd=N\                 speed in words a minute;
//   \pit=N\                 pitch, 0 to 100;
//   \vol=N\                 volume, 0 to 65535 (65535 is the voice's own volume);
//   \rst\                   back to the voice's own settings;
// any other tag is dropped. Tag names are matched without regard to case.
#pragma once

#include <QString>
#include <QVector>

namespace agent::detail {

struct SpeechSegment
{
    QString text;       // spoken text
    int pauseMs = 0;    // silence before the text
    int rate = -1;      // -1: the voice's own setting
    int pitch = -1;
    int volume = -1;    // 0 to 100 percent of the voice's volume, -1: unchanged
};

struct ParsedSpeech
{
    QString spoken;     // the words said aloud
    QString shown;      // the words the balloon shows
    QVector<SpeechSegment> segments;
};

ParsedSpeech parseSpeechText(const QString &text);

} // namespace agent::detail
