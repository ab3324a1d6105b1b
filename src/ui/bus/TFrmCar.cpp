#include "ui/bus/TFrmCar.h"

#include "ui_TFrmCar.h"

#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"

#include <QCloseEvent>

TFrmCar* FrmCar = nullptr;

TFrmCar::TFrmCar()
    : SecondaryWindow(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                      | Qt::WindowCloseButtonHint)
    , m_ui(new Ui::TFrmCar)
{
    FrmCar = this;
    m_ui->setupUi(this);
}

TFrmCar::~TFrmCar()
{
    if (FrmCar == this)
        FrmCar = nullptr;
}

void TFrmCar::FormActivate(QObject*)
{
    Form1->setEnabled(false);
}

void TFrmCar::FormClose(QObject*)
{
    Form1->setEnabled(true);
}

void TFrmCar::closeEvent(QCloseEvent* event)
{
    guarded([&] { FormClose(this); });
    event->accept();
}
