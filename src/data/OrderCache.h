// The sorted orders of a table's text fields, each built once and kept until
// a value of its field changes. Orders are built in the background by two
// worker threads right after the rows are in, or at once by the thread that
// needs one first; a build can be stopped halfway.
//
// The thread rule: the workers only read the rows, and only the cells of the
// field they build. Before the cells of a field change, forget(field) stops
// and drops that field's build (the others go on: they never read its
// cells); before rows are added, forgetAll() stops them all. Deletion marks
// are never read by the workers, so marking a row deleted needs neither.
#pragma once

#include "data/Field.h"
#include "data/SortedOrder.h"

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

class RowSet;

class OrderCache {
public:
    OrderCache(const RowSet& rows, const std::vector<FieldDef>& fields);
    ~OrderCache();
    OrderCache(const OrderCache&) = delete;
    OrderCache& operator=(const OrderCache&) = delete;

    // The order of a text field: built by this thread when no one has begun
    // it yet, or waited for.
    const SortedOrder& order(int field);

    // Starts building, on two worker threads, the orders of the text fields
    // that have none yet.
    void buildInBackground();

    // Whether a worker may be reading the cells of this field right now.
    bool building(int field) const;

    // The values of a field are about to change: its build is stopped and
    // its order dropped.
    void forget(int field);
    // Rows are about to be added: every build is stopped, every order dropped.
    void forgetAll();
    // Stops every build and waits for the workers to end.
    void stop();

private:
    struct Build;

    void runBuild(Build& build) const;
    void joinWorkers();

    const RowSet& m_rows;
    const std::vector<FieldDef>& m_fields;
    std::vector<std::unique_ptr<SortedOrder>> m_orders; // per field, once built
    std::vector<std::shared_ptr<Build>> m_builds; // per field, while one is under way
    std::vector<std::thread> m_workers;
};
