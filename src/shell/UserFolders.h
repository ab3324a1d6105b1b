// Where the user's desktop, menu entries and icons live, found the freedesktop
// way: the XDG base directories and the XDG user dirs. Read afresh on every
// call, so a change to the environment or to user-dirs.dirs counts at once.
// Every folder is an absolute path without a trailing separator, or an empty
// text when the user has no such folder. The base folders are given as the
// environment says; the folders things are written to are resolved on disk.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace userfolders {

// $HOME; empty when it is unset or not an absolute path.
QString home();

// $XDG_CONFIG_HOME, or ~/.config when it is unset or relative.
QString configHome();

// $XDG_DATA_HOME, or ~/.local/share when it is unset or relative.
QString dataHome();

// The desktop folder as it is on disk: XDG_DESKTOP_DIR in user-dirs.dirs,
// else the variable XDG_DESKTOP_DIR, else ~/Desktop. Empty when that folder
// does not exist or is the home folder itself, which is how a user turns the
// desktop folder off.
QString desktop();

// The folder as it is on disk: an absolute path with every link, "." and
// ".." resolved. Empty when it does not exist or is not a folder.
QString onDisk(const QString& folder);

// The same for a file: the regular file a path leads to, or empty.
QString fileOnDisk(const QString& path);

// The folder of the user's menu entries: <data home>/applications.
QString applications();

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file, with
// $HOME replaced by home; the last line that sets it counts. None when no
// line sets it or its value is not an absolute path.
std::optional<QString> userDirValue(const QByteArray& fileText, const QByteArray& name, const QString& home);

// Creates the folder and whatever is missing above it, new folders readable
// by the owner alone, as the base directory rules ask. Returns whether it is
// there now. A missing folder whose path has a "." or ".." part is not made:
// such a path means only what the disk makes of it.
bool makeFolder(const QString& path);

} // namespace userfolders
