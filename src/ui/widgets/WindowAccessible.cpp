#include "ui/widgets/WindowAccessible.h"

#include "ui/widgets/PictureBox.h"
#include "ui/widgets/SecondaryWindow.h"

#include <QFrame>
#include <QMenu>

namespace {

QAccessibleInterface* windowFactory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (qobject_cast<SecondaryWindow*>(object))
        return new ShownChildrenAccessible(widget, QAccessible::Dialog);
    // A plain panel (the main window's client area): a widget of no class
    // of its own; a plain frame (the about window's header, credits and
    // footer) is a group inside its window, not a window frame.
    if (className == QLatin1String("QWidget") && object->metaObject() == &QWidget::staticMetaObject)
        return new ShownChildrenAccessible(widget, QAccessible::Client);
    if (className == QLatin1String("QFrame") && object->metaObject() == &QFrame::staticMetaObject)
        return new ShownChildrenAccessible(widget, QAccessible::Grouping);
    // A picture that carries text (given as its accessible name) reads as
    // that text.
    if (qobject_cast<PictureBox*>(object) && !widget->accessibleName().isEmpty())
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    return nullptr;
}

} // namespace

ShownChildrenAccessible::ShownChildrenAccessible(QWidget* widget, QAccessible::Role role)
    : QAccessibleWidget(widget, role)
{
}

void ShownChildrenAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QWidgetList ShownChildrenAccessible::shownChildren() const
{
    QWidgetList shown;
    for (QObject* object : widget()->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && !child->isHidden() && !qobject_cast<QMenu*>(child))
            shown.append(child);
    }
    return shown;
}

int ShownChildrenAccessible::childCount() const
{
    return int(shownChildren().size());
}

QAccessibleInterface* ShownChildrenAccessible::child(int index) const
{
    const QWidgetList shown = shownChildren();
    if (index < 0 || index >= shown.size())
        return nullptr;
    return QAccessible::queryAccessibleInterface(shown.at(index));
}

int ShownChildrenAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || !child->object() || !child->object()->isWidgetType())
        return -1;
    return int(shownChildren().indexOf(static_cast<QWidget*>(child->object())));
}
