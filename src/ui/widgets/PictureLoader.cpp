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
