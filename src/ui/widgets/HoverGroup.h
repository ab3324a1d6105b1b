// The labels that light up under the pointer, across the windows that have
// them (the catalogue items of the main window, the routes of the bus
// window). Each window registers its labels; reset() gives every one of them
// the idle colour, so that after a move at most the label under the pointer
// shows the hover colour. The window set owns the group.
#pragma once

#include <QPointer>

#include <vector>

class TextLabel;

class HoverGroup {
public:
    void add(TextLabel* label);
    // Every label of the group in the idle colour. A label already idle
    // costs nothing: no repaint.
    void reset();

    std::size_t size() const { return m_labels.size(); }

private:
    std::vector<QPointer<TextLabel>> m_labels;
};
