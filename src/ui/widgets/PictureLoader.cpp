#include "ui/widgets/PictureLoader.h"

#include "ui/widgets/JpegDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QPixmap>
#include <QtDebug>

// The pictures' resources live in this static library; make sure they are
// registered before the first look-up.
static void registerPictureResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

// Qt's BMP reader widens a 5-bit level v to v << 3, so white comes out as
// 248. Repeating the top bits in the gap (v << 3 | v >> 2) spans 0..255 as
// the level is meant.
void widenFiveBitLevels(QImage& image)
{
    image = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb(qRed(p) | qRed(p) >> 5, qGreen(p) | qGreen(p) >> 5, qBlue(p) | qBlue(p) >> 5);
        }
    }
}

bool isSixteenBitBmp(const QByteArray& data)
{
    return data.size() >= 30 && data.startsWith("BM") && quint8(data[28]) == 16 && quint8(data[29]) == 0;
}

} // namespace

QString PictureLoader::resourcePath(const QString& name, int scale)
{
    QString file = name;
    if (scale > 1) {
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        file.insert(dot < 0 ? file.size() : dot, QStringLiteral("@%1x").arg(scale));
    }
    return QStringLiteral(":/pictures/") + file;
}

QImage PictureLoader::decode(const QString& name, const QByteArray& data, QString* error)
{
    if (name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive)) {
        JpegDecoder decoder;
        QImage image = decoder.decode(data);
        if (image.isNull())
            *error = decoder.error();
        return image;
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    if (image.isNull())
        *error = reader.errorString();
    else if (isSixteenBitBmp(data))
        widenFiveBitLevels(image);
    return image;
}

QImage PictureLoader::load(const QString& name, int scale)
{
    registerPictureResources();
    static QHash<QString, QImage> cache;
    const QString path = resourcePath(name, scale);
    const auto found = cache.constFind(path);
    if (found != cache.constEnd())
        return *found;

    QImage image;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // Every picture is compiled in; a missing @2x version is no fault.
        if (scale == 1)
            qWarning("The picture %s is not in the program's resources", qPrintable(path));
    } else {
        QString error;
        image = decode(name, file.readAll(), &error);
        if (image.isNull())
            qWarning("The picture %s cannot be shown: %s", qPrintable(path), qPrintable(error));
    }
    cache.insert(path, image);
    return image;
}

QIcon PictureLoader::applicationIcon()
{
    QIcon icon;
    for (int scale : { 1, 2 }) {
        const QImage image = load(QStringLiteral("icon.png"), scale);
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
