// What assistive technology sees of the program's windows and of the plain
// panels that hold their controls: only the controls that are shown (a
// control kept hidden for good is no part of what a listener hears), and a
// side window as a dialog named by its title, not as an anonymous panel; a
// picture of text, given that text as its accessible name, as the text.
#pragma once

#include <QAccessibleWidget>

class ShownChildrenAccessible : public QAccessibleWidget {
public:
    ShownChildrenAccessible(QWidget* widget, QAccessible::Role role);

    // Makes the side windows and the plain panels use this interface, and
    // the pictures of text read as text; safe to call repeatedly.
    static void install();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    QWidgetList shownChildren() const;
};
