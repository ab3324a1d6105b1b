#include "SyntheticInput.h"

#include <X11/extensions/XTest.h>

#include <X11/keysym.h>
#include <algorithm>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

namespace probe {

namespace {

// The code point of a token that is exactly one UTF-8 character.
std::optional<char32_t> singleCharacter(const std::string& s)
{
    if (s.empty())
        return std::nullopt;
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t length = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || s.size() != length)
        return std::nullopt;
    char32_t cp = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (std::size_t i = 1; i < length; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

} // namespace

SyntheticInput::SyntheticInput(Display* display)
    : m_display(display)
{
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
    m_keymap = XkbGetMap(m_display, XkbAllClientInfoMask, XkbUseCoreKbd);
    m_startGroup = currentGroup();
    m_shift = XKeysymToKeycode(m_display, XK_Shift_L);
}

SyntheticInput::~SyntheticInput()
{
    if (m_keymap) {
        if (currentGroup() != m_startGroup) {
            XkbLockGroup(m_display, XkbUseCoreKbd, unsigned(m_startGroup));
            XSync(m_display, False);
        }
        XkbFreeKeyboard(m_keymap, 0, True);
    }
}

bool SyntheticInput::ready(std::string& why) const
{
    if (!m_xtest)
        why = "the X server has no XTEST extension";
    else if (!m_keymap)
        why = "the X server's keyboard map could not be read (XKB)";
    return m_xtest && m_keymap;
}

int SyntheticInput::currentGroup() const
{
    XkbStateRec state;
    if (XkbGetState(m_display, XkbUseCoreKbd, &state) != Success)
        return 0;
    return state.group;
}

std::optional<SyntheticInput::KeyChoice> SyntheticInput::find(const std::string& token) const
{
    const std::optional<char32_t> character = singleCharacter(token);
    const KeySym named = character ? NoSymbol : XStringToKeysym(token.c_str());
    if (!character && named == NoSymbol)
        return std::nullopt;
    auto gives = [&](KeySym sym) {
        return sym != NoSymbol && (character ? xkb_keysym_to_utf32(xkb_keysym_t(sym)) == *character : sym == named);
    };
    // A key of the current group (or one that is the same in every group)
    // first, so that the group changes only when it must.
    const int group = currentGroup();
    std::optional<KeyChoice> elsewhere;
    for (int code = m_keymap->min_key_code; code <= m_keymap->max_key_code; ++code) {
        const int groups = XkbKeyNumGroups(m_keymap, code);
        for (int g = 0; g < groups; ++g) {
            const int levels = std::min(int(XkbKeyGroupWidth(m_keymap, code, g)), 2);
            for (int l = 0; l < levels; ++l) {
                if (!gives(XkbKeySymEntry(m_keymap, code, l, g)))
                    continue;
                if (g == group || groups == 1)
                    return KeyChoice { KeyCode(code), group, l };
                if (!elsewhere)
                    elsewhere = KeyChoice { KeyCode(code), g, l };
            }
        }
    }
    return elsewhere;
}

Moment SyntheticInput::click(Point screen)
{
    XTestFakeMotionEvent(m_display, -1, screen.x, screen.y, CurrentTime);
    XSync(m_display, False);
    const Moment sent = Clock::now();
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    // A window manager that focuses or raises on a click holds the pointer
    // until it has passed the click on; keys sent meanwhile would overtake
    // it. A one-pixel move after the click is held back with it, so once the
    // pointer shows there the click has gone to the program.
    XTestFakeMotionEvent(m_display, -1, screen.x + 1, screen.y, CurrentTime);
    XSync(m_display, False);
    const Moment limit = Clock::now() + std::chrono::seconds(2);
    while (!pointerAt(screen.x + 1, screen.y) && Clock::now() < limit)
        usleep(1000);
    return sent;
}

bool SyntheticInput::pointerAt(int x, int y) const
{
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned mask = 0;
    return XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rootX, &rootY, &winX, &winY, &mask)
        && rootX == x && rootY == y;
}

std::optional<Moment> SyntheticInput::key(const std::string& token)
{
    const std::optional<KeyChoice> choice = find(token);
    if (!choice)
        return std::nullopt;
    if (choice->group != currentGroup()) {
        XkbLockGroup(m_display, XkbUseCoreKbd, unsigned(choice->group));
        XSync(m_display, False);
    }
    const bool shifted = choice->level == 1 && m_shift != 0;
    if (shifted)
        XTestFakeKeyEvent(m_display, m_shift, True, CurrentTime);
    XSync(m_display, False);
    const Moment sent = Clock::now();
    XTestFakeKeyEvent(m_display, choice->code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, choice->code, False, CurrentTime);
    if (shifted)
        XTestFakeKeyEvent(m_display, m_shift, False, CurrentTime);
    XFlush(m_display);
    return sent;
}

} // namespace probe
