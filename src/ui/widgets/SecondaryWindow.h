// A side window of the program: created hidden with the main window, shown
// modelessly from the menu, kept above the main window, centred the first
// time it is shown and left where the user put it afterwards. Its activation
// handler is the place where it disables the main window.
#pragma once

#include <QWidget>

class SecondaryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SecondaryWindow(Qt::WindowFlags flags);

    // Shows the window and makes it the active one.
    void showAndActivate();

protected:
    // Runs each time the window becomes the active window.
    virtual void FormActivate(QObject* Sender) = 0;

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
