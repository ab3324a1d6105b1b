// The window's wait for a server: while a change is written, the window
// keeps painting, takes no input and shows the busy cursor.
#pragma once

#include "data/SocketWait.h"

namespace networkwait {

// Waits for the socket in an event loop of its own that handles everything
// but the user's input, until the socket is ready or the deadline has
// passed. When the program is asked to end meanwhile (which ends every event
// loop), it goes on waiting plainly: the write still gets its answer.
void waitInWindow(int fd, socketwait::Direction direction, socketwait::Clock::time_point deadline);

// Makes it the data layer's wait for the network.
void install();

} // namespace networkwait
