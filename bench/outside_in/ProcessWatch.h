// What the probe learns about the running program from /proc, without its
// help: whether it holds a lock on a file (SQLite holds a read lock on the
// database for as long as a query reads it) and how much processor time it
// has used.
#pragma once

#include "WindowWatch.h"

#include <deque>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>

namespace probe {

class ProcessWatch {
public:
    // Watches the locks on `file` (none when empty).
    explicit ProcessWatch(const std::string& file);

    // Whether process `pid` holds a lock on the file now (/proc/locks).
    bool holdsLock(pid_t pid) const;

    // Notes the processor time `pid` has used so far; true when, over the
    // last windowMs, it used less than `share` of one core.
    bool idle(pid_t pid, int windowMs, double share);

private:
    std::optional<ino_t> m_inode;
    std::optional<dev_t> m_device;
    std::deque<std::pair<Moment, double>> m_cpu; // (when, seconds used)
};

} // namespace probe
