#include "ui/bus/TFrmCar.h"

#include "ui_TFrmCar.h"


TFrmCar* FrmCar = nullptr;

TFrmCar::TFrmCar(QWidget* owner)
    : SecondaryWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
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

void TFrmCar::FormClose(QObject*)
{
    enableOwner();
}

void TFrmCar::windowClosed()
{
    FormClose(this);
}
