#include "SampleCharacter.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QStringList>
#include <QtEndian>

#include <zip.h>

#include <cmath>

namespace agent::sample {

namespace {

const QStringList &animationNames()
{
    static const QStringList names = {
        "greet", "wave", "wave_return", "pleased", "cheer", "congratulate", "gestureleft",
        "lookleft", "lookright", "lookup", "lookdown", "blink", "alert", "surprised",
        "idle_1", "idle_2", "moveup", "movedown", "moveleft", "moveright", "hide", "show",
        "speak", "postcall", "startgate", "rest"};
    return names;
}

int frameCount(const QString &name)
{
    return name == QLatin1String("rest") ? 1 : 2;
}

// A round figure: the body colour depends on the animation, the arm angle and the eyes
// on the frame, so that every frame differs.
QImage drawFrame(int animationIndex, int frame, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = QColor::fromHsv((animationIndex * 37) % 360, 140, 230);
    const QRectF torso(width * 0.2, height * 0.25, width * 0.6, height * 0.7);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(body);
    p.drawEllipse(torso);
    const double angle = (frame * 50 + animationIndex * 7) * M_PI / 180.0;
    const QPointF shoulder(width * 0.75, height * 0.5);
    p.drawLine(shoulder, shoulder + QPointF(std::cos(angle), -std::sin(angle)) * width * 0.22);
    p.setBrush(Qt::white);
    const double eyeShift = (frame % 2 ? 2 : -2);
    p.drawEllipse(QPointF(width * 0.4 + eyeShift, height * 0.42), width * 0.07, width * 0.07);
    p.drawEllipse(QPointF(width * 0.6 + eyeShift, height * 0.42), width * 0.07, width * 0.07);
    p.end();
    return image;
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

QString writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        return QStringLiteral("cannot create %1 (libzip error %2)").arg(path).arg(error);
    for (const auto &entry : entries) {
        // libzip reads the buffer at zip_close(); the entries outlive that call.
        zip_source_t *source = zip_source_buffer(zip, entry.second.constData(), zip_uint64_t(entry.second.size()), 0);
        if (!source || zip_file_add(zip, entry.first.toUtf8().constData(), source, ZIP_FL_OVERWRITE) < 0) {
            if (source)
                zip_source_free(source);
            const QString why = QString::fromUtf8(zip_strerror(zip));
            zip_discard(zip);
            return why;
        }
    }
    if (zip_close(zip) != 0) {
        const QString why = QString::fromUtf8(zip_strerror(zip));
        zip_discard(zip);
        return why;
    }
    return {};
}

QByteArray sampleCharacterJson(const QString &name, int width, int height)
{
    QJsonObject animations;
    for (const QString &animation : animationNames()) {
        QJsonArray frames;
        for (int f = 0; f < frameCount(animation); ++f)
            frames.append(QJsonObject{{"image", QStringLiteral("frames/%1_%2.png").arg(animation).arg(f)},
                                      {"duration", 100}});
        QJsonObject entry{{"frames", frames}};
        if (animation == QLatin1String("wave"))
            entry.insert("return", "wave_return");
        if (animation.startsWith(QLatin1String("move")) || animation == QLatin1String("speak"))
            entry.insert("loop", true);
        animations.insert(animation, entry);
    }
    const QJsonObject root{
        {"format", "hollyfrost-character"},
        {"version", 1},
        {"name", name},
        {"width", width},
        {"height", height},
        {"voice", QJsonObject{{"language", "en"}, {"rate", 175}, {"pitch", 50}, {"range", 50}, {"volume", 100}}},
        {"states", QJsonObject{{"showing", "show"},
                               {"hiding", "hide"},
                               {"speaking", "speak"},
                               {"moving", QJsonObject{{"left", "moveleft"}, {"right", "moveright"},
                                                      {"up", "moveup"}, {"down", "movedown"}}},
                               {"idling", QJsonArray{QJsonArray{"idle_1", "blink"}, QJsonArray{"idle_2"}}}}},
        {"animations", animations}};
    return QJsonDocument(root).toJson();
}

QString writeSampleCharacter(const QString &path, const QString &name, int width, int height)
{
    QList<QPair<QString, QByteArray>> entries;
    entries << qMakePair(QStringLiteral("character.json"), sampleCharacterJson(name, width, height));
    const QStringList &names = animationNames();
    for (int a = 0; a < names.size(); ++a)
        for (int f = 0; f < frameCount(names[a]); ++f)
            entries << qMakePair(QStringLiteral("frames/%1_%2.png").arg(names[a]).arg(f),
                                 png(drawFrame(a, f, width, height)));
    return writeZip(path, entries);
}

QByteArray wavBytes(int rate, int channels, int bits, int frames, quint16 tag)
{
    QByteArray data(frames * channels * bits / 8, '\0');
    QByteArray out = "RIFF";
    auto u32 = [&out](quint32 v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); };
    auto u16 = [&out](quint16 v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); };
    u32(quint32(36 + data.size()));
    out += "WAVEfmt ";
    u32(16);
    u16(tag);
    u16(quint16(channels));
    u32(quint32(rate));
    u32(quint32(rate * channels * bits / 8));
    u16(quint16(channels * bits / 8));
    u16(quint16(bits));
    out += "LIST";      // a chunk the reader must step over
    u32(3);
    out += "abc";
    out += '\0';        // pad byte of the odd-sized chunk
    out += "data";
    u32(quint32(data.size()));
    return out + data;
}

} // namespace agent::sample
