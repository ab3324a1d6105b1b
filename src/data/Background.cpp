#include "data/Background.h"

#ifdef __linux__
#include <malloc.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

namespace {

// How much nicer than the window's thread a background thread is: at 10 the
// window's thread gets about nine tenths of a core it shares with one.
constexpr int kNicer = 10;
// For work the window waits for: ahead of the rest, behind the window.
constexpr int kNicerAwaited = 3;

// How long after the user's last key or click the window's own background
// steps wait: a key's answer and its painting take well under this, and a
// typist's next key mostly comes later.
constexpr auto kUserActive = std::chrono::milliseconds(150);
std::atomic<std::chrono::steady_clock::rep> lastAction { 0 };

void lowerPriority([[maybe_unused]] int nicer)
{
#ifdef __linux__
    // On Linux the nice value belongs to each thread, not to the process.
    const auto thread = id_t(syscall(SYS_gettid));
    errno = 0;
    const int process = getpriority(PRIO_PROCESS, id_t(getpid()));
    if (errno != 0)
        return;
    const int wanted = std::min(process + nicer, 19);
    if (getpriority(PRIO_PROCESS, thread) < wanted)
        setpriority(PRIO_PROCESS, thread, wanted);
#endif
}

} // namespace

void background::yieldToWindow()
{
    lowerPriority(kNicer);
}

void background::yieldToWindowAwaited()
{
    lowerPriority(kNicerAwaited);
}

void background::userActed()
{
    lastAction.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

bool background::userActive()
{
    const std::chrono::steady_clock::duration since = std::chrono::steady_clock::now().time_since_epoch()
        - std::chrono::steady_clock::duration(lastAction.load(std::memory_order_relaxed));
    return since < kUserActive;
}

void background::returnFreedMemory()
{
#ifdef __linux__
    // Pieces of a quarter megabyte and more are mapped on their own and
    // unmapped when let go; free memory at the end of a heap goes back
    // beyond a megabyte.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
#endif
}
