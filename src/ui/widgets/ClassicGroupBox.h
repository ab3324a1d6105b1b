// A group box drawn the classic way: an engraved frame round the whole box
// whose top edge runs through the middle of the caption, the caption on the
// window's colour. Its buttons sit inside the frame at their own places.
#pragma once

#include <QGroupBox>

class ClassicGroupBox : public QGroupBox {
    Q_OBJECT

public:
    explicit ClassicGroupBox(QWidget* parent = nullptr);

    // The frame's rectangle and the caption's, in the box's pixels.
    QRect frameRect() const;
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
