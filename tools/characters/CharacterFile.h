// Collects a character's frames and animations and writes them as a character file: a
// zip archive with character.json and PNG frames (see docs/character-format.md).
#pragma once

#include "Look.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace chars {

struct FrameRef
{
    QString image;      // path inside the archive
    int duration = 100; // milliseconds
};

struct Animation
{
    QList<FrameRef> frames;
    QString returnName; // empty: none
    bool loop = false;
};

struct States
{
    QString showing, hiding, speaking;
    QString moveLeft, moveRight, moveUp, moveDown;
    QList<QStringList> idling;
};

class CharacterFile
{
public:
    CharacterFile(const QString &name, int width, int height);

    void setVoice(const Voice &voice) { voice_ = voice; }
    void setStates(const States &states) { states_ = states; }

    // Stores the picture as a PNG and returns its path inside the archive. A picture
    // identical to one already stored returns that one's path, so repeated poses cost
    // nothing. The name is used for a new file ("frames/<name>.png").
    QString addFrame(const QImage &image, const QString &name);
    void addAnimation(const QString &name, const Animation &animation);

    int frameFileCount() const { return int(pngs_.size()); }
    const QMap<QString, Animation> &animations() const { return animations_; }
    // The PNG bytes stored under a path, or empty.
    QByteArray frameData(const QString &path) const { return pngs_.value(path); }

    QByteArray json() const;
    // Writes the archive to a temporary file beside the target and renames it into
    // place, so a failed run never leaves a half-written character. On failure the
    // reason goes to *error.
    bool write(const QString &path, QString *error) const;

private:
    QString name_;
    int width_, height_;
    Voice voice_;
    States states_;
    QMap<QString, QByteArray> pngs_;          // path -> PNG bytes
    QHash<QByteArray, QString> byContent_;    // digest of the pixels -> path
    QMap<QString, Animation> animations_;
};

} // namespace chars
