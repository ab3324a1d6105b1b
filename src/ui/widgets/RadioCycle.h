// Arrow keys among a group of radio buttons, as in the classic desktop: Down
// and Right go to the next button of the group, Up and Left to the one
// before, round from the last to the first, and the button that takes the
// focus this way becomes the selected one.
#pragma once

#include <QObject>
#include <QVector>

class QAbstractButton;

class RadioCycle : public QObject {
    Q_OBJECT

public:
    RadioCycle(const QVector<QAbstractButton*>& buttons, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QVector<QAbstractButton*> m_buttons;
};
