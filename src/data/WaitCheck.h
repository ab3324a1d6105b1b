// The window's thread never waits for a background worker: not for a sorted
// order, not for the reading of the file. A step that needs what a worker
// has not finished is answered when it is ready instead.
//
// The places that would block call aboutToWait() first. On the thread that
// shows the table that is a fault (asserted in debug builds, counted in all,
// so tests see it), unless the wait is one its caller means: a test or a
// benchmark waiting for a result, marked with an Allowed in scope.
#pragma once

#include <thread>

namespace waitcheck {

// Notes that the calling thread is about to block on a worker; window is
// the thread that must not.
void aboutToWait(std::thread::id window, const char* what);

// Waits on the window thread that no Allowed covered, since the start.
int faults();

// A wait the calling thread means, for as long as this lives.
class Allowed {
public:
    Allowed();
    ~Allowed();
    Allowed(const Allowed&) = delete;
    Allowed& operator=(const Allowed&) = delete;
};

} // namespace waitcheck
