#include "app/WindowSet.h"

#include "ui/bus/TFrmCar.h"
#include "ui/form2/TForm2.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/ReturnPressesButton.h"

namespace {

// A window whose construction fails is reported and left out; its global
// pointer stays null.
template <typename Window, typename Global, typename... Args>
std::unique_ptr<Window> create(Global*& global, Args&&... args)
{
    std::unique_ptr<Window> window;
    if (!guarded([&] { window = std::make_unique<Window>(std::forward<Args>(args)...); }))
        global = nullptr;
    return window;
}

} // namespace

WindowSet::WindowSet()
{
    // In every window Return presses the focused button.
    ReturnPressesButton::install();
    m_form1 = create<TForm1>(Form1, m_hover);
    if (Form1)
        Form1->winId(); // the main window's handle exists from the start
    m_form2 = create<TForm2>(Form2);
    QWidget* const main = Form1;
    m_about = create<TFmAbout>(FmAbout, main);
    m_addRecord = create<TFmAddRecord>(FmAddRecord, main);
    m_car = create<TFrmCar>(FrmCar, main, m_hover);
}

// In the reverse order of their making; the hover group goes last.
WindowSet::~WindowSet()
{
    m_car.reset();
    m_addRecord.reset();
    m_about.reset();
    m_form2.reset();
    m_form1.reset();
}
