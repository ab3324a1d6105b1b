#include "ui/info/TFmAddRecord.h"

#include "ui_TFmAddRecord.h"

#include "ui/info/MakerAddresses.h"
#include "ui/info/ShellOpen.h"
#include "ui/widgets/ErrorReport.h"

TFmAddRecord* FmAddRecord = nullptr;

TFmAddRecord::TFmAddRecord(QWidget* owner)
    : InfoWindow(owner)
    , m_ui(new Ui::TFmAddRecord)
{
    FmAddRecord = this;
    m_ui->setupUi(this);
    m_ui->sWebLabel1->setCaption(maker::productPage());
    m_ui->sWebLabel2->setCaption(maker::coursesPage());
    m_ui->sWebLabel3->setCaption(maker::contactMail());
    finishLayout();

    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
    connect(
        m_ui->sWebLabel1, &TsWebLabel::OnClick, this, [this] { guarded([&] { sWebLabel1Click(m_ui->sWebLabel1); }); });
    connect(
        m_ui->sWebLabel2, &TsWebLabel::OnClick, this, [this] { guarded([&] { sWebLabel2Click(m_ui->sWebLabel2); }); });
    connect(
        m_ui->sWebLabel3, &TsWebLabel::OnClick, this, [this] { guarded([&] { sWebLabel3Click(m_ui->sWebLabel3); }); });
}

TFmAddRecord::~TFmAddRecord()
{
    if (FmAddRecord == this)
        FmAddRecord = nullptr;
}

void TFmAddRecord::Button1Click(QObject*)
{
    enableOwner();
    close();
}

void TFmAddRecord::sWebLabel1Click(QObject*)
{
    shellOpen(maker::productPage());
}

void TFmAddRecord::sWebLabel2Click(QObject*)
{
    shellOpen(maker::coursesPage());
}

void TFmAddRecord::sWebLabel3Click(QObject*)
{
    shellOpen(maker::contactMailLink());
}
