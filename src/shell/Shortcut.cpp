#include "shell/Shortcut.h"

#include "shell/AtomicFile.h"
#include "shell/DesktopEntry.h"
#include "shell/ProgramIcon.h"
#include "shell/UserFolders.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString folderOfKind(unsigned char kind, const QString& folder)
{
    switch (kind) {
    case ShortcutDesktop:
        return userfolders::desktop();
    case ShortcutStartMenu: {
        QString programs;
        GetProgramsFolder(programs);
        return programs;
    }
    case ShortcutFolder:
        return folder;
    default:
        return {}; // quick launch, send-to and anything else
    }
}

// The file name of target with its extension, if any, replaced.
QString shortcutName(const QString& target)
{
    const QString file = QFileInfo(target).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? file.left(dot) : file;
}

// The folder part of target, with a trailing separator.
QString folderOf(const QString& target)
{
    const QString folder = QFileInfo(target).path();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

void CreateShortcut(const QString& Target, unsigned char Kind, const QString& Folder, QString& LinkPath,
    const QString& Description, const QStringList& Arguments, const QString& WorkingFolder)
{
    const QString folder = folderOfKind(Kind, Folder);
    const QString name = shortcutName(Target);
    if (folder.isEmpty() || name.isEmpty())
        return;
    QString path = folder + QLatin1Char('/');
    if (!Folder.isEmpty() && Kind != ShortcutFolder)
        path += Folder + QLatin1Char('/');
    path = QDir::cleanPath(path + name + QStringLiteral(".desktop"));

    DesktopEntry entry;
    entry.name = name;
    entry.comment = Description;
    entry.program = Target;
    entry.arguments = Arguments;
    entry.workingFolder = WorkingFolder.isEmpty() ? folderOf(Target) : WorkingFolder;
    if (!QFileInfo(path).dir().exists())
        return; // the icon is not put in place for a shortcut that cannot be written
    entry.icon = programicon::install();
    const std::optional<QByteArray> text = entry.text();
    // Executable, as desktops want a launcher they may start.
    const auto launcher = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    if (!text)
        return;
    // An entry that is already as it should be is left alone: no write, no
    // wait for the disk at every start.
    QFile present(path);
    const bool same = QFileInfo(path).isFile() && (present.permissions() & launcher) == launcher
        && present.open(QIODevice::ReadOnly) && present.readAll() == *text;
    if (same || atomicfile::write(path, *text, launcher))
        LinkPath = path;
}

void GetProgramsFolder(QString& Folder)
{
    Folder = userfolders::applications();
    if (!Folder.isEmpty())
        userfolders::makeFolder(Folder);
}
