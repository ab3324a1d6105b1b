// pictures: draws the program's pictures and writes their files.
//
//   pictures OUT_FOLDER [NAME...]
//
// Writes every picture of the program's resources at its own pixel size and
// at double size ("@2x"), in the format the program carries it in, plus the
// icon at 128 and 256 pixels for the desktop. NAME limits the run to some
// pictures ("top_banner"). The same sources give the same files on every
// run; a file is replaced only when complete.

#include "ArtFonts.h"
#include "Pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

bool write(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "pictures: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: pictures OUT_FOLDER [NAME...]\n");
        return 2;
    }
    const QString error = art::loadFonts(QStringLiteral(SARWINO_BUNDLED_FONTS));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "pictures: %s\n", qPrintable(error));
        return 1;
    }
    const QDir out(args.first());
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "pictures: cannot make the folder %s\n", qPrintable(out.path()));
        return 1;
    }
    const QStringList only = args.mid(1);
    bool ok = true;
    for (const art::Picture& picture : art::pictures()) {
        if (!only.isEmpty() && !only.contains(QString::fromLatin1(picture.name)))
            continue;
        QList<int> scales = { 1, 2 };
        if (picture.format == art::Format::Png)
            scales << 4 << 8;
        for (int scale : scales) {
            QString encodeError;
            const QByteArray bytes = art::encode(picture, art::render(picture, scale), &encodeError);
            const QString path = out.filePath(art::fileName(picture, scale));
            if (bytes.isEmpty()) {
                std::fprintf(stderr, "pictures: cannot encode %s: %s\n", qPrintable(path), qPrintable(encodeError));
                ok = false;
                continue;
            }
            ok = write(path, bytes) && ok;
        }
    }
    return ok ? 0 : 1;
}
