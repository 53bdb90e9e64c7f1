// Reading a character file (".acs": a zip archive with character.json and PNG frames,
// described in docs/character-format.md) into memory.
#pragma once

#include "Wav.h"

#include <QHash>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

struct zip;   // libzip's archive (its header stays in CharacterFile.cpp)

namespace agent::detail {

struct FrameStep
{
    int image = 0;          // index into CharacterData::images
    int durationMs = 100;   // unscaled
    int sound = -1;         // index into CharacterData::sounds, or -1
};

struct Animation
{
    QString name;           // as written in the file
    QVector<FrameStep> frames;
    QString returnName;     // empty when there is none
    bool loop = false;
};

struct VoiceSettings
{
    QString language = QStringLiteral("en");
    QString variant;
    int rate = 165;         // words a minute
    int pitch = 50;         // 0 to 100
    int range = 50;         // 0 to 100
    int volume = 100;       // 0 to 200
};

struct CharacterData
{
    QString name;
    int width = 0;
    int height = 0;
    VoiceSettings voice;
    QString showing, hiding, speaking;
    QString moveLeft, moveRight, moveUp, moveDown;
    QVector<QStringList> idling;            // levels of animation names
    QHash<QString, Animation> animations;   // key: lower-case name
    QVector<QByteArray> images;             // each distinct frame picture once, as PNG bytes
    QStringList imageEntries;               // where each picture lies in the file (no "./" ahead)
    QVector<SoundClip> sounds;
    QStringList soundEntries;               // where each sound lies in the file (no "./" ahead)

    // The animation of that name in any letter case, or nullptr.
    const Animation *find(const QString &name) const;
};

// Reads the file; throws agent::AgentError with a readable message when the file is
// missing, not a zip archive, has no valid character.json, names a missing or broken
// frame, or has no frames.
CharacterData loadCharacterFile(const QString &path);

// A problem in a character, with its place.
struct CharacterProblem
{
    // True: the game refuses the file (loadCharacterFile throws, with what as its reason).
    // False: the game loads it and makes do (a default duration, a blank frame, an
    // animation or a sound left out).
    bool refused = true;
    QString animation;          // the animation it concerns, or empty
    int frame = 0;              // its frame, counted from 1, or 0
    int line = 0, column = 0;   // in character.json, counted from 1, when it does not parse
    QString what;
};

// Reads a character with the same reader as loadCharacterFile, from a character file or
// from a folder laid out like one (character.json at its root), and lists every problem
// found instead of stopping at the first: what the game refuses and what it makes do
// with. The data holds what could be read.
CharacterData inspectCharacter(const QString &path, QVector<CharacterProblem> &problems);

// A loaded character file, opened again to read its frame pictures when they are first
// shown. The archive stays open once opened (reading a picture then costs no more than
// its bytes), so a file replaced since is still read as it was; one changed in place
// gives what the frame store's checks refuse.
class PictureArchive
{
public:
    explicit PictureArchive(const QString &path);
    ~PictureArchive();
    PictureArchive(const PictureArchive &) = delete;
    PictureArchive &operator=(const PictureArchive &) = delete;

    // The bytes of that entry (one of imageEntries), or an empty array when the file or
    // the entry cannot be read or is larger than limit. Never throws.
    QByteArray read(const QString &entry, qint64 limit);

private:
    QString path_;
    ::zip *zip_ = nullptr;   // libzip's archive, once opened
};

} // namespace agent::detail
