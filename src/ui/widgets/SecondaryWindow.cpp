#include "ui/widgets/SecondaryWindow.h"

#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"

#include <QScreen>
#include <QStyle>
#include <QWindow>

SecondaryWindow::SecondaryWindow(Qt::WindowFlags flags)
    : QWidget(nullptr, flags)
{
}

void SecondaryWindow::showAndActivate()
{
    show();
    raise();
    activateWindow();
}

bool SecondaryWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        guarded([&] { FormActivate(this); });
    return QWidget::event(event);
}

void SecondaryWindow::showEvent(QShowEvent* event)
{
    // Transient for the main window, so a disabled main window never covers
    // the window that disabled it.
    if (Form1 && windowHandle() && Form1->windowHandle())
        windowHandle()->setTransientParent(Form1->windowHandle());
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* where = Form1 ? Form1->screen() : screen())
            move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), where->availableGeometry()).topLeft());
    }
    QWidget::showEvent(event);
}
