// A lowered line that separates parts of a window: a dark row over a light
// one, as an engraved rule.
#pragma once

#include <QWidget>

class Bevel : public QWidget {
    Q_OBJECT

public:
    explicit Bevel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
