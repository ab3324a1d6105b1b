#include "data/OrderCache.h"

#include "data/RowSet.h"

#include <QtGlobal>

// One field's build, claimed by whichever thread gets to it first. The
// workers share ownership, so a build forgotten meanwhile stays valid
// until they let go of it.
struct OrderCache::Build {
    explicit Build(int f)
        : field(f)
    {
    }
    const int field;
    std::atomic<bool> claimed { false };
    std::atomic<bool> running { false };
    std::atomic<bool> stop { false };
    std::promise<std::unique_ptr<SortedOrder>> promise;
    std::future<std::unique_ptr<SortedOrder>> future = promise.get_future();
};

OrderCache::OrderCache(const RowSet& rows, const std::vector<FieldDef>& fields)
    : m_rows(rows)
    , m_fields(fields)
    , m_orders(fields.size())
    , m_builds(fields.size())
{
}

OrderCache::~OrderCache()
{
    stop();
}

void OrderCache::runBuild(Build& build) const
{
    build.running = true;
    try {
        build.promise.set_value(std::make_unique<SortedOrder>(SortedOrder::build(m_rows, build.field - 1, build.stop)));
    } catch (...) {
        build.promise.set_exception(std::current_exception());
    }
    build.running = false;
}

const SortedOrder& OrderCache::order(int field)
{
    Q_ASSERT(field > 0 && field < int(m_orders.size()));
    auto& slot = m_orders[std::size_t(field)];
    if (slot)
        return *slot;
    const std::shared_ptr<Build> build = std::move(m_builds[std::size_t(field)]);
    if (build && !build->claimed.exchange(true))
        runBuild(*build);
    try {
        if (build)
            slot = build->future.get();
    } catch (const SortedOrder::Stopped&) {
        // Stopped on its way (it cannot be: only forget() stops a build, and
        // that drops it first); build it here after all.
    }
    if (!slot) {
        const std::atomic<bool> never { false };
        slot = std::make_unique<SortedOrder>(SortedOrder::build(m_rows, field - 1, never));
    }
    return *slot;
}

void OrderCache::buildInBackground()
{
    joinWorkers();
    std::vector<std::shared_ptr<Build>> jobs;
    for (std::size_t field = 1; field < m_fields.size(); ++field) {
        if (m_fields[field].type != FieldType::WideString || m_orders[field])
            continue;
        m_builds[field] = std::make_shared<Build>(int(field));
        jobs.push_back(m_builds[field]);
    }
    // Two workers share the fields; each takes the next one nobody has
    // claimed yet, in field order.
    const std::size_t workers = std::min<std::size_t>(2, jobs.size());
    for (std::size_t w = 0; w < workers; ++w) {
        m_workers.emplace_back([this, jobs] {
            for (const std::shared_ptr<Build>& build : jobs) {
                if (!build->claimed.exchange(true))
                    runBuild(*build);
            }
        });
    }
}

bool OrderCache::building(int field) const
{
    const std::shared_ptr<Build>& build = m_builds[std::size_t(field)];
    return build && build->running;
}

void OrderCache::forget(int field)
{
    if (std::shared_ptr<Build> build = std::move(m_builds[std::size_t(field)])) {
        build->stop = true;
        if (build->claimed.exchange(true))
            build->future.wait(); // the worker gives up at its next look at the flag
    }
    m_orders[std::size_t(field)].reset();
    Q_ASSERT(!building(field));
}

void OrderCache::forgetAll()
{
    for (std::size_t field = 1; field < m_orders.size(); ++field)
        forget(int(field));
    joinWorkers();
}

void OrderCache::stop()
{
    for (const std::shared_ptr<Build>& build : m_builds) {
        if (build)
            build->stop = true;
    }
    joinWorkers();
    for (std::shared_ptr<Build>& build : m_builds)
        build.reset();
}

void OrderCache::joinWorkers()
{
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}
