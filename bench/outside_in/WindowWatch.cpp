#include "WindowWatch.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace probe {

namespace {

// Windows come and go while the probe looks at them; a request about one
// that is already gone fails, and that is no reason to stop.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

struct Channel {
    unsigned long mask;
    int shift;
    int bits;
};

Channel channelOf(unsigned long mask)
{
    if (mask == 0)
        return { 0, 0, 8 };
    return { mask, std::countr_zero(mask), std::popcount(mask) };
}

int level(unsigned long pixel, const Channel& c)
{
    const unsigned long v = (pixel & c.mask) >> c.shift;
    return c.bits == 8 ? int(v) : int(v * 255 / ((1ul << c.bits) - 1));
}

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

} // namespace

double msBetween(Moment from, Moment to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

WindowWatch::WindowWatch(const ProbeOptions& options)
    : m_options(options)
{
}

WindowWatch::~WindowWatch()
{
    stop();
    if (m_display)
        XCloseDisplay(m_display);
}

bool WindowWatch::open(std::string& why)
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        why = "cannot open the display (is DISPLAY set?)";
        return false;
    }
    XSetErrorHandler(ignoreErrors);
    if (!XDamageQueryExtension(m_display, &m_damageEvent, &m_damageError)) {
        why = "the X server has no DAMAGE extension";
        return false;
    }
    m_root = DefaultRootWindow(m_display);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    m_nameAtom = XInternAtom(m_display, "_NET_WM_NAME", False);
    m_utf8Atom = XInternAtom(m_display, "UTF8_STRING", False);
    // Every new top-level window is announced, so each gets watched before
    // it can draw anything.
    XSelectInput(m_display, m_root, SubstructureNotifyMask);
    XSync(m_display, False);
    return true;
}

bool WindowWatch::launch(std::string& why)
{
    std::vector<char*> argv;
    for (const std::string& a : m_options.command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    m_started = Clock::now();
    m_pid = fork();
    if (m_pid < 0) {
        why = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (m_pid == 0) {
        // The program must not outlive the probe, whatever ends the probe.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (!m_options.workDir.empty() && chdir(m_options.workDir.c_str()) != 0)
            _exit(126);
        if (!m_options.logFile.empty()) {
            const int fd = ::open(m_options.logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
                close(fd);
            }
        }
        close(ConnectionNumber(m_display));
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return true;
}

bool WindowWatch::running(std::string& why)
{
    if (m_pid <= 0)
        return false;
    if (!m_exited) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            m_exitStatus = status;
        }
    }
    if (!m_exited)
        return true;
    if (WIFEXITED(m_exitStatus))
        why = "the program ended with status " + std::to_string(WEXITSTATUS(m_exitStatus));
    else if (WIFSIGNALED(m_exitStatus))
        why = "the program was killed by signal " + std::to_string(WTERMSIG(m_exitStatus));
    else
        why = "the program ended";
    return false;
}

void WindowWatch::stop()
{
    if (m_pid <= 0)
        return;
    std::string why;
    if (running(why)) {
        kill(m_pid, SIGTERM);
        const Moment limit = Clock::now() + std::chrono::seconds(3);
        while (running(why) && Clock::now() < limit)
            usleep(20000);
        if (running(why)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    m_pid = -1;
}

void WindowWatch::pump(int waitMs)
{
    if (!XPending(m_display) && waitMs > 0) {
        pollfd p { ConnectionNumber(m_display), POLLIN, 0 };
        poll(&p, 1, waitMs);
    }
    while (XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
        handle(event);
    }
}

void WindowWatch::handle(XEvent& event)
{
    const Moment now = Clock::now();
    if (event.type == m_damageEvent + XDamageNotify) {
        const auto* d = reinterpret_cast<XDamageNotifyEvent*>(&event);
        if (m_main == 0 || d->drawable != m_main)
            return;
        if (!m_firstDamage)
            m_firstDamage = now;
        const Rect area { d->area.x, d->area.y, d->area.width, d->area.height };
        if (area.intersects(gridInWindow())) {
            if (!m_firstGridDamage)
                m_firstGridDamage = now;
            m_lastGridDamage = now;
            m_gridDamages.push_back(now);
            m_gridDirty = true;
        }
        if (m_options.hover) {
            const Rect h { m_options.hover->x, m_options.hover->y + clientTop(), m_options.hover->w,
                m_options.hover->h };
            if (area.intersects(h)) {
                m_hoverDrawn = true;
                if (!m_hoverDamage)
                    m_hoverDamage = now;
            }
        }
        return;
    }
    switch (event.type) {
    case CreateNotify:
        if (event.xcreatewindow.parent == m_root && !event.xcreatewindow.override_redirect)
            watchNewWindow(event.xcreatewindow.window);
        break;
    case MapNotify:
        // Seen on the window itself, and on the root for a window that no
        // window manager has put into a frame.
        if (event.xmap.event == event.xmap.window || event.xmap.event == m_root)
            windowMapped(event.xmap.window);
        break;
    case ConfigureNotify:
        if (event.xconfigure.window == m_main && event.xconfigure.event == m_main)
            m_mainHeight = event.xconfigure.height;
        break;
    case UnmapNotify:
        for (OtherWindow& w : m_others)
            if (w.id == event.xunmap.window)
                w.closed = true;
        break;
    case DestroyNotify:
        for (OtherWindow& w : m_others)
            if (w.id == event.xdestroywindow.window)
                w.closed = true;
        if (auto it = m_damages.find(event.xdestroywindow.window); it != m_damages.end())
            m_damages.erase(it); // the server freed the damage with the window
        if (event.xdestroywindow.window == m_main)
            m_main = 0;
        break;
    default:
        break;
    }
}

void WindowWatch::watchNewWindow(Window w)
{
    XSelectInput(m_display, w, StructureNotifyMask);
    m_damages[w] = XDamageCreate(m_display, w, XDamageReportRawRectangles);
    // It may have been shown before the probe got to it.
    XWindowAttributes a;
    if (XGetWindowAttributes(m_display, w, &a) && a.map_state != IsUnmapped)
        windowMapped(w);
}

void WindowWatch::windowMapped(Window w)
{
    if (!m_damages.count(w) || w == m_main)
        return;
    for (const OtherWindow& o : m_others)
        if (o.id == w && !o.closed)
            return;
    const std::optional<pid_t> pid = windowPid(w);
    if (!pid || *pid != m_pid)
        return;
    const std::string title = windowTitle(w);
    if (m_main == 0 && title.find(m_options.title) != std::string::npos) {
        m_main = w;
        m_mainMapped = Clock::now();
        XWindowAttributes a;
        if (XGetWindowAttributes(m_display, w, &a))
            m_mainHeight = a.height;
        return;
    }
    if (m_main != 0)
        m_others.push_back({ w, Clock::now(), title, std::nullopt });
}

std::optional<pid_t> WindowWatch::windowPid(Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<pid_t> pid;
    if (XGetWindowProperty(m_display, w, m_pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
            == Success
        && data && format == 32 && count == 1)
        pid = pid_t(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

std::string WindowWatch::windowTitle(Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(m_display, w, m_nameAtom, 0, 1024, False, m_utf8Atom, &type, &format, &count, &after, &data)
            == Success
        && data && format == 8)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(m_display, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

int WindowWatch::clientTop() const
{
    if (m_options.clientHeight <= 0 || m_mainHeight <= m_options.clientHeight)
        return 0;
    return m_mainHeight - m_options.clientHeight;
}

std::optional<Moment> WindowWatch::firstGridDamageSince(Moment t) const
{
    const auto it = std::lower_bound(m_gridDamages.begin(), m_gridDamages.end(), t);
    if (it == m_gridDamages.end())
        return std::nullopt;
    return *it;
}

bool WindowWatch::mainViewable()
{
    if (m_main == 0)
        return false;
    XWindowAttributes a;
    return XGetWindowAttributes(m_display, m_main, &a) && a.map_state == IsViewable;
}

std::optional<Look> WindowWatch::capture(bool force)
{
    if (m_main == 0 || (!m_gridDirty && !force))
        return std::nullopt;
    const Rect g = gridInWindow();
    XImage* image = XGetImage(m_display, m_main, g.x, g.y, unsigned(g.w), unsigned(g.h), AllPlanes, ZPixmap);
    if (!image)
        return std::nullopt; // not viewable yet, or gone
    m_gridDirty = false;
    const Channel r = channelOf(image->red_mask), gr = channelOf(image->green_mask), b = channelOf(image->blue_mask);
    const unsigned long colourMask = image->red_mask | image->green_mask | image->blue_mask;
    const Rect rows { m_options.rows.x - m_options.grid.x, m_options.rows.y - m_options.grid.y, m_options.rows.w,
        m_options.rows.h };
    const int darkBelow = m_options.darkLevel * 1000;

    Look look;
    look.at = m_lastGridDamage.value_or(Clock::now());
    std::uint64_t hash = kFnvOffset;
    // The usual 32-bit little-endian pixels are read directly; anything else
    // through Xlib.
    const bool fast = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    for (int y = 0; y < image->height; ++y) {
        const auto* line
            = reinterpret_cast<const std::uint32_t*>(image->data + std::ptrdiff_t(y) * image->bytes_per_line);
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = (fast ? line[x] : XGetPixel(image, x, y)) & colourMask;
            hash = (hash ^ (pixel & 0xFFFFFFFF)) * kFnvPrime;
            if (x >= rows.x && x < rows.x + rows.w && y >= rows.y && y < rows.y + rows.h) {
                const int luma = 299 * level(pixel, r) + 587 * level(pixel, gr) + 114 * level(pixel, b);
                if (luma < darkBelow)
                    ++look.dark;
            }
        }
    }
    look.hash = hash;
    XDestroyImage(image);
    m_looks.push_back(look);
    return look;
}

std::optional<Moment> WindowWatch::takeHoverDamage()
{
    const std::optional<Moment> first = m_hoverDamage;
    m_hoverDamage.reset();
    return first;
}

std::vector<std::uint32_t> WindowWatch::pixels(const Rect& area)
{
    std::vector<std::uint32_t> values;
    if (m_main == 0)
        return values;
    XImage* image = XGetImage(
        m_display, m_main, area.x, area.y + clientTop(), unsigned(area.w), unsigned(area.h), AllPlanes, ZPixmap);
    if (!image)
        return values;
    values.reserve(std::size_t(area.w) * std::size_t(area.h));
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            values.push_back(std::uint32_t(XGetPixel(image, x, y)));
    XDestroyImage(image);
    return values;
}

std::optional<Point> WindowWatch::sectionMiddle(const HeaderSection& s)
{
    if (m_main == 0)
        return std::nullopt;
    const int width = s.x1 - s.x0;
    XImage* image = XGetImage(m_display, m_main, s.x0, s.y + clientTop(), unsigned(width), 1, AllPlanes, ZPixmap);
    if (!image)
        return std::nullopt;
    const Channel r = channelOf(image->red_mask), g = channelOf(image->green_mask), b = channelOf(image->blue_mask);
    std::vector<int> luma(std::size_t(width), 0);
    for (int x = 0; x < width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, 0);
        luma[std::size_t(x)] = (299 * level(pixel, r) + 587 * level(pixel, g) + 114 * level(pixel, b)) / 1000;
    }
    XDestroyImage(image);
    // A line is a pixel clearly darker than both its neighbours.
    std::vector<int> borders { 0 };
    for (int x = 1; x + 1 < width; ++x)
        if (luma[std::size_t(x)] + 24 <= std::min(luma[std::size_t(x - 1)], luma[std::size_t(x + 1)]))
            borders.push_back(x);
    borders.push_back(width);
    if (int(borders.size()) < s.n + 1)
        return std::nullopt;
    const int left = borders[std::size_t(s.n - 1)], right = borders[std::size_t(s.n)];
    return Point { s.x0 + (left + right) / 2, s.clickY };
}

std::optional<Point> WindowWatch::onScreen(Point p)
{
    if (m_main == 0)
        return std::nullopt;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(m_display, m_main, m_root, p.x, p.y + clientTop(), &x, &y, &child))
        return std::nullopt;
    return Point { x, y };
}

bool WindowWatch::focusInside(Window w)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    while (focus != 0 && focus != PointerRoot && focus != m_root) {
        if (focus == w)
            return true;
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, focus, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        focus = parent;
    }
    return false;
}

bool WindowWatch::savePicture(const std::string& path)
{
    if (m_main == 0)
        return false;
    XWindowAttributes a;
    if (!XGetWindowAttributes(m_display, m_main, &a))
        return false;
    XImage* image = XGetImage(m_display, m_main, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    const Channel r = channelOf(image->red_mask), g = channelOf(image->green_mask), b = channelOf(image->blue_mask);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
        std::vector<unsigned char> line(std::size_t(image->width) * 3);
        for (int y = 0; y < image->height; ++y) {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                line[std::size_t(x) * 3] = static_cast<unsigned char>(level(pixel, r));
                line[std::size_t(x) * 3 + 1] = static_cast<unsigned char>(level(pixel, g));
                line[std::size_t(x) * 3 + 2] = static_cast<unsigned char>(level(pixel, b));
            }
            std::fwrite(line.data(), 1, line.size(), file);
        }
        std::fclose(file);
    }
    XDestroyImage(image);
    return file != nullptr;
}

} // namespace probe
