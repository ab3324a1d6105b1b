// What assistive technology sees of a TextLabel: its caption as the name;
// a clickable label is a button, a link label a link with its address as
// the value, and both can be pressed, so a screen reader user can choose a
// category, a route or a link as a mouse user does.
#pragma once

#include <QAccessibleWidget>

class TextLabel;

class TextLabelAccessible : public QAccessibleWidget {
public:
    explicit TextLabelAccessible(TextLabel* label);

    // Makes every TextLabel (and every label built on it) use this
    // interface; safe to call repeatedly.
    static void install();

    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    TextLabel* label() const;
};
