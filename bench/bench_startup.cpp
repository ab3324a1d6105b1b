// Start-up, memory and paging of the main window on a large directory.
//
// The program's own windows are created just as the program creates them,
// on a sample database of SARWINO_BENCH_RECORDS records (a million unless
// the environment says otherwise) that gendb writes once per run into a
// temporary folder. The windows run on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
//
//   open_and_show     construction of the window set up to the first paint
//                     event of the grid's viewport (the iteration time), with
//                     the steps as counters
//   open_and_show_cold the same with the database file dropped from the
//                     system's file cache first (as far as the system lets
//                     it: a virtual machine's host may still cache it)
//   memory_after_show resident memory once the window shows the records
//   page_down         one PageDown in the grid, repainted at once
//   ctrl_end/home     jumping to the last record and back, repainted at once
//   load_gaps         from the window shown until the program settles (every
//                     row read, every order built): the longest stretch the
//                     window's thread spends away from its event loop, seen
//                     as the longest gap between the ticks of a 10 ms timer
//                     (the iteration time; the longest over all iterations
//                     as longest_gap_ms), and how many gaps exceed 30 ms
//   load_gaps_sorted  the same with the "тел" sort asked for as the window
//                     shows, taking over once its order is built
#include "BenchSupport.h"

#include "app/WindowSet.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

using namespace bench;

// Makes VmHWM start again from the present resident size.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Asks the system to forget the cached pages of the database file, so the
// next start reads it from the disk.
void evictDatabase()
{
    const QByteArray path = QFile::encodeName(databaseFile());
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Notes when a widget first receives a paint event.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(const QElapsedTimer& clock)
        : m_clock(clock)
    {
    }

    bool painted() const { return m_paintAt >= 0; }
    qint64 paintAt() const { return m_paintAt; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_paintAt < 0)
            m_paintAt = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
    qint64 m_paintAt = -1;
};

// The times of one start, in nanoseconds from the start of construction.
struct Start {
    std::unique_ptr<WindowSet> windows;
    qint64 constructed = 0; // the window set exists, the table is open
    qint64 shown = 0; // Form1->show() returned
    qint64 firstPaint = 0; // the grid's viewport receives its first paint event
    qint64 painted = 0; // the event loop pass that painted it returned
    bool ok = false;
    std::string error;
};

// Creates the window set as the program does and shows the main window,
// waiting for the grid's first paint.
Start startProgram()
{
    Start start;
    if (!useSampleDatabase()) {
        start.error = "no sample database";
        return start;
    }

    QElapsedTimer clock;
    clock.start();
    PaintWatch watch(clock);
    start.windows = std::make_unique<WindowSet>();
    start.constructed = clock.nsecsElapsed();
    if (!mainTableOpen()) {
        start.error = "the main window did not open the table";
        return start;
    }
    if (!grid()) {
        start.error = "the main window has no grid DBGrid1";
        return start;
    }
    grid()->viewport()->installEventFilter(&watch);
    Form1->show();
    start.shown = clock.nsecsElapsed();
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted() && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    start.painted = clock.nsecsElapsed();
    grid()->viewport()->removeEventFilter(&watch);
    if (!watch.painted()) {
        start.error = "the grid was never painted";
        return start;
    }
    start.firstPaint = watch.paintAt();
    start.ok = true;
    return start;
}

void stopProgram(Start& start)
{
    closeWindows(start.windows);
    releaseFreedMemory();
}

// Starts the program for one iteration, timed up to the grid's first paint;
// false, with the benchmark skipped and the windows closed, when it failed.
bool startIteration(benchmark::State& state, Start& start)
{
    start = startProgram();
    if (!start.ok) {
        state.SkipWithError(start.error.c_str());
        stopProgram(start);
        return false;
    }
    state.SetIterationTime(double(start.firstPaint) / 1e9);
    return true;
}

void openAndShow(benchmark::State& state, bool cold)
{
    double constructed = 0, shown = 0, firstPaint = 0, painted = 0;
    for (auto _ : state) {
        if (cold)
            evictDatabase();
        Start start;
        if (!startIteration(state, start))
            return;
        constructed += ms(start.constructed);
        shown += ms(start.shown - start.constructed);
        firstPaint += ms(start.firstPaint - start.shown);
        painted += ms(start.painted);
        stopProgram(start);
    }
    using C = benchmark::Counter;
    state.counters["construct_ms"] = C(constructed, C::kAvgIterations);
    state.counters["show_ms"] = C(shown, C::kAvgIterations);
    state.counters["show_to_paint_ms"] = C(firstPaint, C::kAvgIterations);
    state.counters["painted_ms"] = C(painted, C::kAvgIterations);
    state.counters["records"] = benchRecords();
}

void BM_OpenAndShow(benchmark::State& state)
{
    openAndShow(state, false);
}

void BM_OpenAndShowCold(benchmark::State& state)
{
    openAndShow(state, true);
}

void BM_MemoryAfterShow(benchmark::State& state)
{
    double rss = 0, hwm = 0, before = 0, table = 0;
    for (auto _ : state) {
        releaseFreedMemory();
        resetPeakMemory();
        before = statusMegabytes("VmRSS");
        Start start;
        if (!startIteration(state, start))
            return;
        rss = statusMegabytes("VmRSS");
        hwm = statusMegabytes("VmHWM");
        table = double(Form1->ADOTable1.memoryUsage()) / (1024.0 * 1024.0);
        stopProgram(start);
    }
    state.counters["rss_before_MB"] = before;
    state.counters["rss_MB"] = rss;
    state.counters["hwm_MB"] = hwm;
    state.counters["rss_growth_MB"] = rss - before;
    state.counters["table_MB"] = table;
}

// The main window kept open for the paging benchmarks.
Start g_shown;

Start& shownProgram()
{
    Start& start = g_shown;
    if (!start.windows && start.error.empty()) {
        start = startProgram();
        if (start.ok) {
            grid()->setFocus();
            QCoreApplication::processEvents();
        }
    }
    return start;
}

void sendKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(grid(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(grid(), &release);
}

// Ctrl+Home, untimed.
void toFirstRecord()
{
    sendKey(Qt::Key_Home, Qt::ControlModifier);
    settle();
}

// The table of the main window kept open, on its first record; null, with the
// benchmark skipped, when the window could not be shown.
Table* tableOnFirstRecord(benchmark::State& state)
{
    Start& start = shownProgram();
    if (!start.ok) {
        state.SkipWithError(start.error.c_str());
        return nullptr;
    }
    toFirstRecord();
    return &Form1->ADOTable1;
}

void BM_PageDown(benchmark::State& state)
{
    Table* shown = tableOnFirstRecord(state);
    if (!shown)
        return;
    Table& table = *shown;
    QElapsedTimer clock;
    int moved = 0;
    for (auto _ : state) {
        const int from = table.currentRow();
        if (from >= table.recordCount() - 1)
            toFirstRecord();
        const int before = table.currentRow();
        clock.start();
        sendKey(Qt::Key_PageDown);
        grid()->viewport()->repaint();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        moved += table.currentRow() - before;
        settle();
    }
    state.counters["rows_per_page"] = benchmark::Counter(moved, benchmark::Counter::kAvgIterations);
    state.counters["row"] = table.currentRow();
}

// Ctrl+End then Ctrl+Home, only one of them timed.
void jump(benchmark::State& state, bool timeEnd)
{
    Table* shown = tableOnFirstRecord(state);
    if (!shown)
        return;
    Table& table = *shown;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        sendKey(Qt::Key_End, Qt::ControlModifier);
        grid()->viewport()->repaint();
        const qint64 end = clock.nsecsElapsed();
        if (table.currentRow() != table.recordCount() - 1) {
            state.SkipWithError("Ctrl+End did not reach the last record");
            return;
        }
        settle();
        clock.start();
        sendKey(Qt::Key_Home, Qt::ControlModifier);
        grid()->viewport()->repaint();
        const qint64 home = clock.nsecsElapsed();
        if (table.currentRow() != 0) {
            state.SkipWithError("Ctrl+Home did not reach the first record");
            return;
        }
        settle();
        state.SetIterationTime(double(timeEnd ? end : home) / 1e9);
    }
}

void BM_CtrlEnd(benchmark::State& state)
{
    jump(state, true);
}

void BM_CtrlHome(benchmark::State& state)
{
    jump(state, false);
}

// The processor time this process has used, in nanoseconds.
qint64 processorTime()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval& t) { return qint64(t.tv_sec) * 1000000000 + qint64(t.tv_usec) * 1000; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

// The gaps between the ticks of a timer on the window's thread while the
// rows are read in and the orders built, from the window shown until the
// program has read every row and used less than a tenth of a core for half
// a second.
struct LoadGaps {
    qint64 longest = 0; // ns
    qint64 longestAt = 0; // ns after the window was shown
    int over30 = 0;
    qint64 loaded = -1; // every row in, ns after the window was shown
    qint64 settled = -1;
    bool ok = false;
    std::string error;
};

LoadGaps watchLoad(std::unique_ptr<WindowSet>& windows, const QString& sortAtOnce)
{
    LoadGaps gaps;
    if (!useSampleDatabase()) {
        gaps.error = "no sample database";
        return gaps;
    }
    windows = std::make_unique<WindowSet>();
    if (!mainTableOpen()) {
        gaps.error = "the main window did not open the table";
        return gaps;
    }
    Table& table = Form1->ADOTable1;
    QElapsedTimer clock;
    clock.start();
    Form1->show();
    qint64 lastTick = clock.nsecsElapsed();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 gap = now - lastTick;
        if (gap > gaps.longest) {
            gaps.longest = gap;
            gaps.longestAt = lastTick;
        }
        if (gap > 30000000)
            ++gaps.over30;
        lastTick = now;
    });
    QEventLoop loop;
    QTimer check;
    check.setInterval(100);
    qint64 cpuBefore = processorTime();
    qint64 wallBefore = clock.nsecsElapsed();
    QObject::connect(&check, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (gaps.loaded < 0 && !table.loading())
            gaps.loaded = now;
        if (now - wallBefore < 500000000)
            return;
        const qint64 cpu = processorTime();
        const bool quiet = (cpu - cpuBefore) * 10 < now - wallBefore;
        cpuBefore = cpu;
        wallBefore = now;
        if ((gaps.loaded >= 0 && quiet) || now > 60000000000) {
            gaps.settled = now;
            loop.quit();
        }
    });
    tick.start();
    check.start();
    if (!sortAtOnce.isEmpty())
        table.setIndexFieldNames(sortAtOnce);
    loop.exec();
    gaps.ok = gaps.loaded >= 0;
    if (!gaps.ok)
        gaps.error = "the rows were not read within a minute";
    return gaps;
}

void loadGaps(benchmark::State& state, const QString& sortAtOnce)
{
    qint64 longest = 0;
    double at = 0, over30 = 0, loaded = 0, settled = 0;
    for (auto _ : state) {
        std::unique_ptr<WindowSet> windows;
        const LoadGaps gaps = watchLoad(windows, sortAtOnce);
        closeWindows(windows);
        releaseFreedMemory();
        if (!gaps.ok) {
            state.SkipWithError(gaps.error.c_str());
            return;
        }
        state.SetIterationTime(double(gaps.longest) / 1e9);
        longest = std::max(longest, gaps.longest);
        at += ms(gaps.longestAt);
        over30 += gaps.over30;
        loaded += ms(gaps.loaded);
        settled += ms(gaps.settled);
    }
    using C = benchmark::Counter;
    state.counters["longest_gap_ms"] = ms(longest);
    state.counters["longest_at_ms"] = C(at, C::kAvgIterations);
    state.counters["gaps_over_30ms"] = C(over30, C::kAvgIterations);
    state.counters["rows_in_ms"] = C(loaded, C::kAvgIterations);
    state.counters["settled_ms"] = C(settled, C::kAvgIterations);
    state.counters["records"] = benchRecords();
}

void BM_LoadGaps(benchmark::State& state)
{
    loadGaps(state, QString());
}

// The same with the telephone sort (the costliest order) asked for as the
// window shows: the sorted grid takes over once the order is built.
void BM_LoadGapsSorted(benchmark::State& state)
{
    loadGaps(state, QStringLiteral("тел"));
}

// The memory figure first, while the process is fresh.
BENCHMARK(BM_MemoryAfterShow)->Name("memory_after_show")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndShow)->Name("open_and_show")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndShowCold)
    ->Name("open_and_show_cold")
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGaps)->Name("load_gaps")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGapsSorted)->Name("load_gaps_sorted")->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageDown)->Name("page_down")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CtrlEnd)->Name("ctrl_end")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CtrlHome)->Name("ctrl_home")->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, {}, [] {
        if (g_shown.windows)
            stopProgram(g_shown);
    });
}
