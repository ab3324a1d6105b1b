// The program's one typeface. The windows are laid out in pixels for the
// Windows bitmap font "MS Sans Serif", which other systems lack; the program
// carries a free font of nearly the same widths in its resources and maps
// that name onto it, so every machine shows the same layout.
#pragma once

#include <QFont>
#include <QString>

namespace fonts {

// Loads the bundled regular and bold faces from the resources and makes
// "MS Sans Serif" (and "Microsoft Sans Serif") stand for them in every font
// request. Returns the bundled family name, or an empty string if the faces
// could not be loaded (the names then fall back to Qt's own choice). Needs a
// QGuiApplication; calling it again does nothing more.
QString installSubstituteFont();

// "MS Sans Serif" at the given character height in pixels, as the window
// layouts give it (8 pt at 96 dpi is 11 pixels, 10 pt is 13).
QFont msSansSerif(int pixelSize, bool bold = false);

} // namespace fonts
