// An information window: a side window with a title bar and no buttons on
// it. Its window hints ask the window manager for moving only, with no
// minimise, maximise or close function; a window manager that offers them
// anyway gets sound answers: a close gives the main window back as the
// window's own close button does, and a minimise while the main window stays
// on the screen is undone, so the disabled main window is never left alone.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

class InfoWindow : public SecondaryWindow {
    Q_OBJECT

public:
    explicit InfoWindow(QWidget* owner);

    // The window flags of an information window.
    static Qt::WindowFlags windowFlagsWithoutButtons();

protected:
    // Completes a window's layout once its controls are made: fonts given in
    // points become pixel sizes, and the plain labels that do not wrap take
    // the size of their text.
    void finishLayout();

    void changeEvent(QEvent* event) override;
};
