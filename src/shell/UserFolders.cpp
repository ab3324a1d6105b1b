#include "shell/UserFolders.h"

#include "shell/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cstdlib>

namespace {

// Paths are kept as given: "a/../b" means what the disk makes of it, which
// only the disk can say (a may be a link, or missing).
QString absoluteFromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : QString();
}

// Whether the path has a "." or ".." component, which no folder is created for.
bool goesAround(const QString& path)
{
    for (const QString& part : path.split(QLatin1Char('/'))) {
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return true;
    }
    return false;
}

// One value in the shell syntax user-dirs.dirs is written in: double-quoted
// with backslash escapes, or bare up to the first blank.
QByteArray unquote(QByteArray value)
{
    value = value.trimmed();
    if (!value.startsWith('"')) {
        const qsizetype blank = value.indexOf(' ');
        return blank < 0 ? value : value.left(blank);
    }
    QByteArray out;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '"')
            break;
        if (c == '\\' && i + 1 < value.size())
            out += value[++i];
        else
            out += c;
    }
    return out;
}

} // namespace

namespace userfolders {

namespace {

// user-dirs.dirs is a few hundred bytes.
constexpr qint64 kUserDirsLimit = 64 * 1024;

} // namespace

QString home()
{
    return absoluteFromEnvironment("HOME");
}

QString configHome()
{
    const QString set = absoluteFromEnvironment("XDG_CONFIG_HOME");
    if (!set.isEmpty())
        return set;
    const QString h = home();
    return h.isEmpty() ? QString() : h + QStringLiteral("/.config");
}

QString dataHome()
{
    const QString set = absoluteFromEnvironment("XDG_DATA_HOME");
    if (!set.isEmpty())
        return set;
    const QString h = home();
    return h.isEmpty() ? QString() : h + QStringLiteral("/.local/share");
}

std::optional<QString> userDirValue(const QByteArray& fileText, const QByteArray& name, const QString& home)
{
    const QByteArray key = "XDG_" + name + "_DIR=";
    std::optional<QByteArray> found;
    for (const QByteArray& rawLine : fileText.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith(key))
            found = unquote(line.mid(key.size()));
    }
    if (!found)
        return std::nullopt;
    QString value = QFile::decodeName(*found);
    for (const QString& homeWord : { QStringLiteral("$HOME"), QStringLiteral("${HOME}") }) {
        if (value == homeWord || value.startsWith(homeWord + QLatin1Char('/'))) {
            if (home.isEmpty())
                return std::nullopt;
            value = home + value.mid(homeWord.size());
            break;
        }
    }
    if (!QDir::isAbsolutePath(value))
        return std::nullopt;
    return value;
}

QString desktop()
{
    const QString h = home();
    if (h.isEmpty())
        return {};
    QString folder;
    const QString configFolder = configHome();
    // The file is a few hundred bytes; anything else at its name (a pipe that
    // would never end, a device, a huge file) is no such file.
    const std::optional<QByteArray> text = configFolder.isEmpty()
        ? std::nullopt
        : atomicfile::readRegular(
            configFolder + QStringLiteral("/user-dirs.dirs"), kUserDirsLimit, atomicfile::Links::Follow);
    if (text) {
        if (const auto value = userDirValue(*text, "DESKTOP", h))
            folder = *value;
    }
    if (folder.isEmpty())
        folder = absoluteFromEnvironment("XDG_DESKTOP_DIR");
    if (folder.isEmpty())
        folder = h + QStringLiteral("/Desktop");
    folder = onDisk(folder);
    // A desktop set to the home folder means the user has none.
    return folder == onDisk(h) ? QString() : folder;
}

namespace {

QString resolved(const QString& path)
{
    if (path.isEmpty())
        return {};
    char* real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return {};
    const QString result = QFile::decodeName(real);
    std::free(real);
    return result;
}

} // namespace

QString onDisk(const QString& folder)
{
    const QString path = resolved(folder);
    return QFileInfo(path).isDir() ? path : QString();
}

QString fileOnDisk(const QString& path)
{
    const QString file = resolved(path);
    return QFileInfo(file).isFile() ? file : QString();
}

QString applications()
{
    const QString data = dataHome();
    return data.isEmpty() ? QString() : data + QStringLiteral("/applications");
}

bool makeFolder(const QString& path)
{
    if (!onDisk(path).isEmpty())
        return true;
    if (!QDir::isAbsolutePath(path) || goesAround(path))
        return false;
    QList<QString> missing;
    for (QString at = QDir::cleanPath(path); !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (QFileInfo(at).path() == at)
            break;
    }
    for (const QString& folder : missing) {
        if (!QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
    }
    return QFileInfo(path).isDir();
}

} // namespace userfolders
