// cell_watch: how long a window takes to show a change made by another
// program, seen from the X server. Reads a rectangle of a window, starts a
// command (which changes what the window should show), then reads the
// rectangle every millisecond until it differs, and prints two figures in
// milliseconds: from the command's start, and from its end (for a command
// that commits a change, the change is committed somewhere between).
//
//   cell_watch WINDOW X Y W H TIMEOUT_MS -- COMMAND...
//
// Prints "START_MS END_MS" or "timeout" (exit status 1).
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

std::vector<unsigned long> grab(Display* display, Window window, int x, int y, int w, int h)
{
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display, window, x, y, w, h, AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.reserve(static_cast<size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            pixels.push_back(XGetPixel(image, i, j));
    XDestroyImage(image);
    return pixels;
}

double since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 9 || std::strcmp(argv[7], "--") != 0) {
        std::fprintf(stderr, "usage: cell_watch WINDOW X Y W H TIMEOUT_MS -- COMMAND...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cell_watch: no display\n");
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]), w = std::atoi(argv[4]), h = std::atoi(argv[5]);
    const double timeout = std::atof(argv[6]);
    const std::vector<unsigned long> before = grab(display, window, x, y, w, h);
    if (before.empty()) {
        std::fprintf(stderr, "cell_watch: cannot read the window\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[8], nullptr, nullptr, argv + 8, environ) != 0) {
        std::fprintf(stderr, "cell_watch: cannot start %s\n", argv[8]);
        return 2;
    }
    double ended = -1;
    double seen = -1;
    while (since(start) < timeout) {
        if (ended < 0) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child)
                ended = since(start);
        }
        if (seen < 0 && grab(display, window, x, y, w, h) != before)
            seen = since(start);
        if (seen >= 0 && ended >= 0)
            break;
        struct timespec pause {
            0, 1000000
        };
        nanosleep(&pause, nullptr);
    }
    if (ended < 0)
        waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (seen < 0) {
        std::printf("timeout\n");
        return 1;
    }
    std::printf("%.1f %.1f\n", seen, seen - ended);
    return 0;
}
