// Loading the published Access directory: the start-up cost on an Access
// file, beside what an ordinary libmdb client needs for the same table and
// beside the SQLite store on the same number of records.
//
// The Access file is the 100,000-record sarvino-100k.mdb of the project's
// shared test data, read from ../shared/testdata/jet/ beside the project (or
// from SARWINO_JET_100K); it is not part of the project. When it is absent
// the Access benchmarks say so and are skipped.
//
//   jet_load          JetStore reads the whole table into rows
//   mdb_export        mdb-export writes the same table to /dev/null (a new
//                     process per iteration, as a user runs it)
//   sqlite_load       SqliteStore reads a gendb database of as many records
//
// Counters: records, memory per record held by the rows (bytes_per_record),
// growth of the resident memory per record while the rows are held
// (rss_per_record), and for jet_load its time as a share of mdb_export's
// (of_mdb_export, measured once per run, best of three).
#include "BenchSupport.h"

#include "data/DataError.h"
#include "data/Field.h"
#include "data/JetStore.h"
#include "data/RowSet.h"
#include "data/SqliteStore.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <optional>

namespace {

using namespace bench;

QString jetFile()
{
    const QString overridden = qEnvironmentVariable("SARWINO_JET_100K");
    return overridden.isEmpty() ? QStringLiteral(SARWINO_SOURCE_DIR "/../shared/testdata/jet/sarvino-100k.mdb")
                                : overridden;
}

bool haveJetFile(benchmark::State& state)
{
    if (QFileInfo::exists(jetFile()))
        return true;
    state.SkipWithError(qPrintable(QStringLiteral("the Access test file %1 is absent").arg(jetFile())));
    return false;
}

QStringList fieldNames()
{
    QStringList names;
    for (const FieldDef& field : directoryFields())
        names << field.name;
    return names;
}

// One run of mdb-export of the directory table to /dev/null, in seconds;
// nothing when mdb-export cannot run.
std::optional<double> mdbExportSeconds()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, { jetFile(), directoryTableName() });
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return double(timer.nsecsElapsed()) / 1e9;
}

// mdb-export's best time of three, measured once per run.
std::optional<double> mdbExportFloor()
{
    static const std::optional<double> floor = [] {
        std::optional<double> best;
        for (int i = 0; i < 3; ++i) {
            const std::optional<double> seconds = mdbExportSeconds();
            if (!seconds)
                return best;
            best = best ? std::min(*best, *seconds) : *seconds;
        }
        return best;
    }();
    return floor;
}

void memoryCounters(benchmark::State& state, const RowSet& rows, double rssBefore)
{
    const double records = std::max(1, rows.rowCount());
    state.counters["records"] = rows.rowCount();
    state.counters["bytes_per_record"] = double(rows.memoryUsage()) / records;
    state.counters["rss_per_record"] = (statusMegabytes("VmRSS") - rssBefore) * 1024 * 1024 / records;
}

void jetLoad(benchmark::State& state)
{
    if (!haveJetFile(state))
        return;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        JetStore store(jetFile());
        RowSet rows;
        store.load(directoryTableName(), fieldNames(), rows);
        seconds += double(timer.nsecsElapsed()) / 1e9;
        benchmark::DoNotOptimize(rows.rowCount());
    }
    releaseFreedMemory();
    const double rssBefore = statusMegabytes("VmRSS");
    JetStore store(jetFile());
    RowSet rows;
    store.load(directoryTableName(), fieldNames(), rows);
    memoryCounters(state, rows, rssBefore);
    if (const std::optional<double> floor = mdbExportFloor())
        state.counters["of_mdb_export"] = seconds / double(state.iterations()) / *floor;
}

void mdbExport(benchmark::State& state)
{
    if (!haveJetFile(state))
        return;
    if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty()) {
        state.SkipWithError("mdb-export is not installed (tools/bootstrap.sh installs mdbtools)");
        return;
    }
    for (auto _ : state) {
        if (!mdbExportSeconds()) {
            state.SkipWithError("mdb-export failed");
            return;
        }
    }
}

void sqliteLoad(benchmark::State& state)
{
    if (databaseFile().isEmpty()) {
        state.SkipWithError("no sample database");
        return;
    }
    for (auto _ : state) {
        SqliteStore store(databaseFile(), true);
        RowSet rows;
        store.load(directoryTableName(), fieldNames(), rows);
        benchmark::DoNotOptimize(rows.rowCount());
    }
    releaseFreedMemory();
    const double rssBefore = statusMegabytes("VmRSS");
    SqliteStore store(databaseFile(), true);
    RowSet rows;
    store.load(directoryTableName(), fieldNames(), rows);
    memoryCounters(state, rows, rssBefore);
}

void registerBenchmarks()
{
    if (!QFileInfo::exists(jetFile()))
        std::fprintf(
            stderr, "The Access test file %s is absent: the Access benchmarks are skipped.\n", qPrintable(jetFile()));
    benchmark::RegisterBenchmark("jet_load", jetLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("mdb_export", mdbExport)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("sqlite_load", sqliteLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

int main(int argc, char** argv)
{
    // The SQLite store is measured on as many records as the Access file has.
    if (qEnvironmentVariableIsEmpty("SARWINO_BENCH_RECORDS"))
        qputenv("SARWINO_BENCH_RECORDS", "100000");
    return runBenchmarks(argc, argv, registerBenchmarks, {});
}
