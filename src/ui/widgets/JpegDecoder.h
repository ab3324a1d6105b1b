// Decodes JPEG pictures with libjpeg, baseline and progressive, to RGB. A
// corrupt, truncated or oversized file gives a message, never a crash: every
// libjpeg error, and every warning about damaged data, ends the decoding.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class JpegDecoder {
public:
    // Larger pictures are refused before any memory is taken for them.
    static constexpr qint64 kMaxPixels = 16 * 1024 * 1024;
    // A progressive file may hold any number of scans; real ones have a dozen.
    static constexpr int kMaxScans = 500;

    // The picture (QImage::Format_RGB888), or a null image with error() saying
    // what was wrong.
    QImage decode(const QByteArray& data);
    QString error() const { return m_error; }

private:
    QString m_error;
};
