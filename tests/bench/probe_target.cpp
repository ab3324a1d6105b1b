// probe_target: a stand-in program with known delays for testing the
// outside-in benchmark's probe. Its window "Probe target" (400x300) stays
// white for --rows-after ms and then shows ten black bars whose lengths
// depend on the text typed so far; each key press first clears the window at
// once and shows the new bars only --key-delay ms later, as a grid that
// empties before its query comes back. With --question a second window,
// "Question", shows 150 ms after the start and closes on Return. Every key
// it gets is printed on standard output by its key name.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/select.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void setIdentity(Display* d, Window w, const char* title)
{
    XStoreName(d, w, title);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
        reinterpret_cast<const unsigned char*>(title), int(std::strlen(title)));
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(&pid), 1);
}

std::uint64_t hashOf(const std::vector<std::string>& keys)
{
    std::uint64_t h = 1469598103934665603ull;
    for (const std::string& k : keys)
        for (char c : k + "|")
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

} // namespace

int main(int argc, char** argv)
{
    int rowsAfter = 300, keyDelay = 200;
    bool question = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rows-after" && i + 1 < argc)
            rowsAfter = std::atoi(argv[++i]);
        else if (a == "--key-delay" && i + 1 < argc)
            keyDelay = std::atoi(argv[++i]);
        else if (a == "--question")
            question = true;
        else {
            std::fprintf(stderr, "usage: probe_target [--rows-after MS] [--key-delay MS] [--question]\n");
            return 2;
        }
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 1;
    const int screen = DefaultScreen(d);
    const unsigned long white = WhitePixel(d, screen), black = BlackPixel(d, screen);
    const Window main = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 400, 300, 0, black, white);
    setIdentity(d, main, "Probe target");
    XSelectInput(d, main, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
    const GC gc = XCreateGC(d, main, 0, nullptr);
    XSetForeground(d, gc, black);
    XMapWindow(d, main);

    Window ask = 0;
    std::vector<std::string> typed;
    bool rowsShown = false;
    const auto start = Clock::now();
    std::optional<Clock::time_point> rowsDue = start + std::chrono::milliseconds(rowsAfter);
    std::optional<Clock::time_point> questionDue;
    if (question)
        questionDue = start + std::chrono::milliseconds(150);

    auto paint = [&] {
        XClearWindow(d, main);
        if (rowsShown) {
            const std::uint64_t h = hashOf(typed);
            for (int i = 0; i < 10; ++i)
                XFillRectangle(d, main, gc, 10, 20 + i * 25, unsigned(50 + ((h >> (i * 3)) & 7) * 40), 10);
        }
        XFlush(d);
    };

    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == Expose && e.xexpose.window == main && e.xexpose.count == 0)
                paint();
            else if (e.type == MapNotify && e.xmap.window == main)
                XSetInputFocus(d, main, RevertToParent, CurrentTime);
            else if (e.type == ButtonPress && e.xbutton.window == main)
                XSetInputFocus(d, main, RevertToParent, CurrentTime);
            else if (e.type == KeyPress) {
                char buf[16];
                KeySym sym = NoSymbol;
                XLookupString(&e.xkey, buf, sizeof buf, &sym, nullptr);
                const char* name = XKeysymToString(sym);
                std::printf("key %s\n", name ? name : "?");
                std::fflush(stdout);
                if (e.xkey.window == ask) {
                    if (sym == XK_Return) {
                        XDestroyWindow(d, ask);
                        ask = 0;
                        XSetInputFocus(d, main, RevertToParent, CurrentTime);
                    }
                    continue;
                }
                if (sym == XK_BackSpace) {
                    if (!typed.empty())
                        typed.pop_back();
                } else if (name) {
                    typed.push_back(name);
                }
                rowsShown = false;
                paint();
                rowsDue = Clock::now() + std::chrono::milliseconds(keyDelay);
            }
        }
        const auto now = Clock::now();
        if (rowsDue && now >= *rowsDue) {
            rowsDue.reset();
            rowsShown = true;
            paint();
        }
        if (questionDue && now >= *questionDue) {
            questionDue.reset();
            ask = XCreateSimpleWindow(d, RootWindow(d, screen), 450, 0, 200, 100, 0, black, white);
            setIdentity(d, ask, "Question");
            XSelectInput(d, ask, KeyPressMask);
            XMapWindow(d, ask);
            XFlush(d);
        }
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(d), &fds);
        timeval tv { 0, 5000 };
        select(ConnectionNumber(d) + 1, &fds, nullptr, nullptr, &tv);
    }
}
