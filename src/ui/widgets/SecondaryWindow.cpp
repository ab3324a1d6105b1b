#include "ui/widgets/SecondaryWindow.h"

#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/WindowPlacement.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QWindow>

namespace {

// A side window is a dialog to the window system: only dialogs (and other
// transient kinds) carry WM_TRANSIENT_FOR, which keeps the window manager
// from raising the disabled main window over the window that disabled it.
Qt::WindowFlags asDialog(Qt::WindowFlags flags)
{
    return (flags & ~Qt::WindowType_Mask) | Qt::Dialog;
}

} // namespace

SecondaryWindow::SecondaryWindow(QWidget* owner, Qt::WindowFlags flags)
    : QWidget(nullptr, asDialog(flags))
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
    // Transient for the main window from the first showing on: the window
    // system writes the link when the window is mapped, which comes after
    // this event.
    if (m_owner && windowHandle() && m_owner->windowHandle())
        windowHandle()->setTransientParent(m_owner->windowHandle());
    if (!m_placed) {
        m_placed = true;
        placement::centreOnScreen(this, m_owner);
    }
    QWidget::showEvent(event);
}

void SecondaryWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SecondaryWindow::closeEvent(QCloseEvent* event)
{
    enableOwner();
    guarded([&] { windowClosed(); });
    event->accept();
}
