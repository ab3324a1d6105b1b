// Where the program's windows first appear: in the middle of the screen's
// free area, judged by the whole window as the user sees it, frame and title
// bar included (the main window and the side windows share this rule).
#pragma once

class QWidget;

namespace placement {

// Places a top-level window that is about to be shown for the first time.
// The window manager is asked what frame it will give the window; when it
// cannot say, the frame of an already shown window (reference, when given)
// stands in for it. Once the window is on screen its place is corrected if
// its own frame turned out different. Call it from the window's first
// showEvent.
void centreOnScreen(QWidget* window, const QWidget* reference = nullptr);

} // namespace placement
