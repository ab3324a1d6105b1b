#include "ui/widgets/ReturnPressesButton.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>

void ReturnPressesButton::install()
{
    static QPointer<ReturnPressesButton> filter;
    QCoreApplication* app = QCoreApplication::instance();
    if (!filter && app) {
        filter = new ReturnPressesButton(app);
        app->installEventFilter(filter);
    }
}

bool ReturnPressesButton::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat())
        return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled())
        return false;
    button->animateClick();
    return true;
}
