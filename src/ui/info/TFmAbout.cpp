#include "ui/info/TFmAbout.h"

#include "ui_TFmAbout.h"

#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"

#include <QCloseEvent>

TFmAbout* FmAbout = nullptr;

TFmAbout::TFmAbout()
    : SecondaryWindow(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
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

void TFmAbout::FormActivate(QObject*)
{
    Form1->setEnabled(false);
}

void TFmAbout::Button1Click(QObject*)
{
    Form1->setEnabled(true);
    close();
}

void TFmAbout::closeEvent(QCloseEvent* event)
{
    // However the window goes away, the main window takes input again.
    if (Form1)
        Form1->setEnabled(true);
    event->accept();
}
