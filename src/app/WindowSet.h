// The program's five windows, created once in a fixed order and destroyed
// together at exit. Each is reached through its global pointer (Form1 ...).
#pragma once

class WindowSet
{
public:
    // Creates Form1, Form2, FmAbout, FmAddRecord and FrmCar, in this order.
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;
};
