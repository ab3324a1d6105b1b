// How the window's thread waits for the network.
//
// A change written to a server waits for the server's answer on the thread
// that shows the window. It does not block there: each wait for the socket
// goes through a hook the program installs, which keeps the window painted
// (and takes no input) meanwhile. Without one, the wait is a plain poll().
// A change made while a table is still being read waits for the reading's
// end the same way, on a descriptor the reading thread makes readable.
#pragma once

#include <chrono>
#include <functional>

namespace socketwait {

using Clock = std::chrono::steady_clock;

enum class Direction { Read, Write };

// Waits until fd is ready for direction or deadline has passed. It may
// return earlier: the caller looks again and waits anew while it has time.
using Hook = std::function<void(int fd, Direction direction, Clock::time_point deadline)>;

// The wait used from now on; an empty hook restores the plain one.
void setHook(Hook hook);

// Waits through the hook installed.
void wait(int fd, Direction direction, Clock::time_point deadline);

// The plain wait: blocks in poll() until fd is ready or the deadline has
// passed; whether it is ready.
bool poll(int fd, Direction direction, Clock::time_point deadline);

} // namespace socketwait
