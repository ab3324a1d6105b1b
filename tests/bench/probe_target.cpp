// probe_target: a stand-in program with known delays for testing the
// outside-in benchmark's probe. Its window "Probe target" (400x300) stays
// white for --rows-after ms and then shows ten black bars whose lengths
// depend on the text typed so far; each key press first clears the window at
// once and shows the new bars only --key-delay ms later, as a grid that
// empties before its query comes back. With --question a second window,
// "Question", shows 150 ms after the start and closes on Return. Every key
// it gets is printed on standard output by its key name. With --hover-box a
// box at (300,20), 40x20, is black while the pointer is over it; --freeze-at
// and --freeze-for make it stop answering for a while; --lock holds a read
// lock on a file from --lock-from to --lock-to ms, as a reading query does.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    bool question = false, hoverBox = false;
    int freezeAt = -1, freezeFor = 0, lockFrom = 0, lockTo = 0;
    const char* lockFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rows-after" && i + 1 < argc)
            rowsAfter = std::atoi(argv[++i]);
        else if (a == "--hover-box")
            hoverBox = true;
        else if (a == "--freeze-at" && i + 1 < argc)
            freezeAt = std::atoi(argv[++i]);
        else if (a == "--freeze-for" && i + 1 < argc)
            freezeFor = std::atoi(argv[++i]);
        else if (a == "--lock" && i + 1 < argc)
            lockFile = argv[++i];
        else if (a == "--lock-from" && i + 1 < argc)
            lockFrom = std::atoi(argv[++i]);
        else if (a == "--lock-to" && i + 1 < argc)
            lockTo = std::atoi(argv[++i]);
        else if (a == "--key-delay" && i + 1 < argc)
            keyDelay = std::atoi(argv[++i]);
        else if (a == "--question")
            question = true;
        else {
            std::fprintf(stderr,
                "usage: probe_target [--rows-after MS] [--key-delay MS] [--question] [--hover-box]\n"
                "                    [--freeze-at MS --freeze-for MS] [--lock FILE --lock-from MS --lock-to MS]\n");
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
    XSelectInput(d, main, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask | PointerMotionMask);
    const GC gc = XCreateGC(d, main, 0, nullptr);
    XSetForeground(d, gc, black);
    XMapWindow(d, main);

    Window ask = 0;
    std::vector<std::string> typed;
    bool rowsShown = false;
    bool pointerOnBox = false;
    const int lockFd = lockFile ? open(lockFile, O_RDONLY) : -1;
    bool locked = false, lockDone = lockFd < 0;
    auto setLock = [&](short type) {
        struct flock l { };
        l.l_type = type;
        l.l_whence = SEEK_SET;
        fcntl(lockFd, F_SETLK, &l);
    };
    const auto start = Clock::now();
    std::optional<Clock::time_point> rowsDue = start + std::chrono::milliseconds(rowsAfter);
    // When the question shows, if it is still to show.
    bool questionPending = question;
    const Clock::time_point questionDue = start + std::chrono::milliseconds(150);

    // The stall and the file lock, when they are due.
    auto freezeAndLock = [&](long long since) {
        if (freezeAt >= 0 && since >= freezeAt) {
            freezeAt = -1;
            usleep(useconds_t(freezeFor) * 1000);
        }
        if (!lockDone && !locked && since >= lockFrom) {
            setLock(F_RDLCK);
            locked = true;
        } else if (locked && since >= lockTo) {
            setLock(F_UNLCK);
            locked = false;
            lockDone = true;
        }
    };
    auto paintBox = [&] {
        if (!hoverBox)
            return;
        XSetForeground(d, gc, pointerOnBox ? black : white);
        XFillRectangle(d, main, gc, 300, 20, 40, 20);
        XSetForeground(d, gc, black);
        XDrawRectangle(d, main, gc, 300, 20, 39, 19);
        XFlush(d);
    };
    auto paint = [&] {
        XClearWindow(d, main);
        paintBox();
        if (rowsShown) {
            const std::uint64_t h = hashOf(typed);
            for (int i = 0; i < 10; ++i)
                XFillRectangle(d, main, gc, 10, 20 + i * 25, unsigned(50 + ((h >> (i * 3)) & 7) * 40), 10);
        }
        XFlush(d);
    };

    for (;;) {
        freezeAndLock(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == Expose && e.xexpose.window == main && e.xexpose.count == 0)
                paint();
            else if (e.type == MotionNotify && e.xmotion.window == main) {
                const bool on = e.xmotion.x >= 300 && e.xmotion.x < 340 && e.xmotion.y >= 20 && e.xmotion.y < 40;
                if (on != pointerOnBox) {
                    pointerOnBox = on;
                    paintBox();
                }
            } else if (e.type == MapNotify && e.xmap.window == main)
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
        if (questionPending && now >= questionDue) {
            questionPending = false;
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
