#include "ui/info/TFmAddRecord.h"

#include "ui_TFmAddRecord.h"

#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"

#include <QCloseEvent>

TFmAddRecord* FmAddRecord = nullptr;

TFmAddRecord::TFmAddRecord()
    : SecondaryWindow(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_ui(new Ui::TFmAddRecord)
{
    FmAddRecord = this;
    m_ui->setupUi(this);
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
}

TFmAddRecord::~TFmAddRecord()
{
    if (FmAddRecord == this)
        FmAddRecord = nullptr;
}

void TFmAddRecord::FormActivate(QObject*)
{
    Form1->setEnabled(false);
}

void TFmAddRecord::Button1Click(QObject*)
{
    Form1->setEnabled(true);
    close();
}

void TFmAddRecord::closeEvent(QCloseEvent* event)
{
    // However the window goes away, the main window takes input again.
    if (Form1)
        Form1->setEnabled(true);
    event->accept();
}
