#include "app/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

// The font files live in this static library; Q_INIT_RESOURCE must stand
// outside any namespace.
static void registerFontResources()
{
    Q_INIT_RESOURCE(fonts);
}

namespace fonts {

namespace {

// The faces in the resources (src/assets/fonts/fonts.qrc).
const char* const fontFiles[] = {
    ":/fonts/DejaVuSansCondensed.ttf",
    ":/fonts/DejaVuSansCondensed-Bold.ttf",
};

// Qt registers the condensed faces both under their own family name and
// under the common "DejaVu Sans"; only the former picks the condensed width.
const char bundledFamily[] = "DejaVu Sans Condensed";

const char* const replacedFamilies[] = { "MS Sans Serif", "Microsoft Sans Serif" };

} // namespace

QString installSubstituteFont()
{
    static const QString installed = [] {
        registerFontResources();
        const QString family = QString::fromLatin1(bundledFamily);
        bool loaded = false;
        for (const char* file : fontFiles) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            if (id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(family))
                loaded = true;
        }
        if (!loaded)
            return QString();
        for (const char* name : replacedFamilies)
            QFont::insertSubstitution(QString::fromLatin1(name), family);
        return family;
    }();
    return installed;
}

QFont msSansSerif(int pixelSize, bool bold)
{
    QFont font(QString::fromLatin1(replacedFamilies[0]));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace fonts
