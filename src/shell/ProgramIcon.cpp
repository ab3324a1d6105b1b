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
    const QFileInfo info(path);
    if (!userfolders::makeFolder(info.path()))
        return {};
    const QString folder = userfolders::onDisk(info.path());
    if (folder.isEmpty())
        return {};
    const QString file = folder + QLatin1Char('/') + info.fileName();
    // Only a regular file as large as the picture can be the picture; a link
    // there is replaced, not followed.
    if (atomicfile::readRegular(file, picture.size(), atomicfile::Links::Refuse) == picture)
        return name();
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    return atomicfile::write(file, picture, readable) ? name() : QString();
}

} // namespace programicon
