#include "BenchSupport.h"

#include "app/Application.h"
#include "app/WindowSet.h"
#include "data/Background.h"
#include "ui/main/DbGrid.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/ProgramFolder.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

QString& runFolderText()
{
    static QString folder;
    return folder;
}

// A fresh temporary folder that stands for the home folder too.
bool makeRunFolder()
{
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    QByteArray pattern = base + "/sarwino-bench-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return false;
    runFolderText() = QString::fromLocal8Bit(pattern);
    const QByteArray home = pattern;
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    qputenv("XDG_STATE_HOME", home + "/.local/state");
    qputenv("XDG_RUNTIME_DIR", home + "/run");
    qputenv("XDG_DESKTOP_DIR", home + "/Desktop");
    QDir().mkpath(QString::fromLocal8Bit(home + "/run"));
    QFile::setPermissions(
        QString::fromLocal8Bit(home + "/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

// Has gendb write the sample database into the run folder unless it is
// there; returns its folder, or an empty text on failure.
QString makeDatabase()
{
    const QString dir = runFolder() + QStringLiteral("/db");
    QDir().mkpath(dir);
    const QString file = dir + QStringLiteral("/Sarvino.mdb");
    if (!QFile::exists(file)) {
        const int rc = QProcess::execute(QStringLiteral(SARWINO_GENDB_PATH),
            { QStringLiteral("--out"), file, QStringLiteral("--records"), QString::number(benchRecords()),
                QStringLiteral("--seed"), QStringLiteral("1") });
        if (rc != 0 || !QFile::exists(file)) {
            std::fprintf(stderr, "gendb failed (exit code %d)\n", rc);
            return QString();
        }
    }
    return dir;
}

} // namespace

QString runFolder()
{
    return runFolderText();
}

int benchRecords()
{
    const QByteArray text = qgetenv("SARWINO_BENCH_RECORDS");
    bool ok = false;
    const int records = text.toInt(&ok);
    return ok && records > 0 ? records : 1000000;
}

QString databaseFolder()
{
    static const QString folder = makeDatabase();
    return folder;
}

QString databaseFile()
{
    const QString folder = databaseFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Sarvino.mdb");
}

bool useSampleDatabase()
{
    const QString folder = databaseFolder();
    if (folder.isEmpty())
        return false;
    setProgramFolderForTesting(folder);
    return true;
}

double statusMegabytes(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void releaseFreedMemory()
{
    background::returnFreedMemory(); // as the program does
    malloc_trim(0);
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

void settle()
{
    QCoreApplication::processEvents();
}

bool mainTableOpen()
{
    return Form1 && Form1->ADOTable1.active();
}

DbGrid* grid()
{
    return Form1 ? Form1->findChild<DbGrid*>(QStringLiteral("DBGrid1")) : nullptr;
}

void closeWindows(std::unique_ptr<WindowSet>& windows)
{
    windows.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int runBenchmarks(
    int& argc, char** argv, const std::function<void()>& registerBenchmarks, const std::function<void()>& closePrograms)
{
    if (!makeRunFolder()) {
        std::perror("mkdtemp");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        QDir(runFolder()).removeRecursively();
        return 1;
    }

    {
        Application app(argc, argv);
        if (registerBenchmarks)
            registerBenchmarks();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        if (closePrograms)
            closePrograms();
    }
    QDir(runFolder()).removeRecursively();
    return 0;
}

} // namespace bench
