// Labels the keyboard reaches as one stop, as it does a row of option
// buttons: Tab comes to the label last focused in the group (the first at
// start), the arrow keys move among the labels in the order they were added
// (reading order), Home and End to the first and the last. Enter or Space
// then clicks the focused label (the label does that itself).
#pragma once

#include <QObject>

#include <vector>

class TextLabel;

class KeyboardGroup : public QObject {
    Q_OBJECT

public:
    explicit KeyboardGroup(QObject* parent = nullptr);

    void add(TextLabel* label);
    // The label Tab comes to.
    TextLabel* current() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moveTo(std::size_t index);
    void makeCurrent(std::size_t index);

    std::vector<TextLabel*> m_labels;
    std::size_t m_current = 0;
};
