// A side window of the program: created hidden with the main window, shown
// from the menu, centred the first time it is shown and left where the user
// put it afterwards; closing it only hides it, with its state intact.
//
// While it is shown the main window (its owner) takes no input: the side
// window is modal to it. The main window keeps its look, but clicks, keys and
// close requests do not reach it, the window manager keeps the side window
// above it, and however the side window goes (its own button, the close box,
// Alt+F4, the window manager) the main window takes input again. Minimised
// while it is shown, it comes straight back (see ModalOnScreen.h).
#pragma once

#include <QWidget>

class SecondaryWindow : public QWidget {
    Q_OBJECT

public:
    SecondaryWindow(QWidget* owner, Qt::WindowFlags flags);

    QWidget* owner() const { return parentWidget(); }

    // Shows the window and makes it the active one.
    void showAndActivate();

    // Runs each time the window becomes the active window.
    virtual void FormActivate(QObject* Sender);

protected:
    // Runs when the window closes, by any path; the window is hidden, not
    // destroyed.
    virtual void windowClosed() { }

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window, as its close button does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_placed = false;
};
