// The program's five windows, created once in a fixed order and destroyed
// together at exit, and what they share: the group of labels that light up
// under the pointer. The set owns the windows; the global pointers (Form1 …)
// only name them.
#pragma once

#include "ui/widgets/HoverGroup.h"

#include <memory>

class TForm1;
class TForm2;
class TFmAbout;
class TFmAddRecord;
class TFrmCar;

class WindowSet {
public:
    // Creates Form1, Form2, FmAbout, FmAddRecord and FrmCar, in this order.
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;

    HoverGroup& hoverGroup() { return m_hover; }

private:
    HoverGroup m_hover;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TFmAbout> m_about;
    std::unique_ptr<TFmAddRecord> m_addRecord;
    std::unique_ptr<TFrmCar> m_car;
};
