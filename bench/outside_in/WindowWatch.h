// Starts a program on the X display and watches its windows: which one is
// the main window, which others show up over it (questions), when its grid
// is redrawn (DAMAGE events) and what the grid then holds (its pixels, as a
// checksum and a count of dark text pixels).
#pragma once

#include "ProbeOptions.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace probe {

using Clock = std::chrono::steady_clock;
using Moment = Clock::time_point;

// Milliseconds from one moment to a later one.
double msBetween(Moment from, Moment to);

// What the grid showed at one moment: the time of the last redraw that
// reached it, a checksum of its pixels and how many of them are dark text.
struct Look {
    Moment at;
    std::uint64_t hash = 0;
    int dark = 0;
};

// Another window of the program that showed up over the main one.
struct OtherWindow {
    Window id = 0;
    Moment mapped;
    std::string title;
    std::optional<Moment> answered;
    bool closed = false; // it went away by itself
};

class WindowWatch {
public:
    explicit WindowWatch(const ProbeOptions& options);
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    // Connects to $DISPLAY and checks its extensions; false with a reason.
    bool open(std::string& why);
    Display* display() const { return m_display; }

    // Starts the program; its start is the origin of every start-up time.
    bool launch(std::string& why);
    Moment started() const { return m_started; }
    pid_t pid() const { return m_pid; }
    // Whether the program is still running; when not, why.
    bool running(std::string& why);
    // Ends the program: a polite request, then force after a few seconds.
    void stop();

    // Handles everything the server has sent, first waiting up to waitMs for
    // something to arrive.
    void pump(int waitMs);

    Window mainWindow() const { return m_main; }
    std::optional<Moment> mainMapped() const { return m_mainMapped; }
    bool mainViewable();
    std::optional<Moment> firstDamage() const { return m_firstDamage; }
    std::optional<Moment> firstGridDamage() const { return m_firstGridDamage; }
    std::optional<Moment> lastGridDamage() const { return m_lastGridDamage; }
    std::optional<Moment> firstGridDamageSince(Moment t) const;
    std::vector<OtherWindow>& otherWindows() { return m_others; }

    // Takes a look at the grid when it was redrawn since the last look (or
    // always, when forced); every look is kept in looks().
    std::optional<Look> capture(bool force = false);
    const std::vector<Look>& looks() const { return m_looks; }

    // The pointer probe's label (the options' hover): whether a redraw has
    // reached it since the main window showed, and the first redraw that
    // reached it since the last call (which forgets it).
    bool hoverDrawn() const { return m_hoverDrawn; }
    std::optional<Moment> takeHoverDamage();
    // The pixels of a rectangle of the main window (in the options' points);
    // empty when it cannot be read.
    std::vector<std::uint32_t> pixels(const Rect& area);

    // The point to click on a header section, found from the thin lines
    // between the sections on the screen now; nothing when there are too few.
    std::optional<Point> sectionMiddle(const HeaderSection& section);
    // A point of the window (in the options' points) on the screen.
    std::optional<Point> onScreen(Point p);
    // Whether the keyboard focus is in the window or one of its children.
    bool focusInside(Window w);
    // Saves the whole main window as a binary PPM picture.
    bool savePicture(const std::string& path);

private:
    void handle(XEvent& event);
    void watchNewWindow(Window w);
    void windowMapped(Window w);
    std::optional<pid_t> windowPid(Window w);
    std::string windowTitle(Window w);
    int clientTop() const;
    Rect gridInWindow() const
    {
        return { m_options.grid.x, m_options.grid.y + clientTop(), m_options.grid.w, m_options.grid.h };
    }

    const ProbeOptions& m_options;
    Display* m_display = nullptr;
    Window m_root = 0;
    int m_damageEvent = 0;
    int m_damageError = 0;
    Atom m_pidAtom = 0;
    Atom m_nameAtom = 0;
    Atom m_utf8Atom = 0;

    pid_t m_pid = -1;
    int m_exitStatus = 0;
    bool m_exited = false;
    Moment m_started;

    std::map<Window, Damage> m_damages;
    Window m_main = 0;
    int m_mainHeight = 0;
    std::optional<Moment> m_mainMapped;
    std::optional<Moment> m_firstDamage;
    std::optional<Moment> m_firstGridDamage;
    std::optional<Moment> m_lastGridDamage;
    std::vector<Moment> m_gridDamages; // every redraw that reached the grid
    bool m_gridDirty = false;
    bool m_hoverDrawn = false;
    std::optional<Moment> m_hoverDamage;
    std::vector<Look> m_looks;
    std::vector<OtherWindow> m_others;
};

} // namespace probe
