#include "ui/info/TsLabelAccessible.h"

#include "ui/info/ShellOpen.h"
#include "ui/info/TsWebLabel.h"
#include "ui/widgets/ModalOnScreen.h"

namespace {

QAccessibleInterface* labelInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("TsCustomLabel") || className == QLatin1String("TsLabel")
        || className == QLatin1String("TsWebLabel"))
        return new TsLabelAccessible(static_cast<TsCustomLabel*>(object));
    return nullptr;
}

} // namespace

TsLabelAccessible::TsLabelAccessible(TsCustomLabel* label)
    : QAccessibleWidget(label, qobject_cast<TsWebLabel*>(label) ? QAccessible::Link : QAccessible::StaticText)
{
}

void TsLabelAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(labelInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

TsCustomLabel* TsLabelAccessible::label() const
{
    return static_cast<TsCustomLabel*>(widget());
}

bool TsLabelAccessible::isLink() const
{
    return qobject_cast<TsWebLabel*>(widget()) != nullptr;
}

QString TsLabelAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return label()->displayedText();
    case QAccessible::Value:
        if (auto* link = qobject_cast<TsWebLabel*>(widget()); link && !link->URL().isEmpty())
            return link->URL();
        return QString();
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State TsLabelAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (isLink())
        s.linked = true;
    return s;
}

QStringList TsLabelAccessible::actionNames() const
{
    if (isLink() && widget()->isEnabled() && !modal::blocked(widget()))
        return { pressAction() };
    return QAccessibleWidget::actionNames();
}

void TsLabelAccessible::doAction(const QString& actionName)
{
    // Pressing the link through assistive technology is a click on it.
    auto* link = qobject_cast<TsWebLabel*>(widget());
    if (actionName == pressAction() && link && link->isEnabled() && !modal::blocked(link)) {
        if (!link->URL().isEmpty())
            shellOpen(link->URL());
        emit link->OnClick();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}
