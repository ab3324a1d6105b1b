// What assistive technology is told about the self-painting labels: a plain
// label is static text, a web label a link that can be pressed; the name of
// either is its caption as it reads on the screen.
#pragma once

#include <QAccessibleWidget>

class TsCustomLabel;

class TsLabelAccessible : public QAccessibleWidget {
public:
    explicit TsLabelAccessible(TsCustomLabel* label);

    // Registers the labels with Qt's accessibility; calling it again does
    // nothing more.
    static void install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    TsCustomLabel* label() const;
    bool isLink() const;
};
