// The list of the program's pictures, with the file format and pixel size of
// each, and the rendering and encoding of one picture at a scale.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>

#include <vector>

namespace art {

enum class Format {
    Jpeg, // baseline, with a JFIF header
    ProgressiveJpeg,
    ExifJpeg, // baseline, with an Exif block instead of the JFIF header
    Bmp555, // 16-bit 5-5-5, bottom-up
    Png, // 32-bit with alpha
};

struct Picture {
    const char* name; // the file name without its extension
    Format format;
    QSize size; // in pixels at scale 1
    void (*draw)(QPainter&);
    int quality = 90; // JPEG quality
    bool fullChroma = false; // JPEG without halved colour planes
};

// The pictures the program carries in its resources.
const std::vector<Picture>& pictures();

// "top_banner.jpg", "top_banner@2x.jpg"; the icon at larger scales for the
// desktop: "icon-128.png".
QString fileName(const Picture& picture, int scale);
QString extension(Format format);

QImage render(const Picture& picture, int scale);
// The file's bytes, or an empty array with the reason in *error.
QByteArray encode(const Picture& picture, const QImage& image, QString* error);

} // namespace art
