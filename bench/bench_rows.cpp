// Reading the directory table into memory and building its orders, with the
// window left out: how long the whole file takes to read, how long until
// every order is built, and the memory it all takes.
//
//   read_and_orders   one table opened on the sample database (gendb,
//                     SARWINO_BENCH_RECORDS records); counters:
//     first_ms        from the start of the reading to the first screen's
//                     rows in (what the window waits for)
//     read_ms         from the start of the reading to the last row in
//     orders_ms       from the start to every text field's order built
//     rss_MB          resident memory once all is built and freed memory
//                     handed back, less the resident memory before
//     hwm_MB          the highest resident memory meanwhile, less the same
//     read_hwm_MB     the same highest until the last row is in
//     rows_MB         what the rows say they hold (texts and cells)
// SARWINO_BENCH_ONE_READER=1 reads with one thread only, for comparison.
#include "BenchSupport.h"

#include "data/DirectorySchema.h"
#include "data/SqliteStore.h"
#include "data/TableRows.h"
#include "data/WaitCheck.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>

#include <limits>

namespace {

using namespace bench;

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

std::vector<FieldDef> directoryFields(QStringList& names, std::vector<int>& textFields)
{
    std::vector<FieldDef> fields;
    for (const schema::Field& f : schema::Fields) {
        FieldDef def;
        def.name = QString::fromUtf8(f.name.data(), qsizetype(f.name.size()));
        def.type = f.key ? FieldType::AutoInc : FieldType::WideString;
        def.size = f.size;
        if (!f.key)
            textFields.push_back(int(fields.size()));
        names << def.name;
        fields.push_back(def);
    }
    return fields;
}

void BM_ReadAndOrders(benchmark::State& state)
{
    const QString file = databaseFile();
    if (file.isEmpty()) {
        state.SkipWithError("no sample database");
        return;
    }
    QStringList names;
    std::vector<int> textFields;
    const std::vector<FieldDef> fields = directoryFields(names, textFields);
    const waitcheck::Allowed waiting;
    if (qEnvironmentVariableIntValue("SARWINO_BENCH_ONE_READER"))
        SqliteStore::setSplitReadBytes(std::numeric_limits<qint64>::max());
    double firstMs = 0, readMs = 0, ordersMs = 0, rss = 0, hwm = 0, readHwm = 0, rowsMb = 0;
    for (auto _ : state) {
        releaseFreedMemory();
        resetPeakMemory();
        const double before = statusMegabytes("VmRSS");
        {
            SqliteStore store(file, true);
            TableRows rows(fields);
            QElapsedTimer clock;
            clock.start();
            rows.load(
                store, QString::fromUtf8(schema::TableName.data(), qsizetype(schema::TableName.size())), names, 200);
            firstMs += clock.nsecsElapsed() / 1e6;
            rows.waitUntilLoaded();
            readMs += clock.nsecsElapsed() / 1e6;
            readHwm += statusMegabytes("VmHWM") - before;
            rows.waitForOrders(textFields);
            ordersMs += clock.nsecsElapsed() / 1e6;
            releaseFreedMemory();
            rss += statusMegabytes("VmRSS") - before;
            hwm += statusMegabytes("VmHWM") - before;
            rowsMb += double(rows.rows().memoryUsage()) / (1024.0 * 1024.0);
            rows.stop();
        }
    }
    using C = benchmark::Counter;
    state.counters["first_ms"] = C(firstMs, C::kAvgIterations);
    state.counters["read_ms"] = C(readMs, C::kAvgIterations);
    state.counters["orders_ms"] = C(ordersMs, C::kAvgIterations);
    state.counters["rss_MB"] = C(rss, C::kAvgIterations);
    state.counters["hwm_MB"] = C(hwm, C::kAvgIterations);
    state.counters["read_hwm_MB"] = C(readHwm, C::kAvgIterations);
    state.counters["rows_MB"] = C(rowsMb, C::kAvgIterations);
    state.counters["records"] = benchRecords();
}

BENCHMARK(BM_ReadAndOrders)->Name("read_and_orders")->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, nullptr, [] {});
}
