// The city bus timetable window.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

#include <QScopedPointer>

namespace Ui {
class TFrmCar;
}

class TFrmCar : public SecondaryWindow
{
    Q_OBJECT

public:
    explicit TFrmCar(QWidget* owner);
    ~TFrmCar() override;

    Ui::TFrmCar* ui() const { return m_ui.data(); }

    void FormClose(QObject* Sender);

protected:
    void windowClosed() override;

private:
    const QScopedPointer<Ui::TFrmCar> m_ui;
};

extern TFrmCar* FrmCar;
