#include "ProcessWatch.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace probe {

ProcessWatch::ProcessWatch(const std::string& file)
{
    struct stat st { };
    if (!file.empty() && stat(file.c_str(), &st) == 0) {
        m_inode = st.st_ino;
        m_device = st.st_dev;
    }
}

bool ProcessWatch::holdsLock(pid_t pid) const
{
    if (!m_inode)
        return false;
    // A line: "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741824 1073742335";
    // a lock waited for is listed under its holder, after "->".
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string number, kind, mode, access, owner, place;
        if (!(in >> number >> kind))
            continue;
        if (kind == "->")
            continue;
        if (!(in >> mode >> access >> owner >> place))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(place.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3)
            continue;
        if (inode == *m_inode && makedev(major, minor) == *m_device && owner == std::to_string(pid))
            return true;
    }
    return false;
}

bool ProcessWatch::idle(pid_t pid, int windowMs, double share)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The command name may hold spaces: the fields count from its closing
    // parenthesis; utime and stime are the 14th and 15th.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return false;
    std::istringstream in(text.substr(close + 1));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && in >> field; ++n) {
        if (n == 14)
            utime = std::stoull(field);
        else if (n == 15)
            stime = std::stoull(field);
    }
    const Moment now = Clock::now();
    const double used = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
    m_cpu.emplace_back(now, used);
    while (m_cpu.size() > 1 && msBetween(m_cpu[1].first, now) >= windowMs)
        m_cpu.pop_front();
    const double span = msBetween(m_cpu.front().first, now);
    if (span < windowMs)
        return false;
    return (used - m_cpu.front().second) * 1000.0 < share * span;
}

} // namespace probe
