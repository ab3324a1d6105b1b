#include "ui/form2/TForm2.h"

#include "ui_TForm2.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_ui(new Ui::TForm2)
{
    Form2 = this;
    m_ui->setupUi(this);
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}
