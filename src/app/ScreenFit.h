// The main window keeps the fixed size its layout was drawn for, so on a
// small screen with a large desktop scale (1.5 times on 1400 × 1000, say)
// it would not fit. The scale is then lowered for this program just enough
// for the whole window, frame included, to fit the screen's free area: the
// program starts itself again in place (same process) with that scale.
#pragma once

class QWidget;

namespace screenfit {

// Called with the main window made but not yet shown. Returns only when the
// window fits (or was fitted once already, or the program cannot start
// itself again); otherwise the process goes on as a new start.
void ensureFits(QWidget* window, char** argv);

} // namespace screenfit
