#include "ui/widgets/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString& overrideFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString programFolder()
{
    QString folder = overrideFolder().isEmpty() ? QCoreApplication::applicationDirPath() : overrideFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void setProgramFolderForTesting(const QString& folder)
{
    overrideFolder() = folder;
}
