#include "ui/widgets/SecondaryWindow.h"

#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/ModalOnScreen.h"
#include "ui/widgets/WindowAccessible.h"
#include "ui/widgets/WindowPlacement.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace {

// A side window is a dialog to the window system, transient for the main
// window (its parent), so the window manager keeps it above the main window.
Qt::WindowFlags asDialog(Qt::WindowFlags flags)
{
    return (flags & ~Qt::WindowType_Mask) | Qt::Dialog;
}

} // namespace

SecondaryWindow::SecondaryWindow(QWidget* owner, Qt::WindowFlags flags)
    : QWidget(owner, asDialog(flags))
{
    setWindowModality(Qt::WindowModal);
    modal::keepOnScreen();
    // Read as a dialog named by its title.
    ShownChildrenAccessible::install();
}

void SecondaryWindow::showAndActivate()
{
    show();
    raise();
    activateWindow();
}

void SecondaryWindow::FormActivate(QObject*)
{
}

bool SecondaryWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        guarded([&] { FormActivate(this); });
    return QWidget::event(event);
}

void SecondaryWindow::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        placement::centreOnScreen(this, owner());
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
    guarded([&] { windowClosed(); });
    event->accept();
}
