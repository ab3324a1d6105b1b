#include "shell/Shortcut.h"

#include "shell/AtomicFile.h"
#include "shell/DesktopEntry.h"
#include "shell/ProgramIcon.h"
#include "shell/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

// A menu entry is a few kilobytes; a larger file is no entry of ours to know.
constexpr qint64 kEntryLimit = 256 * 1024;

// The program an Exec value starts: its first argument, quoting undone.
QString execProgram(const QString& exec)
{
    const QString value = exec.trimmed();
    if (!value.startsWith(QLatin1Char('"')))
        return value.section(QLatin1Char(' '), 0, 0);
    QString program;
    for (qsizetype i = 1; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('"'))
            return program;
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size())
            ++i;
        program += value[i];
    }
    return {}; // an unclosed quote
}

// The file a command starts: a path as it is, a bare name looked up on the PATH.
QString commandOnDisk(const QString& command)
{
    if (command.contains(QLatin1Char('/')))
        return userfolders::fileOnDisk(command);
    if (command.isEmpty())
        return {};
    const QString found = QStandardPaths::findExecutable(command);
    return found.isEmpty() ? QString() : userfolders::fileOnDisk(found);
}

// Whether the entry's text is a menu item that starts program.
bool startsInMenu(const QByteArray& text, const QString& program)
{
    bool inGroup = false;
    QString exec;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inGroup || eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if ((key == "Hidden" || key == "NoDisplay") && value == "true")
            return false; // not in the menu
        if (key == "Exec")
            exec = DesktopEntry::unescaped(QString::fromUtf8(value));
    }
    return commandOnDisk(execProgram(exec)) == program;
}

} // namespace

void CreateShortcut(const QString& Target, unsigned char Kind, const QString& Folder, QString& LinkPath,
    const QString& Description, const QStringList& Arguments, const QString& WorkingFolder)
{
    QString folder = folderOfKind(Kind, Folder);
    const QString name = shortcutName(Target);
    if (folder.isEmpty() || name.isEmpty())
        return;
    if (!Folder.isEmpty() && Kind != ShortcutFolder)
        folder += QLatin1Char('/') + Folder;
    // The folder as the disk has it, so the entry lands where the folder
    // really is; a missing one (the sub-folder is never created) writes nothing.
    folder = userfolders::onDisk(folder);
    if (folder.isEmpty())
        return; // the icon is not put in place for a shortcut that cannot be written
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".desktop");

    DesktopEntry entry;
    entry.name = name;
    entry.comment = Description;
    entry.program = Target;
    entry.arguments = Arguments;
    entry.workingFolder = WorkingFolder.isEmpty() ? folderOf(Target) : WorkingFolder;
    entry.icon = programicon::install();
    const std::optional<QByteArray> text = entry.text();
    // Executable, as desktops want a launcher they may start.
    const auto launcher = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    if (!text)
        return;
    // An entry that is already as it should be is left alone: no write, no
    // wait for the disk at every start. Only a regular file is read, never
    // through a link: a link in the entry's place is replaced itself.
    const bool same = atomicfile::readRegular(path, text->size(), atomicfile::Links::Refuse) == *text
        && (QFileInfo(path).permissions() & launcher) == launcher;
    if (same || atomicfile::write(path, *text, launcher))
        LinkPath = path;
}

void GetProgramsFolder(QString& Folder)
{
    const QString applications = userfolders::applications();
    Folder = userfolders::makeFolder(applications) ? userfolders::onDisk(applications) : QString();
}

bool SystemMenuStarts(const QString& Target)
{
    const QString program = userfolders::fileOnDisk(Target);
    if (program.isEmpty())
        return false;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share/:/usr/share/");
    for (const QString& data : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(data))
            continue;
        const QDir applications(data + QStringLiteral("/applications"));
        for (const QString& file : applications.entryList({ QStringLiteral("*.desktop") }, QDir::Files)) {
            const std::optional<QByteArray> text
                = atomicfile::readRegular(applications.filePath(file), kEntryLimit, atomicfile::Links::Follow);
            if (text && startsInMenu(*text, program))
                return true;
        }
    }
    return false;
}
