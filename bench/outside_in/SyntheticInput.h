// Real input through the XTest extension: pointer clicks and key presses, as
// the X server would get them from a mouse and a keyboard. A character is
// typed with the key that gives it in the keyboard map, in whichever layout
// group holds it (the group is switched first when needed) and with Shift for
// the second level; the program sees an ordinary key press.
#pragma once

#include "WindowWatch.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <optional>
#include <string>

namespace probe {

class SyntheticInput {
public:
    explicit SyntheticInput(Display* display);
    ~SyntheticInput();
    SyntheticInput(const SyntheticInput&) = delete;
    SyntheticInput& operator=(const SyntheticInput&) = delete;

    // Whether the server has the XTest and XKB extensions; false with a reason.
    bool ready(std::string& why) const;

    // Moves the pointer to a screen point and clicks the first button there;
    // returns the moment the press was sent, once the click has reached the
    // program's window.
    Moment click(Point screen);

    // Presses and releases the key of one keystroke: a single character or a
    // key name such as BackSpace. Returns the moment the press was sent, or
    // nothing when no key of the keyboard map gives it.
    std::optional<Moment> key(const std::string& token);

private:
    struct KeyChoice {
        KeyCode code = 0;
        int group = 0;
        int level = 0;
    };
    std::optional<KeyChoice> find(const std::string& token) const;
    int currentGroup() const;
    bool pointerAt(int x, int y) const;

    Display* m_display;
    XkbDescPtr m_keymap = nullptr;
    bool m_xtest = false;
    int m_startGroup = 0;
    KeyCode m_shift = 0;
};

} // namespace probe
