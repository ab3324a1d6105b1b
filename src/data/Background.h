// The threads that read a table and build its orders work while the user
// looks at the window; on a machine with few cores they would otherwise take
// the processor from the window's thread (and from the threads that help it
// paint) whenever it has something to do, and the window would answer late.
#pragma once

namespace background {

// Gives the calling thread a smaller share of the processor than the
// window's: it still has every core the window does not need. Called first
// thing on each background thread; threads it starts inherit the share.
void yieldToWindow();

// The same for a thread whose answer the window is waiting for: a smaller
// share than the window's, but a larger one than the other background work.
void yieldToWindowAwaited();

// The user has just pressed a key, clicked or turned the wheel. Work the
// window's thread does in steps between its events (the packing of a column)
// waits while userActive(), so the answer is painted without a step before it.
void userActed();
bool userActive();

// Has memory let go by any thread go back to the system. A big table's
// reading, orders and packing take and let go hundreds of megabytes in
// large pieces on several threads; left to itself the allocator raises its
// limits as it goes and keeps much of what the worker threads freed, which
// malloc_trim() cannot give back. Called once, first thing in main().
void returnFreedMemory();

} // namespace background
