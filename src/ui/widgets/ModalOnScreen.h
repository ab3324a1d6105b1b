// While a window of the program waits modally (a side window over the main
// window, a message box), the program never stays minimised.
//
// Window managers offer a minimise button on every window whatever the window
// asks for; openbox minimises a dialog's owner together with the dialog, and
// with no taskbar nothing would lead back to a program that takes input only
// in a window no longer on the screen. So while a modal window is shown, a
// minimise of any of the program's windows is undone: the minimised windows
// come back, the modal one above them and active. With no modal window shown
// a minimise stays as the user made it.
#pragma once

class QWidget;

namespace modal {

// Starts watching; calling it again does nothing more. Needs a QApplication.
void keepOnScreen();

// Whether the window of this widget is blocked by a modal window now shown
// (a side window over the main window, a message box over any window): it
// takes no input, not even through assistive technology.
bool blocked(const QWidget* widget);

} // namespace modal
