// The sorted orders of a table's text fields, each built once and kept until
// a value of its field changes.
//
// The orders are built in the background while the rows are still being
// read in: a worker takes each field's rows as they are published (their
// values and the collation keys of new values), and once the last row is in,
// each order is finished and a second worker joins. The field that is asked
// for first goes first; the thread that asks for it helps rather than waits
// when no worker is on it.
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
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RowSet;

class OrderCache
{
public:
    // Over rows that are all there already (see beginLoading for others).
    OrderCache(const RowSet& rows, const std::vector<FieldDef>& fields);
    ~OrderCache();
    OrderCache(const OrderCache&) = delete;
    OrderCache& operator=(const OrderCache&) = delete;

    // The rows are about to be read in: none is there yet.
    void beginLoading();
    // Rows up to count are published; builds may take them in. Any thread.
    void rowsArrived(int count);
    // Every row is in.
    void rowsComplete(int count);

    // Starts the background work over the rows there are (for rows that
    // were all there from the start; loading starts it by itself).
    void buildInBackground();

    // The order of a text field, once every row is in: finished by this
    // thread when no worker is on it, or waited for.
    const SortedOrder& order(int field);

    // A filter or sort will soon ask for this field's order: its build goes
    // first from now on.
    void prefer(int field);

    // Whether a build may be reading the cells of this field right now.
    bool building(int field);

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

    int nextField() const;
    bool allBuilt() const;
    bool hasWork(const Slot& slot) const;
    void work(Worker& self);
    void step(Slot& slot, std::unique_lock<std::mutex>& lock);
    void startWorkers(std::size_t count);

    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
    std::vector<std::unique_ptr<Slot>> m_slots; // per field; null for the key

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_available = 0;   // rows published
    bool m_complete = true; // every row is in
    bool m_stopping = false;
    // The worker threads; a worker ends when nothing is left to build and
    // is started again when there is.
    std::vector<std::unique_ptr<Worker>> m_workers;
};
