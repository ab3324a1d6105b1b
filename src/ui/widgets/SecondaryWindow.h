// A side window of the program: created hidden with the main window, shown
// modelessly from the menu, kept above the main window, centred the first
// time it is shown and left where the user put it afterwards.
//
// It owns the side windows' one convention: while it is the active window
// its owner (the main window) takes no input, and however it closes (its own
// button, the close box, the window manager) the owner takes input again.
#pragma once

#include <QPointer>
#include <QWidget>

class SecondaryWindow : public QWidget {
    Q_OBJECT

public:
    SecondaryWindow(QWidget* owner, Qt::WindowFlags flags);

    QWidget* owner() const { return m_owner; }

    // Shows the window and makes it the active one.
    void showAndActivate();

    // Runs each time the window becomes the active window: disables the owner.
    virtual void FormActivate(QObject* Sender);

protected:
    // Gives the owner its input back.
    void enableOwner();

    // Runs when the window closes, by any path, after the owner has been
    // enabled again; the window is hidden, not destroyed.
    virtual void windowClosed() { }

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window, as its close button does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<QWidget> m_owner;
    bool m_placed = false;
};
