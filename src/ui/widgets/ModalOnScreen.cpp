#include "ui/widgets/ModalOnScreen.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace modal {

namespace {

class Watcher : public QObject {
public:
    explicit Watcher(QObject* parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange && watched->isWidgetType() && !m_pending) {
            const auto* window = static_cast<QWidget*>(watched);
            if (window->isWindow() && window->isMinimized() && QApplication::activeModalWidget()) {
                // After the window system has finished this change: openbox
                // minimises the owner and its dialogs one after the other.
                m_pending = true;
                QTimer::singleShot(0, this, [this] { restore(); });
            }
        }
        return false;
    }

private:
    static void unminimise(QWidget* window)
    {
        if (window->isVisible() && window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }

    void restore()
    {
        m_pending = false;
        QWidget* const waiting = QApplication::activeModalWidget();
        if (!waiting || !waiting->isVisible())
            return;
        // The windows it blocks first, then the modal window over them.
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (window != waiting)
                unminimise(window);
        }
        unminimise(waiting);
        waiting->raise();
        waiting->activateWindow();
    }

    bool m_pending = false;
};

} // namespace

void keepOnScreen()
{
    static QPointer<Watcher> watcher;
    if (!watcher && qApp)
        watcher = new Watcher(qApp);
}

bool blocked(const QWidget* widget)
{
    const QWidget* const window = widget->window();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* other : windows) {
        if (other == window || !other->isVisible() || !other->isModal())
            continue;
        if (other->windowModality() == Qt::ApplicationModal)
            return true;
        // Modal to its own window and the windows above that one.
        for (const QWidget* owner = other->parentWidget(); owner; owner = owner->parentWidget()) {
            if (owner->window() == window)
                return true;
        }
    }
    return false;
}

} // namespace modal
