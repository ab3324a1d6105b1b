#include "data/WaitCheck.h"

#include <QtGlobal>

#include <atomic>

namespace waitcheck {

namespace {

std::atomic<int> g_faults { 0 };
thread_local int t_allowed = 0;

} // namespace

void aboutToWait(std::thread::id window, const char* what)
{
    Q_UNUSED(what);
    if (t_allowed > 0 || std::this_thread::get_id() != window)
        return;
    g_faults.fetch_add(1, std::memory_order_relaxed);
    Q_ASSERT_X(false, what, "the window's thread would wait for a background worker");
}

int faults()
{
    return g_faults.load(std::memory_order_relaxed);
}

Allowed::Allowed()
{
    ++t_allowed;
}

Allowed::~Allowed()
{
    --t_allowed;
}

} // namespace waitcheck
