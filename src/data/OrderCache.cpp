#include "data/OrderCache.h"

#include "data/Background.h"
#include "data/RowSet.h"
#include "data/WaitCheck.h"

#include <QtGlobal>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Rows one step of a build takes in: a worker looks for more urgent work
// between steps.
constexpr int kStepRows = 1 << 16;
// A build with this many rows still to take in is shared by both workers
// when nothing else is to be done: the second takes the later half.
constexpr int kSplitRows = 1 << 17;

// The fields built before anyone asks, first to last: names (the search),
// kinds of activity (the catalogue), addresses, then telephone numbers, the
// costliest. The others (the notes, which the window neither sorts nor
// searches by) are built only when a filter or sort asks for them.
constexpr int kOnlyAsked = -1;
int defaultRank(int field)
{
    static const int ranks[] = { kOnlyAsked, 0, 2, 3, 1, kOnlyAsked };
    return field < int(std::size(ranks)) ? ranks[field] : kOnlyAsked;
}

// The builders' value tables and keys, tens of megabytes at a million rows,
// are freed by now; the C library keeps freed memory of worker threads for
// reuse unless asked to hand it back.
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

// One field: its build under way, or its finished order. Guarded by the
// cache's mutex, except what the thread that marked it busy works on.
struct OrderCache::Slot {
    explicit Slot(const RowSet& rows, int f)
        : field(f)
        , builder(std::make_unique<OrderBuilder>(rows, f - 1))
    {
    }
    const int field;
    std::unique_ptr<OrderBuilder> builder;
    std::shared_ptr<const SortedOrder> order;
    bool busy = false; // a thread is working on builder (without the lock)
    int stepEnd = 0; // while busy: the row up to which the step takes rows in
    // Once split, the builder takes rows up to split and this one the rows
    // from there on; builder takes it over to finish.
    std::unique_ptr<OrderBuilder> later;
    int split = -1; // none
    bool laterBusy = false; // a thread is working on later
    bool wanted = false; // someone waits for it: it goes first
    bool held = false; // its cells are being changed: nobody reads them
    std::atomic<bool> stop { false };
};

struct OrderCache::Worker {
    std::thread thread;
    bool done = false; // guarded by the mutex
};

OrderCache::OrderCache(const RowSet& rows, const std::vector<FieldDef>& fields)
    : m_rows(rows)
    , m_fields(fields)
    , m_slots(fields.size())
    , m_available(rows.rowCount())
{
    for (std::size_t field = 1; field < fields.size(); ++field) {
        if (fields[field].type == FieldType::WideString)
            m_slots[field] = std::make_unique<Slot>(rows, int(field));
    }
}

OrderCache::~OrderCache()
{
    stop();
}

void OrderCache::beginLoading()
{
    std::lock_guard lock(m_mutex);
    m_available = 0;
    m_complete = false;
}

void OrderCache::rowsArrived(int count, bool work)
{
    {
        std::lock_guard lock(m_mutex);
        m_available = std::max(m_available, count);
    }
    if (!work)
        return;
    startWorkers(1); // one worker while the rows are read: the reading has the other core
    m_changed.notify_all();
}

void OrderCache::rowsComplete(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_available = count;
        m_complete = true;
    }
    startWorkers(2);
    m_changed.notify_all();
}

void OrderCache::buildInBackground()
{
    rowsComplete(m_rows.rowCount());
}

void OrderCache::startWorkers(std::size_t count)
{
    std::lock_guard lock(m_mutex);
    // A small table's orders are built by whoever asks for them.
    if (small())
        count = 0;
    // Workers that ended are let go first.
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
    while (!m_stopping && m_workers.size() < count) {
        auto worker = std::make_unique<Worker>();
        Worker& self = *worker;
        m_workers.push_back(std::move(worker));
        self.thread = std::thread([this, &self] { work(self); });
    }
}

bool OrderCache::small() const
{
    return m_available <= SmallRows && m_rows.textBytes() <= SmallTextBytes;
}

// Under the lock: whether a field's order is to be built at all now.
bool OrderCache::due(const Slot& slot)
{
    return slot.wanted || defaultRank(slot.field) != kOnlyAsked;
}

// Under the lock: the rows the builder takes in, up to (not including).
int OrderCache::limitOf(const Slot& slot) const
{
    return slot.split >= 0 ? slot.split : m_available;
}

// Under the lock: whether the builder has a step to take (rows to take in,
// or the order to finish, once every row is in, the later half's too).
bool OrderCache::hasWork(const Slot& slot) const
{
    if (slot.busy || slot.held || slot.order || !due(slot))
        return false;
    if (!slot.builder || slot.builder->rowsTaken() < limitOf(slot))
        return true;
    return m_complete
        && (slot.split < 0 || (!slot.laterBusy && slot.later && slot.later->rowsTaken() >= m_available));
}

// Under the lock: whether the later half has rows to take in (until the
// builder takes it over to finish).
bool OrderCache::laterWork(const Slot& slot) const
{
    return slot.later && !slot.laterBusy && !slot.held && slot.later->rowsTaken() < m_available;
}

// Under the lock: whether the rows still to take in are many enough to be
// split in two (every row being in).
bool OrderCache::canSplit(const Slot& slot) const
{
    if (!m_complete || slot.split >= 0 || slot.held || slot.order || !due(slot))
        return false;
    const int from = slot.busy ? slot.stepEnd : slot.builder ? slot.builder->rowsTaken() : 0;
    return m_available - from >= kSplitRows;
}

// Under the lock: whether nothing but this build is to be done, so the
// second core would idle.
bool OrderCache::alone(const Slot& slot) const
{
    if (m_paused || small())
        return false;
    const bool waiting = awaitedLocked();
    return std::none_of(m_slots.begin(), m_slots.end(), [&](const auto& other) {
        return other && other.get() != &slot
            && (other->busy || other->laterBusy || ((!waiting || other->wanted) && hasWork(*other)));
    });
}

// Under the lock: whether someone waits for an order still being built.
bool OrderCache::awaitedLocked() const
{
    return std::any_of(m_slots.begin(), m_slots.end(),
        [](const auto& slot) { return slot && slot->wanted && !slot->order && !slot->held; });
}

bool OrderCache::awaited()
{
    const std::lock_guard lock(m_mutex);
    return awaitedLocked();
}

// Under the lock: what to work on next, if anything. While someone waits
// for a field, only that field is worked on (the waiting thread gets the
// machine); otherwise by rank. A build's later half is taken in only when
// no build has a step of its own to take.
OrderCache::Job OrderCache::nextJob() const
{
    const bool waiting = awaitedLocked();
    auto best = [&](auto hasJob) {
        Slot* found = nullptr;
        for (const auto& slot : m_slots) {
            if (!slot || (waiting && !slot->wanted) || !hasJob(*slot))
                continue;
            if (!found || unsigned(defaultRank(slot->field)) < unsigned(defaultRank(found->field)))
                found = slot.get();
        }
        return found;
    };
    if (Slot* slot = best([this](const Slot& s) { return hasWork(s); }))
        return { slot, false };
    return { best([this](const Slot& s) { return laterWork(s) || canSplit(s); }), true };
}

// One step on a slot, without the lock: take in more rows, or finish.
void OrderCache::step(Slot& slot, std::unique_lock<std::mutex>& lock)
{
    if (!slot.builder)
        slot.builder = std::make_unique<OrderBuilder>(m_rows, slot.field - 1);
    slot.busy = true;
    const int taken = slot.builder->rowsTaken();
    const int limit = limitOf(slot);
    const int upTo = std::min(limit, taken + kStepRows);
    const bool finish = m_complete && taken >= limit;
    slot.stepEnd = upTo;
    std::unique_ptr<OrderBuilder> later = finish ? std::move(slot.later) : nullptr;
    const bool twoThreads = finish && alone(slot);
    lock.unlock();
    std::unique_ptr<SortedOrder> order;
    try {
        if (finish) {
            if (later) {
                slot.builder->absorb(*later);
                later.reset();
            }
            order = std::make_unique<SortedOrder>(slot.builder->finish(slot.stop, twoThreads));
        } else {
            slot.builder->add(upTo, slot.stop);
        }
    } catch (const SortedOrder::Stopped&) {
    }
    lock.lock();
    slot.busy = false;
    const bool built = order && !slot.stop;
    if (built) {
        slot.order = std::move(order);
        slot.builder.reset();
        slot.split = -1;
        slot.wanted = false;
        Q_ASSERT(slot.order->sorted.size() == slot.order->rank.size());
    }
    m_changed.notify_all();
    if (built && m_onBuilt) {
        lock.unlock();
        m_onBuilt();
        lock.lock();
    }
}

// One step on a build's later half, without the lock; the first splits the
// rows still to take in.
void OrderCache::stepLater(Slot& slot, std::unique_lock<std::mutex>& lock)
{
    if (slot.split < 0) {
        const int from = slot.busy ? slot.stepEnd : slot.builder ? slot.builder->rowsTaken() : 0;
        slot.split = from + (m_available - from) / 2;
    }
    // Nobody else touches it while busy: the first step makes it, without
    // the lock (its tables take a while to set up).
    std::unique_ptr<OrderBuilder> later = std::move(slot.later);
    const int split = slot.split;
    const int upTo = std::min(m_available, (later ? later->rowsTaken() : split) + kStepRows);
    slot.laterBusy = true;
    lock.unlock();
    try {
        if (!later)
            later = std::make_unique<OrderBuilder>(m_rows, slot.field - 1, split);
        later->add(upTo, slot.stop);
    } catch (const SortedOrder::Stopped&) {
    }
    lock.lock();
    slot.later = std::move(later);
    slot.laterBusy = false;
    m_changed.notify_all();
}

// A worker's loop: the most urgent step next, until every order is built
// (then it ends) or the cache stops.
void OrderCache::work(Worker& self)
{
    background::yieldToWindow();
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_paused) {
            m_changed.wait(lock);
            continue;
        }
        const Job job = nextJob();
        if (job.slot && job.later) {
            stepLater(*job.slot, lock);
            continue;
        }
        if (job.slot) {
            step(*job.slot, lock);
            continue;
        }
        if (m_complete && allBuilt())
            break;
        m_changed.wait(lock);
    }
    self.done = true;
    // The last worker to end hands the builders' memory back.
    const bool last = std::none_of(m_workers.begin(), m_workers.end(), [](const auto& w) { return !w->done; });
    if (last && !m_stopping) {
        lock.unlock();
        giveBackFreedMemory();
    }
}

// Under the lock: every order is there or held back.
bool OrderCache::allBuilt() const
{
    for (const auto& slot : m_slots) {
        if (slot && !slot->order && !slot->held && due(*slot))
            return false;
    }
    return true;
}

const SortedOrder* OrderCache::tryOrder(int field)
{
    Q_ASSERT(field > 0 && field < int(m_slots.size()) && m_slots[std::size_t(field)]);
    Slot& slot = *m_slots[std::size_t(field)];
    std::unique_lock lock(m_mutex);
    if (!slot.order && m_complete && small()) {
        // A small order nobody else builds: built here, step by step.
        // (Its rows are never split: no worker takes them on.)
        while (!slot.order && !slot.busy && !slot.stop && !slot.held)
            step(slot, lock);
    }
    return slot.order.get();
}

bool OrderCache::ready(const std::vector<int>& fields)
{
    bool all = true;
    for (int field : fields) {
        if (field > 0 && field < int(m_slots.size()) && m_slots[std::size_t(field)] && !tryOrder(field))
            all = false;
    }
    return all;
}

std::shared_ptr<const SortedOrder> OrderCache::builtOrder(int field)
{
    Q_ASSERT(field > 0 && field < int(m_slots.size()) && m_slots[std::size_t(field)]);
    const std::lock_guard lock(m_mutex);
    return m_slots[std::size_t(field)]->order;
}

const SortedOrder& OrderCache::order(int field)
{
    return *sharedOrder(field);
}

std::shared_ptr<const SortedOrder> OrderCache::sharedOrder(int field)
{
    Q_ASSERT(field > 0 && field < int(m_slots.size()) && m_slots[std::size_t(field)]);
    Slot& slot = *m_slots[std::size_t(field)];
    std::unique_lock lock(m_mutex);
    Q_ASSERT(m_complete);
    if (slot.order)
        return slot.order;
    if (!small() || slot.busy)
        waitcheck::aboutToWait(m_window, "OrderCache::order");
    slot.wanted = true;
    while (!slot.order) {
        // Whatever part nobody is on, this thread takes.
        if (!slot.stop && hasWork(slot))
            step(slot, lock);
        else if (!slot.stop && laterWork(slot))
            stepLater(slot, lock);
        else
            m_changed.wait(lock);
    }
    slot.wanted = false;
    return slot.order;
}

void OrderCache::pause(bool paused)
{
    {
        const std::lock_guard lock(m_mutex);
        m_paused = paused;
    }
    m_changed.notify_all();
}

void OrderCache::prefer(int field)
{
    bool start = false;
    {
        std::lock_guard lock(m_mutex);
        if (field > 0 && field < int(m_slots.size()) && m_slots[std::size_t(field)]) {
            Slot& slot = *m_slots[std::size_t(field)];
            slot.wanted = true;
            start = m_complete && !slot.order && !small();
        }
    }
    // The workers may have ended with every order built that nobody asked
    // for; while the rows are read, the end of the reading starts them.
    if (start)
        startWorkers(2);
    m_changed.notify_all();
}

bool OrderCache::building(int field)
{
    std::lock_guard lock(m_mutex);
    const auto& slot = m_slots[std::size_t(field)];
    return slot && (slot->busy || slot->laterBusy);
}

bool OrderCache::idle(int field)
{
    std::lock_guard lock(m_mutex);
    const auto& slot = m_slots[std::size_t(field)];
    return !slot || (!slot->busy && !slot->laterBusy && (slot->order || slot->held || !due(*slot)));
}

void OrderCache::hold(int field)
{
    const auto& owned = m_slots[std::size_t(field)];
    if (!owned)
        return;
    Slot& slot = *owned;
    std::unique_lock lock(m_mutex);
    slot.held = true;
    slot.stop = true;
    m_changed.wait(lock, [&] { return !slot.busy && !slot.laterBusy; });
    slot.order.reset();
    slot.builder.reset();
    slot.later.reset();
    slot.split = -1;
}

void OrderCache::release(int field)
{
    const auto& owned = m_slots[std::size_t(field)];
    if (!owned)
        return;
    Slot& slot = *owned;
    bool complete = false;
    {
        // The new build's builder is made when the build begins: releasing
        // needs no memory, so a change already in the file is never followed
        // by a failure here.
        std::lock_guard lock(m_mutex);
        slot.stop = false;
        slot.held = false;
        complete = m_complete;
    }
    try {
        startWorkers(complete ? 2 : 1);
    } catch (...) {
        // No worker now: the order is built by whoever asks for it.
    }
    m_changed.notify_all();
}

void OrderCache::holdAll()
{
    for (std::size_t field = 1; field < m_slots.size(); ++field)
        hold(int(field));
}

void OrderCache::releaseAll(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_available = count;
    }
    for (std::size_t field = 1; field < m_slots.size(); ++field)
        release(int(field));
}

void OrderCache::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (const auto& slot : m_slots) {
            if (slot)
                slot->stop = true;
        }
    }
    m_changed.notify_all();
    for (auto& worker : m_workers)
        worker->thread.join();
    m_workers.clear();
}
