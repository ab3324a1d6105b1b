#include "shell/AtomicFile.h"

#include <QSaveFile>

namespace atomicfile {

bool write(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set on the temporary file, so the file is never seen with other ones.
    file.setPermissions(permissions);
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return false;
    }
    return file.commit();
}

} // namespace atomicfile
