#include "ui/widgets/TextLabelAccessible.h"

#include "ui/widgets/ModalOnScreen.h"
#include "ui/widgets/TextLabel.h"

namespace {

QAccessibleInterface* textLabelFactory(const QString&, QObject* object)
{
    if (auto* label = qobject_cast<TextLabel*>(object))
        return new TextLabelAccessible(label);
    return nullptr;
}

} // namespace

TextLabelAccessible::TextLabelAccessible(TextLabel* label)
    : QAccessibleWidget(label, QAccessible::StaticText)
{
}

void TextLabelAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(textLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

TextLabel* TextLabelAccessible::label() const
{
    return static_cast<TextLabel*>(widget());
}

QAccessible::Role TextLabelAccessible::role() const
{
    if (label()->isLink())
        return QAccessible::Link;
    return label()->clickable() && !label()->readAsText() ? QAccessible::Button : QAccessible::StaticText;
}

QAccessible::State TextLabelAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    if (label()->isLink())
        s.linked = true;
    return s;
}

QString TextLabelAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        // The spaces that place a text on screen mean nothing to a listener.
        return label()->displayedText().trimmed();
    case QAccessible::Value:
        return label()->isLink() ? label()->url() : QString();
    default:
        return QAccessibleWidget::text(t);
    }
}

QStringList TextLabelAccessible::actionNames() const
{
    if (label()->clickable() && !label()->readAsText() && label()->isEnabled() && !modal::blocked(label()))
        return { pressAction() };
    return {};
}

void TextLabelAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction() && label()->clickable() && label()->isEnabled() && !modal::blocked(label()))
        label()->click();
}

QStringList TextLabelAccessible::keyBindingsForAction(const QString&) const
{
    return {};
}
