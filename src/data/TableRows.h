// The rows of an open table, the sorted orders built over them and the
// thread that reads them in from the file.
//
// The first rows are read at once, the rest in large batches on a thread of
// its own (a store may read part of a big table on a second thread too), so
// the first screen shows long before a big table is in. The orders of the
// text fields are built in the background from the rows already in while
// the rest is read by one thread, and finished once the last row is in
// (a small table's when first asked for; see OrderCache.h). Every change to
// the rows goes through this class, which is where the threads' rule is
// kept: a change waits for the reading to end, and stops the order builds
// that read what it changes.
//
// Once a field's order is built, a field whose values repeat much (a town's
// names and addresses) has its texts packed anew, each distinct value once,
// and every row of it, and of a field of few values, holds the number of its
// value instead of a whole cell; a few milliseconds at a time on the owning
// thread (RowSet::Squeeze).
#pragma once

#include "data/Field.h"
#include "data/OrderCache.h"
#include "data/RowSelection.h"
#include "data/RowSet.h"

#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

class Store;
class RowReader;

class TableRows : public QObject {
    Q_OBJECT

public:
    explicit TableRows(const std::vector<FieldDef>& fields);
    ~TableRows() override;

    const RowSet& rows() const { return m_rows; }

    // Reads up to firstRows rows here and the rest on the reading thread;
    // throws DataError when the first rows cannot be read.
    void load(Store& store, const QString& table, const QStringList& fields, int firstRows);
    // Whether rows are still being read in.
    bool loading() const { return m_loading; }
    // Whether every row is in, and the end of the reading dealt with.
    bool ready() const { return m_finished && m_error.isEmpty(); }
    // Waits for the reading to end; finished or failed is emitted before
    // this returns, if it was not already. Not on the window's thread,
    // unless the caller means it (WaitCheck.h); there it waits through
    // socketwait's hook, which keeps the window painted.
    void waitUntilLoaded();

    // Queues f to run on this object's (the window's) thread. Every post to
    // that thread's queue, from any thread, holds the same lock, and f takes
    // it once before it runs: the reading and order threads post to the
    // queue too, and the sanitizer cannot see Qt's own lock on it, nor so
    // tell that what a thread did before posting comes before f.
    template <typename F> void post(F&& f)
    {
        const std::lock_guard posting(s_posting);
        QMetaObject::invokeMethod(
            this,
            [f = std::forward<F>(f)]() mutable {
                {
                    const std::lock_guard posted(s_posting);
                }
                f();
            },
            Qt::QueuedConnection);
    }

    // Filtering and sorting; only once every row is in.
    RowSelection& selection();
    // A filter or sort waits for the rows: the orders of these fields are
    // built first.
    void prefer(const std::vector<int>& fields);
    // Whether the orders of these fields are there, so that a selection
    // over them needs no waiting; when not, orderBuilt follows.
    bool ordersReady(const std::vector<int>& fields);
    // Waits until the orders of these fields are built (for tests and
    // benchmarks; never on the window's thread).
    void waitForOrders(const std::vector<int>& fields);

    // A filter waits for orders still being built: meanwhile it is answered
    // by looking at every row (RowSelection::scan) on a thread of its own,
    // once every row is in; scanned follows when the answer is there. The
    // last selection asked for is the one looked for: asking for another
    // stops the one under way, and so does any change to the rows. Asking
    // again for the same ticket while its answer stands changes nothing.
    // The last few answers are kept until the rows change: a search typed
    // on looks only through the rows of the one before it, and a search
    // typed back is answered from what was found for it.
    void scanFor(int ticket, const Selection& selection);
    // The answer for this ticket, if it was found and no row changed since.
    std::shared_ptr<const std::vector<std::uint32_t>> takeScanned(int ticket);

    // Changes, on the thread that owns the table, once every row is in.
    // A change is readied first (the new values stored, room made for a new
    // row), which is where it can fail for want of memory; putting it in
    // place then needs nothing that can fail, so the file can be written in
    // between.
    using Values = std::vector<std::pair<int, TextValue>>; // field, value
    using Staged = std::vector<std::pair<int, RowSet::Prepared>>;
    Staged stage(const Values& values, bool newRow);
    void apply(int row, const Staged& values);
    // Adds a row with values staged with newRow set and returns its index.
    int appendRow(qint64 key, const Staged& values);
    void setValue(int row, int field, const TextValue& value);
    void markDeleted(int row);

    // Stops the reading and the order builds and waits for their threads.
    void stop();

signals:
    // More rows are in: rows().rowCount() is now count. Delivered on the
    // thread that owns this object.
    void rowsArrived(int count);
    // Every row is in; the orders are being built.
    void finished();
    // One more order is built. Delivered on the thread that owns this object.
    void orderBuilt();
    // Reading stopped on an error; the rows read so far stay, but no order
    // is built and no change is taken.
    void failed(const QString& message);
    // The answer of scanFor() is there.
    void scanned();

private:
    void readRest();
    void onReadingEnded();
    void startScan();
    void stopScan();
    void changing();
    void squeezeNext();
    void squeezeStep();

    const std::vector<FieldDef>& m_fields;
    RowSet m_rows;
    OrderCache m_orders;
    RowSelection m_selection;
    std::unique_ptr<RowReader> m_reader;
    std::thread m_reading;
    std::atomic<bool> m_stopReading { false };
    // Held by every post to the window's thread (post()), one at a time.
    static std::mutex s_posting;
    std::atomic<bool> m_loading { false };
    void ended();
    // Readable once m_loading has dropped (an eventfd), for a wait that
    // keeps the window painted; -1 when none could be made.
    int m_readingEnded = -1;
    QString m_error; // why reading stopped, set before m_loading drops
    // The rows whose key others share, found by the reading thread once the
    // last row is in (set before m_loading drops); marked on this thread.
    std::vector<std::uint32_t> m_sharedKeys;
    bool m_keysChecked = false;
    bool m_finished = false; // the end of the reading has been dealt with

    // The selection looked for by scanning, its thread and its answer.
    int m_scanTicket = -1;
    Selection m_scanSelection;
    std::thread m_scanning;
    std::atomic<bool> m_stopScan { false };
    bool m_scanRunning = false;
    std::shared_ptr<const std::vector<std::uint32_t>> m_scanAnswer; // shared with m_found
    unsigned m_changes = 0; // changes to the rows so far
    unsigned m_scanChanges = 0; // as many when the scan began
    struct Found {
        Selection selection;
        std::shared_ptr<const std::vector<std::uint32_t>> rows;
    };
    std::vector<Found> m_found; // the last answers, newest last; dropped with any change
    // Whether the scan's thread may still read the rows (set false once its
    // last look is over, which may be before the thread is joined).
    std::atomic<bool> m_scanReading { false };

    // The squeeze under way, if any, and the changes there were at its start.
    std::unique_ptr<RowSet::Squeeze> m_squeeze;
    int m_squeezeField = 0;
    unsigned m_squeezeChanges = 0;
};
