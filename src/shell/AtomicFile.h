// Writes a whole file or nothing: the text goes to a temporary file beside
// the target, which then takes the target's place in one rename. A crash or a
// full disk leaves the old file as it was and no half-written one.
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace atomicfile {

// Returns whether the file now holds exactly data with these permissions.
bool write(const QString& path, const QByteArray& data, QFileDevice::Permissions permissions);

} // namespace atomicfile
