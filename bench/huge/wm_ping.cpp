// wm_ping WINDOW [LIMIT_MS]: asks a window whether its program answers, the
// way a window manager does before it offers to kill a hung program: a
// _NET_WM_PING client message, which the program's event loop sends back to
// the root window. Prints the milliseconds the answer took and exits 0, or
// prints nothing and exits 1 when no answer came within LIMIT_MS (default
// 200). The program's toolkit answers on its window thread, so an answer
// means that thread is free to handle input.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

int main(int argc, char* argv[])
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: wm_ping WINDOW_ID [LIMIT_MS]\n");
        return 2;
    }
    const Window window = Window(std::strtoul(argv[1], nullptr, 0));
    const long limit = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 200;
    Display* display = XOpenDisplay(nullptr);
    if (!display || window == 0) {
        std::fprintf(stderr, "wm_ping: no display or no window\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // The answer goes to the root window with SubstructureNotify.
    XSelectInput(display, root, SubstructureNotifyMask);

    const long stamp = long(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(ping);
    event.xclient.data.l[1] = stamp;
    event.xclient.data.l[2] = long(window);
    const auto sent = std::chrono::steady_clock::now();
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);

    for (;;) {
        const long waited = long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count());
        if (waited >= limit)
            break;
        while (XPending(display)) {
            XEvent reply;
            XNextEvent(display, &reply);
            if (reply.type == ClientMessage && reply.xclient.message_type == protocols
                && reply.xclient.data.l[0] == long(ping) && reply.xclient.data.l[1] == stamp) {
                std::printf("%ld\n",
                    long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent)
                             .count()));
                XCloseDisplay(display);
                return 0;
            }
        }
        pollfd fd { ConnectionNumber(display), POLLIN, 0 };
        poll(&fd, 1, int(limit - waited));
    }
    XCloseDisplay(display);
    return 1;
}
