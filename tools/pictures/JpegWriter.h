// Writes a picture as a JPEG file with libjpeg: baseline or progressive, with
// the usual JFIF header or with an Exif block in its place, and with full or
// halved colour resolution.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

struct JpegOptions {
    enum class Header { Jfif, Exif };

    int quality = 90;
    bool progressive = false;
    // Full colour resolution (4:4:4); otherwise the colour planes are halved
    // both ways (4:2:0), as cameras and most editors write them.
    bool fullChroma = false;
    Header header = Header::Jfif;
    // Written into the Exif block.
    QString artist;
    QString copyright;
    QString software;
};

class JpegWriter {
public:
    // The encoded file, or an empty array when libjpeg gave up (error() says why).
    QByteArray encode(const QImage& image, const JpegOptions& options);
    QString error() const { return m_error; }

    // A minimal Exif block (APP1 payload) for a picture of this size: the
    // identifier, a little-endian TIFF header, IFD0 with orientation,
    // resolution and the texts, and the Exif IFD with version, colour space
    // and pixel size.
    static QByteArray exifBlock(QSize size, const JpegOptions& options);

private:
    QString m_error;
};
