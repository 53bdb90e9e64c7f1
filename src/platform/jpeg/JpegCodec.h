// JPEG pictures through libjpeg: decoding the skin picture and writing the pictures the
// asset tools draw. Neither function ever ends the program on a bad file.
#pragma once

#include <QImage>
#include <QString>

// Decodes a whole JPEG file (a native path). A missing, truncated or garbled file gives
// a null image; libjpeg's messages are kept quiet.
QImage DecodeJpegFile(const QString &nativePath);

// Writes the image as a baseline JPEG of the given quality (1 to 100); false on failure.
bool WriteJpegFile(const QImage &image, const QString &nativePath, int quality = 90);
