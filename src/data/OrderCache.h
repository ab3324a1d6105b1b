// The sorted orders of a table's text fields, each built once and kept until
// a value of its field changes.
//
// The orders are built in the background while the rows are still being
// read in: a worker takes each field's rows as they are published (their
// values and the collation keys of new values), and once the last row is in,
// each order is finished and a second worker joins. When one build is all
// there is to do (or all that anyone waits for), the second worker takes in
// the later half of its rows meanwhile. The field that is asked for first
// goes first; a field the window never sorts or searches by is
// built only once something asks for it. Whoever asks for an order that is
// not there yet is told so at once (tryOrder) and hears when it is built;
// only the order of a small table (few rows holding little text: SmallRows,
// SmallTextBytes), which no worker takes on, is built by the asking thread
// itself. A few huge values make a table big however few its rows. The
// window's thread never waits for a worker (WaitCheck.h).
//
// The thread rule: builds only read the rows, and only the cells of their own
// field. Cells of a field change only between hold(field) and release(field):
// hold stops that field's build, drops its order and keeps it stopped (the
// others go on: they never read its cells); rows are added only between
// holdAll() and releaseAll(). Deletion marks are never read by the builds, so
// marking a row deleted needs neither.
#pragma once

#include "data/Field.h"
#include "data/SortedOrder.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RowSet;

class OrderCache {
public:
    // Over rows that are all there already (see beginLoading for others).
    OrderCache(const RowSet& rows, const std::vector<FieldDef>& fields);
    ~OrderCache();
    OrderCache(const OrderCache&) = delete;
    OrderCache& operator=(const OrderCache&) = delete;

    // The rows are about to be read in: none is there yet.
    void beginLoading();
    // Rows up to count are published; builds may take them in (a worker
    // starts on them unless work is false: the reading has both cores).
    // Any thread.
    void rowsArrived(int count, bool work = true);
    // Every row is in.
    void rowsComplete(int count);

    // Starts the background work over the rows there are (for rows that
    // were all there from the start; loading starts it by itself).
    void buildInBackground();

    // Tables of up to this many rows, holding up to this much text, have
    // their orders built by whoever asks, at once (a few milliseconds);
    // bigger ones by the workers.
    static constexpr int SmallRows = 1 << 15;
    static constexpr std::size_t SmallTextBytes = std::size_t(8) << 20;

    // The order of a text field if it can be had now: built already, or
    // small and built here; null while a worker builds it (prefer() it, and
    // onBuilt tells when it is done).
    const SortedOrder* tryOrder(int field);
    // Whether every one of these fields' orders can be had now (fields
    // without an order are left out).
    bool ready(const std::vector<int>& fields);
    // The order of a text field if it is built already (a small table's too:
    // never built here); null otherwise.
    std::shared_ptr<const SortedOrder> builtOrder(int field);

    // The order of a text field, once every row is in: finished by this
    // thread when no worker is on it, or waited for. Never waits on the
    // window's thread (see setWindowThread) unless the caller means it.
    const SortedOrder& order(int field);
    // The same, shared: it lives on while someone holds it, even once the
    // cache has dropped it.
    std::shared_ptr<const SortedOrder> sharedOrder(int field);

    // Runs on a worker each time it finishes an order.
    void setOnBuilt(std::function<void()> callback) { m_onBuilt = std::move(callback); }
    // The thread that must never wait for a worker.
    void setWindowThread(std::thread::id id) { m_window = id; }
    std::thread::id windowThread() const { return m_window; }

    // A filter or sort will soon ask for this field's order: its build goes
    // first from now on.
    void prefer(int field);

    // Someone waits for an answer looked for among the rows (a search while
    // its order is built): the workers take no new step until resumed, so
    // the look has the cores. Any thread.
    void pause(bool paused);

    // Whether a build may be reading the cells of this field right now.
    bool building(int field);
    // Whether no build reads the cells of this field, and none will start
    // to unless this thread asks for one (or changes the field).
    bool idle(int field);
    // Whether someone waits for an order still being built.
    bool awaited();

    // The values of a field are about to change: its build is stopped, its
    // order dropped, and nothing reads its cells until release(field), when
    // it is built again in the background.
    void hold(int field);
    void release(int field);
    // Rows are about to be added: the same for every field; releaseAll
    // gives the new number of rows.
    void holdAll();
    void releaseAll(int count);
    // Stops every build and waits for the workers to end.
    void stop();

private:
    struct Slot;
    struct Worker;

    struct Job {
        Slot* slot = nullptr;
        bool later = false; // the later half of the rows (see Slot::later)
    };
    Job nextJob() const;
    bool awaitedLocked() const;
    bool allBuilt() const;
    static bool due(const Slot& slot);
    int limitOf(const Slot& slot) const;
    bool hasWork(const Slot& slot) const;
    bool laterWork(const Slot& slot) const;
    bool canSplit(const Slot& slot) const;
    bool alone(const Slot& slot) const;
    bool small() const; // under the lock
    void work(Worker& self);
    void step(Slot& slot, std::unique_lock<std::mutex>& lock);
    void stepLater(Slot& slot, std::unique_lock<std::mutex>& lock);
    void startWorkers(std::size_t count);

    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
    std::vector<std::unique_ptr<Slot>> m_slots; // per field; null for the key

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_available = 0; // rows published
    bool m_complete = true; // every row is in
    bool m_stopping = false;
    bool m_paused = false; // see pause()
    std::function<void()> m_onBuilt;
    std::thread::id m_window;
    // The worker threads; a worker ends when nothing is left to build and
    // is started again when there is.
    std::vector<std::unique_ptr<Worker>> m_workers;
};
