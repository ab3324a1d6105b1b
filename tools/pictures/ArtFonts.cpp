#include "ArtFonts.h"

#include <QFontDatabase>
#include <QHash>

namespace art {

namespace {

struct FaceFile {
    Face face;
    const char* path; // absolute, or relative to the bundled font folder
    const char* package;
};

const FaceFile faceFiles[] = {
    { Face::Rounded, "/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf", "fonts-comfortaa" },
    { Face::Brush, "/usr/share/fonts/opentype/kaushanscript/KaushanScript-Regular.otf", "fonts-kaushanscript" },
    { Face::Sans, "DejaVuSansCondensed.ttf", "the program's bundled fonts" },
    { Face::SansBold, "DejaVuSansCondensed-Bold.ttf", "the program's bundled fonts" },
    { Face::SansBoldItalic, "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-BoldOblique.ttf",
        "fonts-dejavu-extra" },
};

// The family name of each face; faces of one family differ in weight and style.
QHash<int, QString>& loaded()
{
    static QHash<int, QString> faces;
    return faces;
}

} // namespace

QString loadFonts(const QString& bundledFontFolder)
{
    for (const FaceFile& f : faceFiles) {
        QString path = QString::fromLatin1(f.path);
        if (!path.startsWith(QLatin1Char('/')))
            path = bundledFontFolder + QLatin1Char('/') + path;
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0)
            return QStringLiteral("cannot load the font %1 (from %2)").arg(path, QString::fromLatin1(f.package));
        loaded().insert(int(f.face), QFontDatabase::applicationFontFamilies(id).value(0));
    }
    return QString();
}

QFont font(Face face, int pixelSize)
{
    QFont f(loaded().value(int(face)));
    f.setPixelSize(pixelSize);
    switch (face) {
    case Face::Rounded:
    case Face::SansBold:
        f.setWeight(QFont::Bold);
        break;
    case Face::SansBoldItalic:
        f.setWeight(QFont::Bold);
        f.setStyle(QFont::StyleOblique);
        break;
    default:
        break;
    }
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(true);
    return f;
}

} // namespace art
