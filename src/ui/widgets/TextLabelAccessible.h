// What assistive technology sees of a TextLabel: its caption as the name,
// and for a clickable label the role of a button with a press action, so a
// screen reader user can choose a category or a route as a mouse user does.
#pragma once

#include <QAccessibleWidget>

class TextLabel;

class TextLabelAccessible : public QAccessibleWidget {
public:
    explicit TextLabelAccessible(TextLabel* label);

    // Makes every TextLabel use this interface; safe to call repeatedly.
    static void install();

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    TextLabel* label() const;
};
