#include "shell/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace {

QString absoluteFromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
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
    return QDir::cleanPath(value);
}

QString desktop()
{
    const QString h = home();
    if (h.isEmpty())
        return {};
    QString folder;
    const QString configFolder = configHome();
    QFile file(configFolder + QStringLiteral("/user-dirs.dirs"));
    if (!configFolder.isEmpty() && file.open(QIODevice::ReadOnly)) {
        if (const auto value = userDirValue(file.readAll(), "DESKTOP", h))
            folder = *value;
    }
    if (folder.isEmpty())
        folder = absoluteFromEnvironment("XDG_DESKTOP_DIR");
    if (folder.isEmpty())
        folder = h + QStringLiteral("/Desktop");
    // A desktop set to the home folder means the user has none.
    return folder == h ? QString() : folder;
}

QString applications()
{
    const QString data = dataHome();
    return data.isEmpty() ? QString() : data + QStringLiteral("/applications");
}

bool makeFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return true;
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
