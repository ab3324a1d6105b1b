// Files in the user's folders, read and written without ever being led
// elsewhere. A write puts the whole text in a temporary file beside the target
// and then gives it the target's name in one rename: a crash or a full disk
// leaves the old file as it was and no half-written one, and a symbolic link
// standing at the target's name is replaced itself, never followed. A read
// takes only a regular file of bounded size, so a named pipe, a device or a
// link to one can neither stop the program nor fill its memory.
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace atomicfile {

// Returns whether the file now holds exactly data with these permissions.
// The folder part of path must be the folder as it is on disk (no links, no
// "." or ".."), or the file goes wherever the folder's links lead.
bool write(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions);

// How a read treats a symbolic link at the path itself.
enum class Links { Follow, Refuse };

// The contents of a regular file of at most limit bytes; none for a missing
// file, anything but a regular file (a named pipe, a device, a folder), a
// larger file, a link when links are refused, or a read error.
std::optional<QByteArray> readRegular(const QString& path, qint64 limit, Links links);

} // namespace atomicfile
