// Where the user's desktop, menu entries and icons live, found the freedesktop
// way: the XDG base directories and the XDG user dirs. Read afresh on every
// call, so a change to the environment or to user-dirs.dirs counts at once.
// Every folder is an absolute path without a trailing separator, or an empty
// text when the user has no such folder.
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

// The desktop folder: XDG_DESKTOP_DIR in user-dirs.dirs, else the variable
// XDG_DESKTOP_DIR, else ~/Desktop. Empty when it is the home folder itself,
// which is how a user turns the desktop folder off.
QString desktop();

// The folder of the user's menu entries: <data home>/applications.
QString applications();

// The value of XDG_<name>_DIR in the text of a user-dirs.dirs file, with
// $HOME replaced by home; the last line that sets it counts. None when no
// line sets it or its value is not an absolute path.
std::optional<QString> userDirValue(const QByteArray& fileText, const QByteArray& name, const QString& home);

// Creates the folder and whatever is missing above it, new folders readable
// by the owner alone, as the base directory rules ask. Returns whether it is
// there now.
bool makeFolder(const QString& path);

} // namespace userfolders
