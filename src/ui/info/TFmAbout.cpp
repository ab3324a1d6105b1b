#include "ui/info/TFmAbout.h"

#include "ui_TFmAbout.h"

#include "ui/widgets/ErrorReport.h"

TFmAbout* FmAbout = nullptr;

TFmAbout::TFmAbout(QWidget* owner)
    : SecondaryWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_ui(new Ui::TFmAbout)
{
    FmAbout = this;
    m_ui->setupUi(this);
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
}

TFmAbout::~TFmAbout()
{
    if (FmAbout == this)
        FmAbout = nullptr;
}

void TFmAbout::Button1Click(QObject*)
{
    enableOwner();
    close();
}
