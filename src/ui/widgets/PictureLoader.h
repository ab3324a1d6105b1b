// Loads the windows' pictures from the program's resources (":/pictures/"):
// JPEG files through JpegDecoder, BMP and PNG files through Qt's readers.
// Each picture is decoded once and shared by every control that shows it.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

class PictureLoader {
public:
    // The picture of this file name ("top_banner.jpg") at scale 1, or its
    // double-resolution version ("top_banner@2x.jpg") at scale 2; a null
    // image (and a warning on the console) when there is none or it is
    // damaged.
    static QImage load(const QString& name, int scale = 1);

    // The program's icon, plain and double size.
    static QIcon applicationIcon();

    // The resource path of a picture at a scale.
    static QString resourcePath(const QString& name, int scale = 1);

    // Decodes one file's bytes by its name's extension; error says why not.
    static QImage decode(const QString& name, const QByteArray& data, QString* error);
};
