// Searching, category filtering and sorting on a large directory, beside the
// same queries in SQLite with an index.
//
// Runs on a sample database of SARWINO_BENCH_RECORDS records (a million
// unless the environment says otherwise) that gendb writes once per run, with
// seed 1, into a temporary folder that also stands for the home folder. The
// windows run on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise. Every timed step is timed on its own (manual time); what sets
// the stage for it (the text before the last key, another sort field) runs
// untimed just before. Each benchmark also reports the 50th and 90th
// percentile and the maximum of its own iterations (p50_ms, p90_ms, max_ms);
// the table-level ones also what the row selection alone takes for the same
// step (select_ms), the rest being the table's and the grid's part.
//
//   memory_after_orders          resident memory once the main window shows
//                                the records and the orders of all text fields
//                                are built
//   keystroke_table/<text>       the search of one keystroke on the main
//                                window's table: the text before the key is
//                                searched untimed, then the filter of the new
//                                text and the sort by name are set, timed up
//                                to the grid's model being reset (synchronous)
//   keystroke_window/<text>      the same through the window: Edit1's text is
//                                set (which runs the search) and the grid's
//                                viewport repainted at once
//   category_table/<category>    the category filter with the sort by name
//   sort_table/<field>           a sort button's change of the sort field with
//                                no filter, all orders built
//   sort_window/<field>          the same by clicking the sort button, the
//                                grid repainted at once
//   sort_first_after_open/<field> the first sort by a field on a table opened
//                                just before, while the orders may still be
//                                built in the background: timed to the sorted
//                                rows; asking_ms is the asking call alone
//   sort_first_after_background/<field> the same once that work is done
//   sort_while_reading/<field>   the sort asked as soon as the table shows
//                                its first rows, timed from the opening;
//                                read_ms is when the last row was in
//   search_first_after_open/<text> the first search on a table opened just
//                                before
//   search_while_reading/<text>  the search asked as soon as the table shows
//                                its first rows, the same way
//   order_build/<field>          building one field's order synchronously and
//                                selecting every record in it (a fresh row
//                                selection each time); select_ms is the same
//                                selection once the order is there
//   vs_sqlite/<query>            one search or category query here and in an
//                                indexed copy of the database in SQLite, by
//                                turns in the same iterations; ours_p50_ms is
//                                the table with the grid's model reset,
//                                select_p50_ms the row selection alone,
//                                sqlite_p50_ms stepping through every result
//                                row; ratio = ours / SQLite
#include "BenchSupport.h"

#include "app/WindowSet.h"
#include "data/Connection.h"
#include "data/Field.h"
#include "data/NameSearch.h"
#include "data/OrderCache.h"
#include "data/RowSelection.h"
#include "data/RowSet.h"
#include "data/SqliteStore.h"
#include "data/Table.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace bench;

// Setting up ----------------------------------------------------------------

// The table builds its orders on a thread of its own that ends when they are
// all built. Qt names the threads it starts ("Thread (pooled)" ...), while a
// plain thread keeps the name of the process, so counting the threads that
// carry the process's name tells when that work is done, whatever Qt's own
// threads do meanwhile (an idle pooled thread ends after half a minute).
QByteArray threadName(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

int plainThreadCount()
{
    const QByteArray process = threadName(QStringLiteral("/proc/self/comm"));
    const QString tasks = QStringLiteral("/proc/self/task/");
    int count = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (threadName(tasks + task + QStringLiteral("/comm")) == process)
            ++count;
    }
    return count;
}

// Waits until no more than `threads` plain threads run; returns the
// milliseconds waited, or -1 when that did not happen within the limit.
double waitForThreads(int threads, int limitMs = 120000)
{
    QElapsedTimer clock;
    clock.start();
    while (plainThreadCount() > threads) {
        if (clock.elapsed() > limitMs)
            return -1;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

// The times of one benchmark's iterations.
class Samples {
public:
    void add(qint64 ns) { m_ms.push_back(ms(ns)); }
    bool empty() const { return m_ms.empty(); }

    double percentile(double p) const
    {
        if (m_ms.empty())
            return 0;
        std::vector<double> sorted = m_ms;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t at = std::min(sorted.size() - 1, std::size_t(p / 100.0 * double(sorted.size() - 1) + 0.5));
        return sorted[at];
    }
    double median() const { return percentile(50); }
    double max() const { return m_ms.empty() ? 0 : *std::max_element(m_ms.begin(), m_ms.end()); }

    void report(benchmark::State& state, const std::string& prefix = std::string()) const
    {
        state.counters[prefix + "p50_ms"] = median();
        state.counters[prefix + "p90_ms"] = percentile(90);
        state.counters[prefix + "max_ms"] = max();
    }

private:
    std::vector<double> m_ms;
};

// The steps the program takes --------------------------------------------------

const QString& nameField()
{
    static const QString name = QStringLiteral("название");
    return name;
}

// What a search for text does to the table (as the main window's search
// handler does it): the filter, then the sort by name.
void search(Table& table, const QString& text)
{
    if (text.isEmpty())
        table.setFilter(QString());
    else
        table.setFilter(namesearch::prefixFilter(text, namesearch::upperBound(text)));
    table.setIndexFieldNames(nameField());
}

void chooseCategory(Table& table, const QString& category)
{
    table.setFilter(namesearch::categoryFilter(category));
    table.setIndexFieldNames(nameField());
}

// The text before the last key of text.
QString typedBefore(const QString& text)
{
    return text.left(text.size() - 1);
}

// The category chosen before another one, so that choosing that one changes
// the filter.
QString otherCategory(const QString& category)
{
    return category == QStringLiteral("Такси") ? QStringLiteral("Медицина") : QStringLiteral("Такси");
}

// The main window ------------------------------------------------------------

struct Program {
    std::unique_ptr<WindowSet> windows;
    bool ok = false;
    std::string error;
    double rssBefore = 0; // MB, before the window set was created
    double openMs = 0; // creating the window set (the table opens)
    double backgroundMs = 0; // then waiting for the orders, -1: never ended
    int modelResets = 0; // resets of the grid's model seen so far
};

Program g_program;

QLineEdit* searchBox()
{
    return Form1 ? Form1->findChild<QLineEdit*>(QStringLiteral("Edit1")) : nullptr;
}

// The sort button of a field.
QRadioButton* sortButton(const QString& field)
{
    static const std::pair<const char16_t*, const char*> buttons[] = { { u"название", "RadioButton3" },
        { u"адрес", "RadioButton4" }, { u"тел", "RadioButton5" }, { u"вид_деят", "RadioButton6" } };
    for (const auto& [name, button] : buttons) {
        if (field == QString::fromUtf16(name))
            return Form1 ? Form1->findChild<QRadioButton*>(QString::fromLatin1(button)) : nullptr;
    }
    return nullptr;
}

// The main window shown on the sample database, with every order built;
// created once and kept for the whole run.
Program& program()
{
    Program& p = g_program;
    if (p.windows || !p.error.empty())
        return p;
    if (!useSampleDatabase()) {
        p.error = "no sample database";
        return p;
    }
    releaseFreedMemory();
    p.rssBefore = statusMegabytes("VmRSS");
    const int threads = plainThreadCount();
    QElapsedTimer clock;
    clock.start();
    p.windows = std::make_unique<WindowSet>();
    p.openMs = ms(clock.nsecsElapsed());
    if (!mainTableOpen()) {
        p.error = "the main window did not open the table";
        return p;
    }
    if (!grid() || !grid()->model() || !searchBox()) {
        p.error = "the main window has no grid DBGrid1 or no search box Edit1";
        return p;
    }
    QObject::connect(grid()->model(), &QAbstractItemModel::modelReset, [&p] { ++p.modelResets; });
    Form1->show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    grid()->viewport()->repaint();
    p.backgroundMs = waitForThreads(threads);
    if (p.backgroundMs < 0) {
        p.error = "the orders were never built in the background";
        return p;
    }
    // The end of the reading reaches the window through its events: until
    // then every search would wait for it.
    Form1->ADOTable1.waitUntilSelected();
    settle();
    QStringList names;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        names << QString::fromUtf8(threadName(QStringLiteral("/proc/self/task/") + task + QStringLiteral("/comm")));
    std::fprintf(
        stderr, "threads once the orders are built: %s\n", names.join(QStringLiteral(", ")).toUtf8().constData());
    std::fprintf(stderr,
        "main window: sort at start \"%s\", %d records, opened in %.0f ms, orders built %.0f ms later\n",
        Form1->ADOTable1.indexFieldNames().toUtf8().constData(), Form1->ADOTable1.recordCount(), p.openMs,
        p.backgroundMs);
    p.ok = true;
    return p;
}

void stopProgram()
{
    closeWindows(g_program.windows);
}

// A table of its own --------------------------------------------------------

// A connection and a table set up as the main window sets up its own.
struct OwnTable {
    Connection connection;
    Table table;
};

std::unique_ptr<OwnTable> openOwnTable(bool waitForRows = true)
{
    auto own = std::make_unique<OwnTable>();
    own->connection.setProvider(QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    own->connection.setLoginPrompt(false);
    own->connection.setConnectionString(databaseFile());
    own->table.setConnection(&own->connection);
    own->table.setTableName(directoryTableName());
    own->table.setFields(directoryFields());
    own->table.setFiltered(true);
    own->table.open();
    if (waitForRows)
        own->table.waitUntilLoaded();
    return own;
}

// The rows read once, with a row selection whose orders are all built.
struct Rows {
    Rows();

    RowSet rows;
    std::unique_ptr<OrderCache> orders;
    std::unique_ptr<RowSelection> selection;
    bool ok = false;
};

Rows::Rows()
{
    const QString file = databaseFile();
    if (file.isEmpty())
        return;
    QStringList names;
    for (const FieldDef& field : directoryFields())
        names << field.name;
    SqliteStore store(file, true);
    store.load(directoryTableName(), names, rows);
    orders = std::make_unique<OrderCache>(rows, directoryFields());
    selection = std::make_unique<RowSelection>(rows, directoryFields(), *orders);
    for (const FieldDef& field : directoryFields()) {
        if (field.type == FieldType::WideString)
            selection->select(QString(), field.name);
    }
    ok = true;
}

Rows& loadedRows()
{
    static Rows loaded;
    return loaded;
}

// Pushes what the last steps left in the processor's caches out of them, as
// the work between two keystrokes would.
void flushCaches()
{
    static std::vector<char> sweep(std::size_t(96) << 20);
    for (std::size_t i = 0; i < sweep.size(); i += 64)
        sweep[i] = char(sweep[i] + 1);
    benchmark::ClobberMemory();
}

// What the row selection alone takes for a filter and sort (on rows of its
// own, read from the same file, with every order built), starting from cold
// caches: the part of a step that is not the table's or the grid's. Median
// of a few; -1 when the rows could not be read.
double selectMs(const QString& filter, const QString& sort)
{
    Rows& loaded = loadedRows();
    if (!loaded.ok)
        return -1;
    Samples samples;
    QElapsedTimer clock;
    for (int i = 0; i < 9; ++i) {
        flushCaches();
        clock.start();
        const std::vector<std::uint32_t> rows = loaded.selection->select(filter, sort);
        samples.add(clock.nsecsElapsed());
        benchmark::DoNotOptimize(rows.data());
    }
    return samples.median();
}

// SQLite --------------------------------------------------------------------

// A copy of the sample database with indexes, and the queries on it.
struct Sqlite {
    sqlite3* db = nullptr;
    sqlite3_stmt* byName = nullptr; // names in a range, in name order
    sqlite3_stmt* byCategory = nullptr; // a category through the index of categories alone
    sqlite3_stmt* byCategoryName = nullptr; // a category through an index of category and name
    bool ok = false;

    Sqlite();
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;
    ~Sqlite()
    {
        sqlite3_finalize(byName);
        sqlite3_finalize(byCategory);
        sqlite3_finalize(byCategoryName);
        sqlite3_close(db);
    }
};

const char* const SqliteByName
    = "SELECT \"Код\" FROM \"главная\" WHERE \"название\" >= ?1 AND \"название\" < ?2 ORDER BY \"название\"";
const char* const SqliteByCategory
    = "SELECT \"Код\" FROM \"главная\" INDEXED BY \"bench_kind\" WHERE \"вид_деят\" = ?1 ORDER BY \"название\"";
const char* const SqliteByCategoryName
    = "SELECT \"Код\" FROM \"главная\" INDEXED BY \"bench_kind_name\" WHERE \"вид_деят\" = ?1 ORDER BY \"название\"";

void printPlan(sqlite3* db, const char* sql)
{
    sqlite3_stmt* plan = nullptr;
    const std::string text = std::string("EXPLAIN QUERY PLAN ") + sql;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &plan, nullptr) != SQLITE_OK)
        return;
    std::fprintf(stderr, "sqlite: %s\n", sql);
    while (sqlite3_step(plan) == SQLITE_ROW)
        std::fprintf(stderr, "  plan: %s\n", reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
    sqlite3_finalize(plan);
}

Sqlite::Sqlite()
{
    const QString source = databaseFile();
    if (source.isEmpty())
        return;
    const QString copy = runFolder() + QStringLiteral("/sqlite-indexed.db");
    QFile::remove(copy);
    if (!QFile::copy(source, copy))
        return;
    if (sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return;
    const char* setup = "CREATE INDEX \"bench_name\" ON \"главная\"(\"название\");"
                        "CREATE INDEX \"bench_kind\" ON \"главная\"(\"вид_деят\");"
                        "CREATE INDEX \"bench_kind_name\" ON \"главная\"(\"вид_деят\", \"название\");"
                        "ANALYZE;"
                        "PRAGMA cache_size = -524288;";
    char* message = nullptr;
    if (sqlite3_exec(db, setup, nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", message ? message : "?");
        sqlite3_free(message);
        return;
    }
    for (auto [sql, statement] : { std::pair { SqliteByName, &byName }, std::pair { SqliteByCategory, &byCategory },
             std::pair { SqliteByCategoryName, &byCategoryName } }) {
        if (sqlite3_prepare_v2(db, sql, -1, statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
            return;
        }
        printPlan(db, sql);
    }
    ok = true;
}

// The indexed copy, made on first use.
Sqlite& sqlite()
{
    static Sqlite s;
    return s;
}

// Runs a statement with text parameters, reading every result row; returns
// the number of rows.
int runStatement(sqlite3_stmt* statement, const std::vector<QByteArray>& parameters)
{
    sqlite3_reset(statement);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        sqlite3_bind_text(
            statement, int(i) + 1, parameters[i].constData(), int(parameters[i].size()), SQLITE_TRANSIENT);
    int rows = 0;
    sqlite3_int64 sum = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        sum += sqlite3_column_int64(statement, 0);
        ++rows;
    }
    benchmark::DoNotOptimize(sum);
    sqlite3_reset(statement);
    return rows;
}

// The benchmarks ------------------------------------------------------------

#define REQUIRE_PROGRAM(p)                                                                                             \
    Program& p = program();                                                                                            \
    if (!p.ok) {                                                                                                       \
        state.SkipWithError(p.error.c_str());                                                                          \
        return;                                                                                                        \
    }

// Times one step on the main window's table in every iteration: `prepare`
// sets the stage untimed, then `step` is timed up to the grid's model being
// reset (synchronous). Reports the percentiles and the rows; false, with the
// benchmark skipped, when the step did not reset the grid's model.
template <typename Prepare, typename Step>
bool timeTableStep(benchmark::State& state, const Program& p, Prepare prepare, Step step)
{
    Samples samples;
    QElapsedTimer clock;
    for (auto _ : state) {
        prepare();
        settle();
        const int resets = p.modelResets;
        clock.start();
        step();
        const qint64 ns = clock.nsecsElapsed();
        if (p.modelResets == resets) {
            state.SkipWithError("the grid's model was not reset");
            return false;
        }
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
        settle();
    }
    samples.report(state);
    state.counters["rows"] = Form1->ADOTable1.recordCount();
    return true;
}

void BM_MemoryAfterOrders(benchmark::State& state)
{
    REQUIRE_PROGRAM(p);
    for (auto _ : state)
        state.SetIterationTime(p.openMs / 1e3);
    const std::size_t records = std::size_t(Form1->ADOTable1.recordCount());
    state.counters["rss_before_MB"] = p.rssBefore;
    state.counters["rss_MB"] = statusMegabytes("VmRSS");
    state.counters["hwm_MB"] = statusMegabytes("VmHWM");
    state.counters["rss_growth_MB"] = statusMegabytes("VmRSS") - p.rssBefore;
    state.counters["table_MB"] = double(Form1->ADOTable1.memoryUsage()) / (1024.0 * 1024.0);
    // Two arrays of one 32-bit number per record for each of the five text fields.
    state.counters["orders_MB"] = double(records * 4 * 2 * 5) / (1024.0 * 1024.0);
    state.counters["open_ms"] = p.openMs;
    state.counters["background_ms"] = p.backgroundMs;
    state.counters["records"] = double(records);
}

void BM_KeystrokeTable(benchmark::State& state, const QString& text)
{
    REQUIRE_PROGRAM(p);
    Table& table = Form1->ADOTable1;
    const QString before = text.isEmpty() ? QStringLiteral("А") : typedBefore(text);
    if (!timeTableStep(
            state, p, [&] { search(table, before); }, [&] { search(table, text); }))
        return;
    state.counters["select_ms"] = selectMs(table.filter(), nameField());
    // The bound alone, which the search works out on every key.
    QElapsedTimer boundClock;
    boundClock.start();
    int n = 0;
    for (; n < 100 && !text.isEmpty(); ++n)
        benchmark::DoNotOptimize(namesearch::upperBound(text));
    if (n > 0)
        state.counters["bound_us"] = double(boundClock.nsecsElapsed()) / 1e3 / n;
}

void BM_KeystrokeWindow(benchmark::State& state, const QString& text)
{
    REQUIRE_PROGRAM(p);
    QLineEdit* edit = searchBox();
    QWidget* viewport = grid()->viewport();
    const QString before = text.isEmpty() ? QStringLiteral("А") : typedBefore(text);
    Samples samples, settled;
    QElapsedTimer clock;
    for (auto _ : state) {
        edit->setText(before);
        viewport->repaint();
        settle();
        const int resets = p.modelResets;
        clock.start();
        edit->setText(text);
        viewport->repaint();
        const qint64 ns = clock.nsecsElapsed();
        settle();
        const qint64 all = clock.nsecsElapsed();
        if (p.modelResets == resets) {
            state.SkipWithError("the grid's model was not reset");
            return;
        }
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
        settled.add(all);
    }
    samples.report(state);
    state.counters["settled_p50_ms"] = settled.median();
    state.counters["rows"] = Form1->ADOTable1.recordCount();
}

void BM_CategoryTable(benchmark::State& state, const QString& category)
{
    REQUIRE_PROGRAM(p);
    Table& table = Form1->ADOTable1;
    const QString other = otherCategory(category);
    if (!timeTableStep(
            state, p, [&] { chooseCategory(table, other); }, [&] { chooseCategory(table, category); }))
        return;
    state.counters["select_ms"] = selectMs(table.filter(), nameField());
}

// The sort fields of the four buttons, in the buttons' order.
const QStringList& sortFields()
{
    static const QStringList fields
        = { QStringLiteral("название"), QStringLiteral("адрес"), QStringLiteral("тел"), QStringLiteral("вид_деят") };
    return fields;
}

QString otherSortField(const QString& field)
{
    const QStringList& fields = sortFields();
    return fields[(fields.indexOf(field) + 1) % fields.size()];
}

void BM_SortTable(benchmark::State& state, const QString& field)
{
    REQUIRE_PROGRAM(p);
    Table& table = Form1->ADOTable1;
    table.setFilter(QString());
    const QString other = otherSortField(field);
    if (!timeTableStep(
            state, p, [&] { table.setIndexFieldNames(other); }, [&] { table.setIndexFieldNames(field); }))
        return;
    state.counters["select_ms"] = selectMs(QString(), field);
}

void BM_SortWindow(benchmark::State& state, const QString& field)
{
    REQUIRE_PROGRAM(p);
    searchBox()->setText(QString());
    settle();
    QRadioButton* button = sortButton(field);
    QRadioButton* other = sortButton(otherSortField(field));
    if (!button || !other) {
        state.SkipWithError("no sort button for the field");
        return;
    }
    QWidget* viewport = grid()->viewport();
    Samples samples;
    QElapsedTimer clock;
    for (auto _ : state) {
        other->click();
        viewport->repaint();
        settle();
        const int resets = p.modelResets;
        clock.start();
        button->click();
        viewport->repaint();
        const qint64 ns = clock.nsecsElapsed();
        if (p.modelResets == resets || Form1->ADOTable1.indexFieldNames() != field) {
            state.SkipWithError("the sort button did not sort the grid");
            return;
        }
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
        settle();
    }
    samples.report(state);
    state.counters["rows"] = Form1->ADOTable1.recordCount();
}

// The first sort or search on a table opened just before: asked as soon as
// the first rows show, while the rest are read; once every row is in; or
// once the background work is done.
enum class FirstStep { Sort, Search };
enum class Asked { WhileReading, AllRead, Settled };

void firstOnFreshTable(benchmark::State& state, const QString& what, FirstStep step, Asked asked)
{
    const bool waitForOrders = asked == Asked::Settled;
    if (databaseFile().isEmpty()) {
        state.SkipWithError("no sample database");
        return;
    }
    Samples samples;
    double openMs = 0, backgroundMs = 0, rows = 0, askingMs = 0, readMs = 0;
    QElapsedTimer clock, fromOpen;
    for (auto _ : state) {
        std::unique_ptr<OwnTable> own;
        const int threads = plainThreadCount();
        clock.start();
        fromOpen.start();
        try {
            own = openOwnTable(asked != Asked::WhileReading);
        } catch (...) {
            state.SkipWithError("the table did not open");
            return;
        }
        openMs += ms(clock.nsecsElapsed());
        if (waitForOrders) {
            const double waited = waitForThreads(threads);
            if (waited < 0) {
                state.SkipWithError("the orders were never built in the background");
                return;
            }
            backgroundMs += waited;
        }
        if (asked != Asked::WhileReading)
            clock.start(); // timed from the opening otherwise
        QElapsedTimer asking;
        asking.start();
        if (step == FirstStep::Sort)
            own->table.setIndexFieldNames(what);
        else
            search(own->table, what);
        askingMs += ms(asking.nsecsElapsed());
        // The answer comes through the events, as in the window: from a
        // look through the rows, or once its order is built.
        double read = -1;
        while (own->table.loading() || own->table.busy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (read < 0 && !own->table.loading())
                read = ms(fromOpen.nsecsElapsed());
        }
        readMs += read < 0 ? ms(fromOpen.nsecsElapsed()) : read;
        const qint64 ns = clock.nsecsElapsed();
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
        rows += own->table.recordCount();
        own.reset();
        releaseFreedMemory();
    }
    const double n = double(state.iterations());
    samples.report(state);
    state.counters["open_ms"] = openMs / n;
    state.counters["asking_ms"] = askingMs / n; // the asking thread's part: never a wait
    if (waitForOrders)
        state.counters["background_ms"] = backgroundMs / n;
    if (asked == Asked::WhileReading)
        state.counters["read_ms"] = readMs / n; // from the opening to the last row in
    state.counters["rows"] = rows / n;
}

void BM_OrderBuild(benchmark::State& state, const QString& field)
{
    Rows& loaded = loadedRows();
    if (!loaded.ok) {
        state.SkipWithError("the rows could not be read");
        return;
    }
    Samples samples, selects;
    QElapsedTimer clock;
    for (auto _ : state) {
        OrderCache orders(loaded.rows, directoryFields());
        RowSelection selection(loaded.rows, directoryFields(), orders);
        clock.start();
        const std::vector<std::uint32_t> first = selection.select(QString(), field);
        const qint64 ns = clock.nsecsElapsed();
        clock.start();
        const std::vector<std::uint32_t> again = selection.select(QString(), field);
        selects.add(clock.nsecsElapsed());
        benchmark::DoNotOptimize(first.data());
        benchmark::DoNotOptimize(again.data());
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
    }
    samples.report(state);
    state.counters["select_ms"] = selects.median();
    state.counters["build_ms"] = samples.median() - selects.median();
    state.counters["rows"] = loaded.rows.rowCount();
}

// A search answered without the name order, by looking at every row (what
// the window shows while the orders are still being built).
void BM_Scan(benchmark::State& state, const QString& text)
{
    Rows& loaded = loadedRows();
    if (!loaded.ok) {
        state.SkipWithError("the rows could not be read");
        return;
    }
    OrderCache orders(loaded.rows, directoryFields());
    RowSelection selection(loaded.rows, directoryFields(), orders);
    const Selection wanted = Selection::parse(
        namesearch::prefixFilter(text, namesearch::upperBound(text)), QStringLiteral("название"), directoryFields());
    const std::atomic<bool> stop { false };
    Samples samples;
    QElapsedTimer clock;
    double rows = 0;
    for (auto _ : state) {
        clock.start();
        const auto found = selection.scan(wanted, std::size_t(loaded.rows.rowCount()), stop);
        const qint64 ns = clock.nsecsElapsed();
        state.SetIterationTime(double(ns) / 1e9);
        samples.add(ns);
        rows = found ? double(found->size()) : -1;
    }
    samples.report(state);
    state.counters["rows"] = rows;
}

// One query done both ways.
struct Query {
    enum Kind { Prefix, Category } kind;
    QString text;
};

void BM_VsSqlite(benchmark::State& state, const Query& query)
{
    REQUIRE_PROGRAM(p);
    Rows& loaded = loadedRows();
    Sqlite& s = sqlite();
    if (!loaded.ok || !s.ok) {
        state.SkipWithError("the rows or the SQLite copy are not there");
        return;
    }
    Table& table = Form1->ADOTable1;
    const bool prefix = query.kind == Query::Prefix;
    // Ours: the table as a keystroke or a category click sets it.
    const QString before = prefix ? typedBefore(query.text) : otherCategory(query.text);
    auto apply = [&](const QString& text) {
        if (prefix)
            search(table, text);
        else
            chooseCategory(table, text);
    };
    // The row selection alone, and SQLite, on the same texts.
    const QString filter = prefix ? namesearch::prefixFilter(query.text, namesearch::upperBound(query.text))
                                  : namesearch::categoryFilter(query.text);
    std::vector<QByteArray> parameters { query.text.toUtf8() };
    if (prefix)
        parameters.push_back(namesearch::upperBound(query.text).toUtf8());

    Samples ours, selected, lite, liteIndexOnly;
    int ourRows = 0, selectedRows = 0, liteRows = 0, liteIndexOnlyRows = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        apply(before);
        settle();
        clock.start();
        apply(query.text);
        const qint64 ns = clock.nsecsElapsed();
        ourRows = table.recordCount();
        settle();

        clock.start();
        const std::vector<std::uint32_t> rows = loaded.selection->select(filter, nameField());
        selected.add(clock.nsecsElapsed());
        selectedRows = int(rows.size());

        clock.start();
        liteRows = runStatement(prefix ? s.byName : s.byCategoryName, parameters);
        lite.add(clock.nsecsElapsed());
        if (!prefix) {
            clock.start();
            liteIndexOnlyRows = runStatement(s.byCategory, parameters);
            liteIndexOnly.add(clock.nsecsElapsed());
        }

        state.SetIterationTime(double(ns) / 1e9);
        ours.add(ns);
    }
    state.counters["ours_p50_ms"] = ours.median();
    state.counters["select_p50_ms"] = selected.median();
    state.counters["sqlite_p50_ms"] = lite.median();
    state.counters["ratio"] = ours.median() / std::max(lite.median(), 1e-6);
    state.counters["select_ratio"] = selected.median() / std::max(lite.median(), 1e-6);
    state.counters["rows"] = ourRows;
    state.counters["select_rows"] = selectedRows;
    state.counters["sqlite_rows"] = liteRows;
    if (!prefix) {
        // The same query through the index of categories alone, sorting the
        // category's rows by name afterwards.
        state.counters["sqlite_kind_index_p50_ms"] = liteIndexOnly.median();
        state.counters["sqlite_kind_index_rows"] = liteIndexOnlyRows;
    }
}

// A name for a benchmark's argument: the text itself, marked where two
// texts would look alike.
std::string argumentName(const QString& text)
{
    if (text.isEmpty())
        return "(empty)";
    std::string name = text.toStdString();
    if (text.contains(QChar(u'\'')))
        name += text.front() == QChar(u'O') ? "(latin)" : "(cyrillic)";
    return name;
}

// Typed texts: one letter after an empty box, a longer word, an apostrophe
// (a Cyrillic "О'" that no name begins with, a Latin "O'" that one does), a
// letter whose bound is past the code page ("Я"), the most common first
// letter ("И"), and the box emptied again (the whole list).
const QStringList& typedTexts()
{
    static const QStringList texts
        = { QStringLiteral("А"), QStringLiteral("Ап"), QStringLiteral("Апт"), QStringLiteral("Мага"),
              QStringLiteral("О'"), QStringLiteral("O'"), QStringLiteral("Я"), QStringLiteral("И"), QString() };
    return texts;
}

const QStringList& categories()
{
    static const QStringList texts
        = { QStringLiteral("Аптека"), QStringLiteral("Продукты"), QStringLiteral("Парикмахерская") };
    return texts;
}

// Registers function once for each of the texts, as "<group>/<text>", timed
// by hand over the given number of iterations; extra goes to the function
// after the text.
template <typename Function, typename... Extra>
void registerForEach(
    const std::string& group, const QStringList& texts, int iterations, Function function, Extra... extra)
{
    for (const QString& text : texts)
        benchmark::RegisterBenchmark((group + "/" + argumentName(text)).c_str(), function, text, extra...)
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMillisecond);
}

void registerBenchmarks()
{
    using benchmark::RegisterBenchmark;
    const auto unit = benchmark::kMillisecond;

    // The memory figure first, while nothing else is loaded.
    RegisterBenchmark("memory_after_orders", BM_MemoryAfterOrders)->UseManualTime()->Iterations(1)->Unit(unit);

    registerForEach("keystroke_table", typedTexts(), 100, BM_KeystrokeTable);
    registerForEach("keystroke_window", typedTexts(), 40, BM_KeystrokeWindow);
    registerForEach("category_table", categories(), 100, BM_CategoryTable);
    registerForEach("sort_table", sortFields(), 30, BM_SortTable);
    registerForEach("sort_window", sortFields(), 20, BM_SortWindow);

    registerForEach("sort_while_reading", sortFields(), 1, firstOnFreshTable, FirstStep::Sort, Asked::WhileReading);
    registerForEach("sort_first_after_open", sortFields(), 1, firstOnFreshTable, FirstStep::Sort, Asked::AllRead);
    registerForEach("sort_first_after_background", sortFields(), 1, firstOnFreshTable, FirstStep::Sort, Asked::Settled);
    const QStringList firstSearches { QStringLiteral("А"), QStringLiteral("Ап") };
    registerForEach(
        "search_while_reading", firstSearches, 1, firstOnFreshTable, FirstStep::Search, Asked::WhileReading);
    registerForEach("search_first_after_open", firstSearches, 1, firstOnFreshTable, FirstStep::Search, Asked::AllRead);
    registerForEach("scan", { QStringLiteral("А"), QStringLiteral("Ап"), QStringLiteral("Аптека") }, 5, BM_Scan);
    registerForEach("order_build", sortFields() + QStringList { QStringLiteral("пояснение") }, 2, BM_OrderBuild);

    std::vector<Query> queries;
    for (const QString& text : typedTexts()) {
        if (!text.isEmpty())
            queries.push_back({ Query::Prefix, text });
    }
    for (const QString& category : categories())
        queries.push_back({ Query::Category, category });
    for (const Query& query : queries)
        RegisterBenchmark(("vs_sqlite/" + std::string(query.kind == Query::Prefix ? "prefix/" : "category/")
                              + argumentName(query.text))
                              .c_str(),
            BM_VsSqlite, query)
            ->UseManualTime()
            ->Iterations(30)
            ->Unit(unit);
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, registerBenchmarks, stopProgram);
}
