#include "app/WindowSet.h"

#include "ui/bus/TFrmCar.h"
#include "ui/form2/TForm2.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"

namespace {

// A window whose construction fails is reported and left out; its global
// pointer stays null.
template <typename Window, typename Global, typename... Args>
void create(Global*& global, Args... args)
{
    if (!guarded([&] { new Window(args...); }))
        global = nullptr;
}

} // namespace

WindowSet::WindowSet()
{
    create<TForm1>(Form1);
    if (Form1)
        Form1->winId(); // the main window's handle exists from the start
    create<TForm2>(Form2);
    // The side windows disable the main window while they are active.
    create<TFmAbout>(FmAbout, static_cast<QWidget*>(Form1));
    create<TFmAddRecord>(FmAddRecord, static_cast<QWidget*>(Form1));
    create<TFrmCar>(FrmCar, static_cast<QWidget*>(Form1));
}

WindowSet::~WindowSet()
{
    delete FrmCar;
    delete FmAddRecord;
    delete FmAbout;
    delete Form2;
    delete Form1;
}
