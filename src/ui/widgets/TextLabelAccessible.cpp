#include "ui/widgets/TextLabelAccessible.h"

#include "ui/widgets/ModalOnScreen.h"
#include "ui/widgets/TextLabel.h"

namespace {

QAccessibleInterface* textLabelFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TextLabel") && object && object->isWidgetType())
        return new TextLabelAccessible(static_cast<TextLabel*>(object));
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
    return label()->clickable() ? QAccessible::Button : QAccessible::StaticText;
}

QString TextLabelAccessible::text(QAccessible::Text t) const
{
    // The spaces that place a text on screen mean nothing to a listener.
    if (t == QAccessible::Name)
        return label()->text().trimmed();
    return QAccessibleWidget::text(t);
}

QStringList TextLabelAccessible::actionNames() const
{
    if (label()->clickable() && label()->isEnabled() && !modal::blocked(label()))
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
