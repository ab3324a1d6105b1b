#include "shell/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace atomicfile {

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

mode_t modeOf(QFileDevice::Permissions permissions)
{
    mode_t mode = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        { QFileDevice::ReadOwner, S_IRUSR },
        { QFileDevice::WriteOwner, S_IWUSR },
        { QFileDevice::ExeOwner, S_IXUSR },
        { QFileDevice::ReadGroup, S_IRGRP },
        { QFileDevice::WriteGroup, S_IWGRP },
        { QFileDevice::ExeGroup, S_IXGRP },
        { QFileDevice::ReadOther, S_IROTH },
        { QFileDevice::WriteOther, S_IWOTH },
        { QFileDevice::ExeOther, S_IXOTH },
    };
    for (const auto& [permission, bit] : bits) {
        if (permissions & permission)
            mode |= bit;
    }
    return mode;
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* at = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        left -= written;
    }
    return true;
}

} // namespace

bool write(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    Descriptor folder { ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) };
    if (folder.fd < 0)
        return false;
    // A fresh name that nothing else can have made, opened without following
    // anything that might stand there.
    QByteArray temporary;
    Descriptor file;
    for (int attempt = 0; attempt < 16 && file.fd < 0; ++attempt) {
        temporary = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        file.fd = ::openat(
            folder.fd, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (file.fd < 0 && errno != EEXIST)
            return false;
    }
    if (file.fd < 0)
        return false;
    // Set on the temporary file, so the file is never seen with other ones.
    const bool written = writeAll(file.fd, data) && ::fchmod(file.fd, modeOf(permissions)) == 0 && ::fsync(file.fd) == 0
        && ::close(std::exchange(file.fd, -1)) == 0;
    // The rename replaces whatever entry has the name, a link included; it
    // fails on a folder.
    if (written && ::renameat(folder.fd, temporary.constData(), folder.fd, name.constData()) == 0) {
        ::fsync(folder.fd);
        return true;
    }
    ::unlinkat(folder.fd, temporary.constData(), 0);
    return false;
}

std::optional<QByteArray> readRegular(const QString& path, qint64 limit, Links links)
{
    const QByteArray native = QFile::encodeName(path);
    // Looked at before it is opened: opening a device may itself do something.
    struct stat before { };
    if ((links == Links::Refuse ? ::lstat(native.constData(), &before) : ::stat(native.constData(), &before)) != 0
        || !S_ISREG(before.st_mode) || before.st_size > limit)
        return std::nullopt;
    // Non-blocking, so that a pipe put in the file's place meanwhile does not
    // stop the open; what was opened is looked at again.
    const int noFollow = links == Links::Refuse ? O_NOFOLLOW : 0;
    Descriptor file { ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollow) };
    struct stat opened { };
    if (file.fd < 0 || ::fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_size > limit)
        return std::nullopt;
    QByteArray contents(qsizetype(opened.st_size) + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < contents.size()) {
        const ssize_t got = ::read(file.fd, contents.data() + filled, size_t(contents.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += got;
    }
    if (filled == contents.size())
        return std::nullopt; // it grew while it was read: not the file that was looked at
    contents.truncate(filled);
    return contents;
}

} // namespace atomicfile
