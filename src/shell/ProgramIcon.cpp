#include "shell/ProgramIcon.h"

#include "shell/AtomicFile.h"
#include "shell/UserFolders.h"

#include <QFile>
#include <QFileInfo>

namespace programicon {

QString name()
{
    return QStringLiteral("sarwino");
}

QString resource()
{
    return QStringLiteral(":/pictures/icon.png");
}

QString installedPath()
{
    const QString data = userfolders::dataHome();
    if (data.isEmpty())
        return {};
    return data + QStringLiteral("/icons/hicolor/32x32/apps/") + name() + QStringLiteral(".png");
}

QString install()
{
    const QString path = installedPath();
    QFile source(resource());
    if (path.isEmpty() || !source.open(QIODevice::ReadOnly))
        return {};
    const QByteArray picture = source.readAll();
    QFile present(path);
    if (present.open(QIODevice::ReadOnly) && present.readAll() == picture)
        return name();
    if (!userfolders::makeFolder(QFileInfo(path).path()))
        return {};
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    return atomicfile::write(path, picture, readable) ? name() : QString();
}

} // namespace programicon
