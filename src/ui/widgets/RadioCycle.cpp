#include "ui/widgets/RadioCycle.h"

#include <QAbstractButton>
#include <QKeyEvent>

RadioCycle::RadioCycle(const QVector<QAbstractButton*>& buttons, QObject* parent)
    : QObject(parent)
    , m_buttons(buttons)
{
    for (QAbstractButton* button : m_buttons)
        button->installEventFilter(this);
}

bool RadioCycle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    int step = 0;
    switch (key->key()) {
    case Qt::Key_Down:
    case Qt::Key_Right:
        step = 1;
        break;
    case Qt::Key_Up:
    case Qt::Key_Left:
        step = -1;
        break;
    default:
        return false;
    }
    const int at = int(m_buttons.indexOf(static_cast<QAbstractButton*>(watched)));
    if (at < 0)
        return false;
    QAbstractButton* next = m_buttons[(at + step + int(m_buttons.size())) % int(m_buttons.size())];
    next->setFocus(Qt::TabFocusReason);
    next->setChecked(true);
    return true;
}
