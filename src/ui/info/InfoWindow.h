// An information window: a side window with a title bar and no buttons on
// it. Its window hints ask the window manager for moving only, with no
// minimise, maximise or close function; a window manager that offers them
// anyway gets the answers every side window gives: a close gives the main
// window back as the window's own close button does, and a minimise is
// undone.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

class TsWebLabel;

class InfoWindow : public SecondaryWindow {
    Q_OBJECT

public:
    explicit InfoWindow(QWidget* owner);

    // The window flags of an information window.
    static Qt::WindowFlags windowFlagsWithoutButtons();

    // The links both windows carry: the product page, the courses page and
    // the contact mail address.
    void sWebLabel1Click(QObject* Sender);
    void sWebLabel2Click(QObject* Sender);
    void sWebLabel3Click(QObject* Sender);

protected:
    // Completes a window's layout once its controls are made: fonts given in
    // points become pixel sizes, and the plain labels that do not wrap take
    // the size of their text.
    void finishLayout();
    // Gives the window's three links their addresses and click routines;
    // Tab reaches them after the window's own controls, the last of which
    // is lastControl.
    void setUpLinks(TsWebLabel* sWebLabel1, TsWebLabel* sWebLabel2, TsWebLabel* sWebLabel3, QWidget* lastControl);
};
