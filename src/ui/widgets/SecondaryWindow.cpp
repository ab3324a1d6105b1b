#include "ui/widgets/SecondaryWindow.h"

#include "ui/widgets/ErrorReport.h"

#include <QCloseEvent>
#include <QScreen>
#include <QStyle>
#include <QWindow>

SecondaryWindow::SecondaryWindow(QWidget* owner, Qt::WindowFlags flags)
    : QWidget(nullptr, flags)
    , m_owner(owner)
{
}

void SecondaryWindow::showAndActivate()
{
    show();
    raise();
    activateWindow();
}

void SecondaryWindow::FormActivate(QObject*)
{
    if (m_owner)
        m_owner->setEnabled(false);
}

void SecondaryWindow::enableOwner()
{
    if (m_owner)
        m_owner->setEnabled(true);
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
    if (m_owner && windowHandle() && m_owner->windowHandle())
        windowHandle()->setTransientParent(m_owner->windowHandle());
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* where = m_owner ? m_owner->screen() : screen())
            move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), where->availableGeometry()).topLeft());
    }
    QWidget::showEvent(event);
}

void SecondaryWindow::closeEvent(QCloseEvent* event)
{
    enableOwner();
    guarded([&] { windowClosed(); });
    event->accept();
}
