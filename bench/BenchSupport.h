// What the benchmark programs share: the temporary folder of a run, which
// stands for the home folder too, the sample database gendb writes into it,
// memory readings, the main window's grid, and a main() for the programs.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class DbGrid;
class WindowSet;

namespace bench {

// The temporary folder of this run: the fake home and the database.
QString runFolder();

// The number of records of the sample database: SARWINO_BENCH_RECORDS, a
// million unless the environment says otherwise.
int benchRecords();

// The folder holding Sarvino.mdb, generated on first use. Empty on failure.
QString databaseFolder();
// Sarvino.mdb in that folder; empty when there is no sample database.
QString databaseFile();

// Points the program at the sample database; false when there is none.
bool useSampleDatabase();

// One value of /proc/self/status ("VmRSS", "VmHWM"), in megabytes.
double statusMegabytes(const char* name);

// Hands freed memory back to the system, so each measurement starts clean,
// and has the allocator give it back from then on as the program does.
void releaseFreedMemory();

double ms(qint64 ns);

// Handles whatever the last step left for later, outside the timed part.
void settle();

// Whether the main window exists and has opened its table.
bool mainTableOpen();

// The main window's grid, found by its name in the window's layout.
DbGrid* grid();

// Destroys the program's windows and whatever they left for deletion.
void closeWindows(std::unique_ptr<WindowSet>& windows);

// The whole of a benchmark program's main(): makes the run folder and points
// HOME and the XDG folders into it, chooses the offscreen platform unless
// QT_QPA_PLATFORM says otherwise, creates the one Application, registers
// (registerBenchmarks, when given) and runs the benchmarks, calls
// closePrograms and removes the run folder again.
int runBenchmarks(int& argc, char** argv, const std::function<void()>& registerBenchmarks,
    const std::function<void()>& closePrograms);

} // namespace bench
