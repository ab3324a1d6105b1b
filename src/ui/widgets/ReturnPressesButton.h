// Return or Enter on a focused push button presses it, in every window of
// the program, as on the desktop the program comes from (Qt presses only a
// dialog's default buttons so).
#pragma once

#include <QObject>

class ReturnPressesButton : public QObject {
    Q_OBJECT

public:
    // Watches every key of the application from now on; once is enough.
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
