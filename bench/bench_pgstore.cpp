// The directory on a PostgreSQL server beside the same directory in an
// SQLite file, at a million records: the first screen's rows in, every row
// in, the memory the rows take, and how long another program's change takes
// to reach the rows in memory; and the server's COPY alone, to tell its share
// of the reading from ours. The server is a throwaway one on a Unix
// socket, as in the tests.
//
//   build/bench/bench_pgstore [RECORDS]
#include "../tests/common/PgTestServer.h"

#include "data/Connection.h"
#include "data/PgStore.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct Figures {
    double firstMs = 0, allMs = 0;
    std::size_t bytes = 0;
};

Figures load(const QString& path)
{
    Connection connection;
    Table table;
    connection.setConnectionString(path);
    table.setConnection(&connection);
    table.setTableName(directoryTableName());
    table.setFields(directoryFields());
    QElapsedTimer timer;
    timer.start();
    table.open();
    Figures f;
    f.firstMs = double(timer.nsecsElapsed()) / 1e6;
    table.waitUntilLoaded();
    f.allMs = double(timer.nsecsElapsed()) / 1e6;
    f.bytes = table.memoryUsage();
    return f;
}

// The server's part alone: the whole table sent by COPY and thrown away,
// on one connection or split by key over several at once (what reading in
// parts on several connections could gain at most).
double rawCopy(PgTestServer& server, int parts)
{
    PGconn* probe = server.connect(QStringLiteral("town"), QStringLiteral("admin"));
    PGresult* range = PQexec(probe, "SELECT min(\"Код\"), max(\"Код\") + 1 FROM главная");
    const qint64 low = QByteArray(PQgetvalue(range, 0, 0)).toLongLong();
    const qint64 high = QByteArray(PQgetvalue(range, 0, 1)).toLongLong();
    PQclear(range);
    PQfinish(probe);
    std::vector<PGconn*> conns;
    for (int i = 0; i < parts; ++i)
        conns.push_back(server.connect(QStringLiteral("town"), QStringLiteral("admin")));
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> threads;
    for (int i = 0; i < parts; ++i) {
        threads.emplace_back([&, i] {
            const QByteArray sql
                = QStringLiteral("COPY (SELECT * FROM главная WHERE \"Код\" >= %1 AND \"Код\" < %2) TO "
                                 "STDOUT (FORMAT binary)")
                      .arg(low + (high - low) * i / parts)
                      .arg(low + (high - low) * (i + 1) / parts)
                      .toUtf8();
            PQclear(PQexec(conns[std::size_t(i)], sql.constData()));
            char* buffer = nullptr;
            while (PQgetCopyData(conns[std::size_t(i)], &buffer, 0) > 0)
                PQfreemem(buffer);
            PQclear(PQgetResult(conns[std::size_t(i)]));
        });
    }
    for (std::thread& t : threads)
        t.join();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    for (PGconn* c : conns)
        PQfinish(c);
    return ms;
}

void print(const char* name, const Figures& f)
{
    std::printf("%-28s first screen %7.1f ms   all rows %7.1f ms   rows' memory %6.1f MB\n", name, f.firstMs, f.allMs,
        double(f.bytes) / 1048576.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    PgTestServer server;
    if (!server.unavailable().isEmpty()) {
        std::printf("SKIPPED: %s\n", qPrintable(server.unavailable()));
        return 0;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Sarvino.mdb"));
    QProcess::execute(QStringLiteral(SARWINO_GENDB_PATH),
        { QStringLiteral("--out"), file, QStringLiteral("--records"), QString::number(records) });
    QProcess::execute(
        QStringLiteral(SARWINO_CONVERT_PATH), { file, server.link(QStringLiteral("town"), QStringLiteral("admin")) });
    const QString linkFile = dir.filePath(QStringLiteral("link.mdb"));
    {
        QFile f(linkFile);
        f.open(QIODevice::WriteOnly);
        f.write(server.link(QStringLiteral("town"), QStringLiteral("admin")).toUtf8());
    }
    std::printf("%d records\n", records);
    for (int run = 0; run < 2; ++run) {
        print("SQLite file", load(file));
        PgStore::setLoadMethod(PgStore::LoadMethod::Copy);
        print("PostgreSQL, COPY binary", load(linkFile));
        PgStore::setLoadMethod(PgStore::LoadMethod::SingleRow);
        print("PostgreSQL, single-row mode", load(linkFile));
        std::printf("%-28s %7.1f ms on one connection, %7.1f ms split over two\n", "server's COPY alone",
            rawCopy(server, 1), rawCopy(server, 2));
    }
    PgStore::setLoadMethod(PgStore::LoadMethod::Copy);

    // Another program's change, committed, to the rows in memory.
    Connection connection;
    Table table;
    connection.setConnectionString(linkFile);
    table.setConnection(&connection);
    table.setTableName(directoryTableName());
    table.setFields(directoryFields());
    table.open();
    table.waitUntilLoaded();
    QCoreApplication::processEvents();
    PGconn* other = server.connect(QStringLiteral("town"), QStringLiteral("admin"));
    std::vector<double> latencies;
    for (int i = 0; i < 50; ++i) {
        const QString phone = QStringLiteral("9-%1").arg(i);
        const QByteArray sql = QStringLiteral("UPDATE главная SET тел = '%1' WHERE \"Код\" = %2")
                                   .arg(phone)
                                   .arg(table.keyAt(0))
                                   .toUtf8();
        QElapsedTimer timer;
        timer.start();
        PQclear(PQexec(other, sql.constData()));
        while (table.valueAt(0, 3) != phone && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    PQfinish(other);
    std::sort(latencies.begin(), latencies.end());
    std::printf("change to rows in memory (%zu changes): median %.1f ms, p95 %.1f ms\n", latencies.size(),
        latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100]);
    return 0;
}
