#include "data/SocketWait.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace socketwait {

namespace {

Hook& hook()
{
    static Hook installed;
    return installed;
}

} // namespace

void setHook(Hook installed)
{
    hook() = std::move(installed);
}

void wait(int fd, Direction direction, Clock::time_point deadline)
{
    if (const Hook& installed = hook())
        installed(fd, direction, deadline);
    else
        poll(fd, direction, deadline);
}

bool poll(int fd, Direction direction, Clock::time_point deadline)
{
    pollfd p { fd, short(direction == Direction::Read ? POLLIN : POLLOUT), 0 };
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = ::poll(&p, 1, int(std::max<long long>(left, 0)));
        if (ready >= 0 || errno != EINTR)
            return ready > 0;
    }
}

} // namespace socketwait
