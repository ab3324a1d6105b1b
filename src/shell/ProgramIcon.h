// The program's icon in the user's icon theme folder, so that desktop
// entries can name it like any installed program's icon.
#pragma once

#include <QString>

namespace programicon {

// The name entries use for the icon.
QString name();

// The resource the icon is copied from.
QString resource();

// Where the icon goes: <data home>/icons/hicolor/32x32/apps/<name>.png;
// empty without a data home.
QString installedPath();

// Copies the icon from the resources to installedPath(), replacing a
// different file there (or a link, which is never followed) and leaving an
// equal one alone. Returns the icon's
// name when the file is in place, an empty text when it is not.
QString install();

} // namespace programicon
