#include "ui/info/TFmAddRecord.h"

#include "ui_TFmAddRecord.h"

#include "ui/widgets/ErrorReport.h"

TFmAddRecord* FmAddRecord = nullptr;

TFmAddRecord::TFmAddRecord(QWidget* owner)
    : InfoWindow(owner)
    , m_ui(new Ui::TFmAddRecord)
{
    FmAddRecord = this;
    m_ui->setupUi(this);
    setUpLinks(m_ui->sWebLabel1, m_ui->sWebLabel2, m_ui->sWebLabel3, m_ui->Button1);
    finishLayout();

    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
}

TFmAddRecord::~TFmAddRecord()
{
    if (FmAddRecord == this)
        FmAddRecord = nullptr;
}

void TFmAddRecord::Button1Click(QObject*)
{
    close();
}
