#include "data/TableRows.h"

#include "data/Background.h"
#include "data/DataError.h"
#include "data/SocketWait.h"
#include "data/Store.h"
#include "data/WaitCheck.h"

#include <QMetaObject>
#include <QScopeGuard>
#include <QTimer>

#include <malloc.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

namespace {

// Rows read in one batch on the reading thread.
constexpr int kBatchRows = 1 << 17;
// Text read before the window shows, and in one batch: a few huge values
// end the first rows early (the rest come in the background) and are
// published as they come, not only with the rows after them.
constexpr std::size_t kFirstTextBytes = std::size_t(16) << 20;
constexpr std::size_t kBatchTextBytes = std::size_t(64) << 20;
// Rows read on the reading thread between two looks at the text read so
// far; before the window shows, every row is looked at.
constexpr int kBatchStepRows = 64;

// Reads up to maxRows rows, stepRows at a time, fewer once maxBytes of text
// have come in or stop is raised; false once there are no more.
bool readSome(RowReader& reader, const RowSet& rows, int maxRows, int stepRows, std::size_t maxBytes,
    const std::atomic<bool>* stop = nullptr)
{
    const std::size_t bytesBefore = rows.textBytes();
    const bool twoThreads = reader.twoThreads();
    for (int left = maxRows; left > 0 && !(stop && stop->load(std::memory_order_relaxed));) {
        const int step = std::min(left, stepRows);
        if (!reader.read(step))
            return false;
        left -= step;
        // One of two reading threads is done: the rows so far go to the
        // orders now, which may take its core.
        if (rows.textBytes() - bytesBefore > maxBytes || (twoThreads && !reader.twoThreads()))
            break;
    }
    return true;
}

} // namespace

std::mutex TableRows::s_posting;

TableRows::TableRows(const std::vector<FieldDef>& fields)
    : m_fields(fields)
    , m_rows(int(fields.size()) - 1)
    , m_orders(m_rows, fields)
    , m_selection(m_rows, fields, m_orders)
{
    // The thread that makes the rows is the one that shows them.
    m_orders.setWindowThread(std::this_thread::get_id());
    m_orders.setOnBuilt([this] {
        post([this] {
            squeezeNext();
            emit orderBuilt();
        });
    });
}

TableRows::~TableRows()
{
    // No thread may outlive what it reads, whatever order the members go in.
    stop();
    if (m_readingEnded >= 0)
        ::close(m_readingEnded);
}

// On the reading thread, once m_loading has dropped: wakes a wait for it.
void TableRows::ended()
{
    if (m_readingEnded >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_readingEnded, &one, sizeof one);
    }
}

void TableRows::stop()
{
    m_squeeze.reset();
    stopScan();
    m_stopReading = true;
    if (m_reader)
        m_reader->cancel();
    if (m_reading.joinable())
        m_reading.join();
    m_reader.reset();
    m_loading = false;
    m_orders.stop();
}

void TableRows::load(Store& store, const QString& table, const QStringList& fields, int firstRows)
{
    Q_ASSERT(!m_loading && !m_reading.joinable());
    m_orders.beginLoading();
    m_reader = store.openReader(table, fields, m_rows);
    const bool more = readSome(*m_reader, m_rows, firstRows, 1, kFirstTextBytes);
    m_orders.rowsArrived(m_rows.rowCount());
    if (!more) {
        m_reader.reset();
        onReadingEnded();
        return;
    }
    m_loading = true;
    if (m_readingEnded < 0)
        m_readingEnded = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); // without one, a wait is a plain join
    m_reading = std::thread([this] { readRest(); });
}

// On the reading thread: batch after batch, each published when complete.
void TableRows::readRest()
{
    background::yieldToWindow();
    QString error;
    try {
        m_reader->readingInBackground();
        bool more = true;
        while (more && !m_stopReading) {
            m_rows.beginBatch();
            more = readSome(*m_reader, m_rows, kBatchRows, kBatchStepRows, kBatchTextBytes, &m_stopReading);
            m_rows.endBatch();
            // The orders take the new rows in meanwhile, unless two threads
            // read: the reading has both cores, the orders follow.
            m_orders.rowsArrived(m_rows.rowCount(), !m_reader->twoThreads());
            post([this, count = m_rows.rowCount()] { emit rowsArrived(count); });
        }
    } catch (const DataError& e) {
        m_rows.endBatch();
        error = e.message();
    } catch (const std::exception& e) {
        m_rows.endBatch();
        error = QString::fromUtf8(e.what());
    }
    m_error = error;
    if (error.isEmpty() && !m_stopReading) {
        // Looking for shared keys reads every row: done here, not on the
        // window's thread, which only marks what is found.
        m_sharedKeys = m_rows.rowsSharingKeys();
        m_keysChecked = true;
        // The orders need nothing from the owning thread to be finished.
        m_orders.rowsComplete(m_rows.rowCount());
    }
    m_loading = false;
    ended();
    if (m_stopReading)
        return;
    post([this] { onReadingEnded(); });
}

// Through the program's wait for a file descriptor: the window keeps
// painting meanwhile, and what the reading posts to it is handled there.
void TableRows::waitUntilLoaded()
{
    if (m_reading.joinable()) {
        waitcheck::aboutToWait(m_orders.windowThread(), "TableRows::waitUntilLoaded");
        while (m_loading && m_readingEnded >= 0)
            socketwait::wait(
                m_readingEnded, socketwait::Direction::Read, socketwait::Clock::now() + std::chrono::seconds(1));
        if (m_reading.joinable())
            m_reading.join();
    }
    m_reader.reset();
    onReadingEnded();
}

// Back on the owning thread, once: the keys are checked and the orders
// begin, or the error is passed on.
void TableRows::onReadingEnded()
{
    if (m_finished || m_stopReading)
        return;
    if (m_reading.joinable())
        m_reading.join();
    m_reader.reset();
    if (!m_error.isEmpty()) {
        m_finished = true;
        emit failed(m_error);
        return;
    }
    m_finished = true;
    m_rows.readingEnded();
    m_rows.markSharedKeys(m_keysChecked ? m_sharedKeys : m_rows.rowsSharingKeys());
    m_sharedKeys = {};
    m_orders.rowsComplete(m_rows.rowCount());
    if (m_scanTicket >= 0 && !m_orders.ready(m_scanSelection.fields()))
        startScan();
    // Orders built before this point found the reading not yet dealt with.
    squeezeNext();
    emit finished();
}

bool TableRows::ordersReady(const std::vector<int>& fields)
{
    Q_ASSERT(m_finished);
    return m_orders.ready(fields);
}

void TableRows::waitForOrders(const std::vector<int>& fields)
{
    for (int field : fields) {
        if (field > 0 && field < int(m_fields.size()) && m_fields[std::size_t(field)].type == FieldType::WideString)
            m_orders.order(field);
    }
}

void TableRows::scanFor(int ticket, const Selection& selection)
{
    if (ticket == m_scanTicket && m_scanChanges == m_changes && (m_scanRunning || m_scanAnswer))
        return;
    stopScan();
    m_scanTicket = ticket;
    m_scanSelection = selection;
    m_scanAnswer.reset();
    if (ready() && !m_orders.ready(selection.fields()))
        startScan();
}

std::shared_ptr<const std::vector<std::uint32_t>> TableRows::takeScanned(int ticket)
{
    if (ticket != m_scanTicket || m_scanChanges != m_changes)
        return nullptr;
    return std::exchange(m_scanAnswer, nullptr);
}

namespace {

// More chosen rows than this are put in order faster by the field's order
// than by comparing their keys.
std::size_t scanLimit(int rows)
{
    return std::size_t(std::max(rows / 4, 1));
}

} // namespace

void TableRows::startScan()
{
    // A selection the scan cannot answer is left to the orders.
    if (!m_selection.canScan(m_scanSelection))
        return;
    stopScan();
    m_stopScan = false;
    m_scanRunning = true;
    m_scanReading.store(true, std::memory_order_relaxed);
    m_scanChanges = m_changes;
    // The fewest rows found before that hold every row this one can choose.
    std::shared_ptr<const std::vector<std::uint32_t>> within;
    for (const Found& found : m_found) {
        if ((!within || found.rows->size() < within->size()) && RowSelection::narrows(found.selection, m_scanSelection))
            within = found.rows;
    }
    // The order workers wait while the scan runs; a thread that cannot be
    // started must not leave them paused.
    m_orders.pause(true);
    auto resume = qScopeGuard([this] { m_orders.pause(false); });
    m_scanning = std::thread([this, ticket = m_scanTicket, changes = m_changes, selection = m_scanSelection, within] {
        background::yieldToWindowAwaited();
        auto answer = std::make_shared<std::optional<std::vector<std::uint32_t>>>(
            m_selection.scan(selection, scanLimit(m_rows.rowCount()), m_stopScan, within.get()));
        m_scanReading.store(false, std::memory_order_release);
        m_orders.pause(false);
        if (m_stopScan)
            return;
        post([this, ticket, changes, answer] {
            if (ticket != m_scanTicket || changes != m_changes || !m_scanRunning)
                return;
            m_scanRunning = false;
            if (m_scanning.joinable())
                m_scanning.join();
            if (!*answer)
                return;
            m_scanAnswer = std::make_shared<const std::vector<std::uint32_t>>(std::move(**answer));
            constexpr std::size_t kKept = 8;
            if (m_found.size() >= kKept)
                m_found.erase(m_found.begin());
            m_found.push_back({ m_scanSelection, m_scanAnswer });
            emit scanned();
        });
    });
    resume.dismiss(); // the scan's thread resumes them
}

// Stops the scan under way and lets its thread go; its answer, if any, is
// dropped.
void TableRows::stopScan()
{
    m_stopScan = true;
    if (m_scanning.joinable()) {
        // The scan looks at the flag every few thousand rows.
        const waitcheck::Allowed quick;
        m_scanning.join();
    }
    m_scanRunning = false;
}

// Every change to the rows: the scan under way reads them, and what it
// found no longer holds.
void TableRows::changing()
{
    stopScan();
    ++m_changes;
    m_scanAnswer.reset();
    m_found.clear();
}

namespace {

// A column is packed anew when it holds this much text, at least a quarter
// of its values repeat an earlier one, and it has grown by a quarter since
// it was last packed; a column whose values are shared, once. Small tables
// gain too little.
constexpr std::size_t kSqueezeBytes = std::size_t(1) << 20;
constexpr int kSqueezeRows = 1 << 14;
// How long one step of the packing may keep the window's thread, and how
// many rows it packs between two looks at the clock.
constexpr auto kSqueezeStep = std::chrono::milliseconds(3);
constexpr int kSqueezeStepRows = 1 << 8;

} // namespace

// Starts packing the first field that gains from it, if none is being packed.
void TableRows::squeezeNext()
{
    if (m_squeeze || !ready() || m_rows.rowCount() < kSqueezeRows)
        return;
    for (int field = 1; field < int(m_fields.size()); ++field) {
        const int column = field - 1;
        if (m_fields[std::size_t(field)].type != FieldType::WideString)
            continue;
        // A column of few shared values (a few over-long ones aside) has
        // its cells numbered as they are; one of many, shared by each of
        // the readings apart, is packed like any other.
        if ((m_rows.sharesValues(column) && m_rows.columnBytes(column) < kSqueezeBytes)
            || m_rows.columnBytes(column) < std::size_t(m_rows.rowCount())) {
            if (m_rows.squeezed(column) || !m_orders.idle(field))
                continue;
            m_squeeze = m_rows.beginSqueeze(column, nullptr, 0);
        } else {
            const std::size_t bytes = m_rows.columnBytes(column);
            const std::size_t squeezed = m_rows.columnBytesSqueezed(column);
            if (bytes < kSqueezeBytes || (squeezed > 0 && bytes < squeezed + squeezed / 4))
                continue;
            const std::shared_ptr<const SortedOrder> order = m_orders.builtOrder(field);
            const std::size_t rows = std::size_t(m_rows.rowCount());
            if (!order)
                continue;
            const std::size_t distinct = std::size_t(order->topRank()) + 1;
            if (order->rank.size() != rows || distinct > rows - rows / 4)
                continue;
            m_squeeze = m_rows.beginSqueeze(
                column, std::shared_ptr<const PackedNumbers>(order, &order->rank), std::uint32_t(distinct));
        }
        m_squeezeField = field;
        m_squeezeChanges = m_changes;
        post([this] { squeezeStep(); });
        return;
    }
}

// Packs rows for a few milliseconds, then lets the window's events in. A
// scan, or a build of the field's order, reads the rows on a thread of its
// own: the packing waits for it, and leaves the machine to an order someone
// waits for. It also waits a moment after the user's key or click, so that
// the answer is painted without a step of packing before it.
void TableRows::squeezeStep()
{
    if (!m_squeeze)
        return;
    if (m_changes != m_squeezeChanges) {
        // What was packed stays where it is; the next squeeze starts over.
        m_squeeze.reset();
        squeezeNext();
        return;
    }
    if (m_scanReading.load(std::memory_order_acquire) || !m_orders.idle(m_squeezeField) || m_orders.awaited()
        || background::userActive()) {
        QTimer::singleShot(10, this, &TableRows::squeezeStep);
        return;
    }
    const auto until = std::chrono::steady_clock::now() + kSqueezeStep;
    try {
        while (!m_rows.squeezeSome(*m_squeeze, kSqueezeStepRows)) {
            if (std::chrono::steady_clock::now() >= until) {
                post([this] { squeezeStep(); });
                return;
            }
        }
    } catch (const std::bad_alloc&) {
        // Every row packed so far holds its value; the rest keep theirs,
        // and the column is left as it is.
        m_squeeze.reset();
        return;
    }
    m_squeeze.reset();
    squeezeNext();
    // What the packing and the order builds let go lies scattered between
    // what is kept: given back to the system once all is packed (a step of
    // its own: it takes milliseconds).
    if (!m_squeeze)
        post([] { malloc_trim(0); });
}

RowSelection& TableRows::selection()
{
    Q_ASSERT(m_finished);
    return m_selection;
}

void TableRows::prefer(const std::vector<int>& fields)
{
    for (int field : fields)
        m_orders.prefer(field);
}

TableRows::Staged TableRows::stage(const Values& values, bool newRow)
{
    // The file is not written while it is being read: a change made while
    // the rows come in waits for the last of them.
    const waitcheck::Allowed writing;
    waitUntilLoaded();
    changing();
    Staged staged;
    staged.reserve(values.size());
    for (const auto& [field, value] : values)
        staged.emplace_back(field, m_rows.prepare(field - 1, value));
    if (newRow)
        m_rows.reserveRow();
    return staged;
}

void TableRows::apply(int row, const Staged& values)
{
    changing();
    for (const auto& [field, value] : values) {
        m_orders.hold(field);
        Q_ASSERT(!m_orders.building(field));
        m_rows.place(row, field - 1, value);
        m_orders.release(field);
    }
}

void TableRows::setValue(int row, int field, const TextValue& value)
{
    apply(row, stage({ { field, value } }, false));
}

// Deletion marks are read only on this thread: the order builds never look
// at them, so nothing needs to stop for a row to be marked deleted.
void TableRows::markDeleted(int row)
{
    const waitcheck::Allowed writing;
    waitUntilLoaded();
    changing();
    m_rows.markDeleted(row);
}

int TableRows::appendRow(qint64 key, const Staged& values)
{
    changing();
    m_orders.holdAll();
    const int row = m_rows.appendRow(key);
    for (const auto& [field, value] : values)
        m_rows.place(row, field - 1, value);
    m_orders.releaseAll(m_rows.rowCount());
    return row;
}
