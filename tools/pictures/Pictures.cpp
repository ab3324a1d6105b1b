#include "Pictures.h"

#include "Artwork.h"
#include "BmpWriter.h"
#include "JpegWriter.h"

#include <QBuffer>
#include <QImageWriter>

namespace art {

const std::vector<Picture>& pictures()
{
    static const std::vector<Picture> list = {
        { "dark_background", Format::Jpeg, { 10, 10 }, darkBackground, 100, true },
        { "light_background", Format::Jpeg, { 10, 10 }, lightBackground, 100, true },
        { "border_strip", Format::Jpeg, { 10, 7 }, borderStrip, 100, true },
        { "top_banner", Format::Jpeg, { 752, 102 }, topBanner, 92, false },
        { "bottom_banner", Format::ExifJpeg, { 640, 100 }, bottomBanner, 90, false },
        { "bus_banner", Format::Jpeg, { 468, 60 }, busBanner, 92, true },
        { "mascot", Format::Bmp555, { 89, 110 }, mascot },
        { "credits", Format::ProgressiveJpeg, { 244, 98 }, credits, 92, true },
        { "name_plate", Format::Jpeg, { 195, 30 }, namePlate, 94, true },
        { "icon", Format::Png, { 32, 32 }, icon },
    };
    return list;
}

QString extension(Format format)
{
    switch (format) {
    case Format::Bmp555:
        return QStringLiteral("bmp");
    case Format::Png:
        return QStringLiteral("png");
    default:
        return QStringLiteral("jpg");
    }
}

QString fileName(const Picture& picture, int scale)
{
    const QString name = QString::fromLatin1(picture.name);
    if (scale == 1)
        return name + QLatin1Char('.') + extension(picture.format);
    if (scale == 2)
        return name + QStringLiteral("@2x.") + extension(picture.format);
    return name + QLatin1Char('-') + QString::number(picture.size.width() * scale) + QLatin1Char('.')
        + extension(picture.format);
}

QImage render(const Picture& picture, int scale)
{
    QImage image(picture.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    picture.draw(painter);
    painter.end();
    if (picture.format == Format::Png)
        return image.convertToFormat(QImage::Format_ARGB32);
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray encode(const Picture& picture, const QImage& image, QString* error)
{
    switch (picture.format) {
    case Format::Bmp555:
        return BmpWriter::encode555(image);
    case Format::Png: {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image)) {
            *error = writer.errorString();
            return {};
        }
        return bytes;
    }
    default: {
        JpegOptions options;
        options.quality = picture.quality;
        options.fullChroma = picture.fullChroma;
        options.progressive = picture.format == Format::ProgressiveJpeg;
        if (picture.format == Format::ExifJpeg) {
            options.header = JpegOptions::Header::Exif;
            options.artist = QStringLiteral("SvetSoft");
            options.copyright = QStringLiteral("(c) SvetSoft, Svetloborsk");
            options.software = QStringLiteral("Sarwino picture generator");
        }
        JpegWriter writer;
        QByteArray bytes = writer.encode(image, options);
        if (bytes.isEmpty())
            *error = writer.error();
        return bytes;
    }
    }
}

} // namespace art
