#include "SpeechText.h"

namespace agent::detail {

namespace {

// Reads a double-quoted string starting at text[pos] == '"'; pos ends after the quote.
bool readQuoted(const QString &text, qsizetype &pos, QString &out)
{
    if (pos >= text.size() || text[pos] != QLatin1Char('"'))
        return false;
    const qsizetype end = text.indexOf(QLatin1Char('"'), pos + 1);
    if (end < 0)
        return false;
    out = text.mid(pos + 1, end - pos - 1);
    pos = end + 1;
    return true;
}

// Parses \map="a"="b"\ starting after "map"; pos ends after the closing backslash.
bool readMap(const QString &text, qsizetype &pos, QString &spoken, QString &shown)
{
    qsizetype p = pos;
    if (p >= text.size() || text[p] != QLatin1Char('='))
        return false;
    ++p;
    if (!readQuoted(text, p, spoken))
        return false;
    if (p >= text.size() || text[p] != QLatin1Char('='))
        return false;
    ++p;
    if (!readQuoted(text, p, shown))
        return false;
    if (p >= text.size() || text[p] != QLatin1Char('\\'))
        return false;
    pos = p + 1;
    return true;
}

} // namespace

ParsedSpeech parseSpeechText(const QString &text)
{
    ParsedSpeech result;
    SpeechSegment current;
    auto newSegment = [&](auto change) {
        if (!current.text.isEmpty() || current.pauseMs > 0) {
            result.segments << current;
            current.text.clear();
            current.pauseMs = 0;
        }
        change(current);
    };
    auto addText = [&](const QString &spoken, const QString &shown) {
        current.text += spoken;
        result.spoken += spoken;
        result.shown += shown;
    };

    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype slash = text.indexOf(QLatin1Char('\\'), pos);
        if (slash < 0) {
            addText(text.mid(pos), text.mid(pos));
            break;
        }
        addText(text.mid(pos, slash - pos), text.mid(pos, slash - pos));
        pos = slash + 1;

        qsizetype nameEnd = pos;
        while (nameEnd < text.size() && text[nameEnd].isLetter())
            ++nameEnd;
        const QString name = text.mid(pos, nameEnd - pos).toLower();
        if (name == QLatin1String("map")) {
            QString spoken, shown;
            qsizetype p = nameEnd;
            if (readMap(text, p, spoken, shown)) {
                addText(spoken, shown);
                pos = p;
                continue;
            }
        }
        const qsizetype close = text.indexOf(QLatin1Char('\\'), pos);
        if (close < 0)
            continue;   // a lone backslash: dropped, the rest is plain text
        const QString body = text.mid(nameEnd, close - nameEnd);
        pos = close + 1;
        bool ok = false;
        const int value = body.startsWith(QLatin1Char('=')) ? body.mid(1).trimmed().toInt(&ok) : 0;
        if (name == QLatin1String("pau") && ok && value > 0)
            newSegment([&](SpeechSegment &s) { s.pauseMs = qMin(value, 60000); });
        else if (name == QLatin1String("spd") && ok)
            newSegment([&](SpeechSegment &s) { s.rate = qBound(80, value, 450); });
        else if (name == QLatin1String("pit") && ok)
            newSegment([&](SpeechSegment &s) { s.pitch = qBound(0, value, 100); });
        else if (name == QLatin1String("vol") && ok)
            newSegment([&](SpeechSegment &s) { s.volume = qBound(0, value, 65535) * 100 / 65535; });
        else if (name == QLatin1String("rst"))
            newSegment([&](SpeechSegment &s) { s.rate = s.pitch = s.volume = -1; });
    }
    if (!current.text.isEmpty() || current.pauseMs > 0)
        result.segments << current;
    return result;
}

} // namespace agent::detail
