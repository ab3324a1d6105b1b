#include "ui/info/InfoWindow.h"

#include "ui/widgets/PixelFonts.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>

InfoWindow::InfoWindow(QWidget* owner)
    : SecondaryWindow(owner, windowFlagsWithoutButtons())
{
}

Qt::WindowFlags InfoWindow::windowFlagsWithoutButtons()
{
    // A title with no button hint: the window manager is asked for a title
    // bar and for moving the window, nothing else.
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

void InfoWindow::finishLayout()
{
    usePixelFonts(this);
    for (QLabel* label : findChildren<QLabel*>()) {
        if (!label->wordWrap())
            label->adjustSize();
    }
}

void InfoWindow::changeEvent(QEvent* event)
{
    SecondaryWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !isVisible())
        return;
    // Minimised together with the main window (as its transient), the two
    // come back together; minimised alone, it comes straight back.
    const QWidget* main = owner();
    if (main && main->isMinimized())
        return;
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && isMinimized() && !(owner() && owner()->isMinimized())) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            showAndActivate();
        }
    });
}
