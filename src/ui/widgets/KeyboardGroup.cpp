#include "ui/widgets/KeyboardGroup.h"

#include "ui/widgets/TextLabel.h"

#include <QKeyEvent>

#include <algorithm>

KeyboardGroup::KeyboardGroup(QObject* parent)
    : QObject(parent)
{
}

void KeyboardGroup::add(TextLabel* label)
{
    Q_ASSERT(label);
    // Only the group's current label is a stop of the Tab chain.
    label->setFocusPolicy(m_labels.empty() ? Qt::TabFocus : Qt::NoFocus);
    label->installEventFilter(this);
    m_labels.push_back(label);
}

TextLabel* KeyboardGroup::current() const
{
    return m_labels.empty() ? nullptr : m_labels[m_current];
}

void KeyboardGroup::moveTo(std::size_t index)
{
    if (index == m_current || index >= m_labels.size())
        return;
    makeCurrent(index);
    m_labels[index]->setFocus(Qt::OtherFocusReason);
}

void KeyboardGroup::makeCurrent(std::size_t index)
{
    m_labels[index]->setFocusPolicy(Qt::TabFocus);
    if (index != m_current)
        m_labels[m_current]->setFocusPolicy(Qt::NoFocus);
    m_current = index;
}

bool KeyboardGroup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        // A label focused some other way (a screen reader, a click) becomes
        // the group's stop.
        const auto found = std::find(m_labels.begin(), m_labels.end(), watched);
        if (found != m_labels.end())
            makeCurrent(std::size_t(found - m_labels.begin()));
        return false;
    }
    if (event->type() != QEvent::KeyPress || watched != current())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (key->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        moveTo(std::min(m_current + 1, m_labels.size() - 1));
        return true;
    case Qt::Key_Left:
    case Qt::Key_Up:
        moveTo(m_current == 0 ? 0 : m_current - 1);
        return true;
    case Qt::Key_Home:
        moveTo(0);
        return true;
    case Qt::Key_End:
        moveTo(m_labels.size() - 1);
        return true;
    default:
        return false;
    }
}
