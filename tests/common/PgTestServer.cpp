#include "PgTestServer.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <libpq-fe.h>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <pwd.h>
#include <set>
#include <unistd.h>

namespace {

// Every server running, for the exit and signal handlers.
std::mutex s_mutex;
std::set<std::string> s_running; // the commands that stop them

void stopAll()
{
    std::set<std::string> commands;
    {
        std::lock_guard lock(s_mutex);
        commands.swap(s_running);
    }
    for (const std::string& command : commands)
        [[maybe_unused]] const int rc = std::system(command.c_str());
}

void stopAllAndDie(int signal)
{
    stopAll();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

QString findBinaries()
{
    if (const QByteArray dir = qgetenv("SARWINO_PG_BIN"); !dir.isEmpty())
        return QString::fromLocal8Bit(dir);
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : found) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable()
            && QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    return {};
}

QString shellQuoted(const QString& s)
{
    QString q = s;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace

PgTestServer::PgTestServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/sarwino-pg-XXXXXX"))
{
    m_bin = findBinaries();
    if (m_bin.isEmpty()) {
        m_unavailable = QStringLiteral("the PostgreSQL server binaries (initdb, pg_ctl in /usr/lib/postgresql/*/bin or "
                                       "$SARWINO_PG_BIN) are not installed; tools/bootstrap.sh installs postgresql-15");
        std::fprintf(stderr, "SKIPPED: %s\n", qPrintable(m_unavailable));
        return;
    }
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        if (!user) {
            m_unavailable = QStringLiteral("running as root and there is no unprivileged user \"postgres\" to run the "
                                           "server as");
            std::fprintf(stderr, "SKIPPED: %s\n", qPrintable(m_unavailable));
            return;
        }
        m_asPostgres = true;
        if (::chown(QFile::encodeName(m_dir.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_unavailable = QStringLiteral("cannot give the temporary folder to the user postgres");
            return;
        }
    }
    static std::once_flag handlers;
    std::call_once(handlers, [] {
        std::atexit(stopAll);
        for (const int signal : { SIGINT, SIGTERM, SIGHUP, SIGABRT })
            std::signal(signal, stopAllAndDie);
    });

    const QString data = m_dir.filePath(QStringLiteral("data"));
    QString output;
    if (!run({ m_bin + QStringLiteral("/initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"),
                 QStringLiteral("admin"), QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                 QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync") },
            &output)) {
        m_unavailable = QStringLiteral("initdb failed: ") + output;
        return;
    }
    if (!start()) {
        m_unavailable = QStringLiteral("the server did not start: see ") + m_dir.filePath(QStringLiteral("log"));
        return;
    }
    // A watchdog stops the server if this program dies without a word.
    const QString stopCommand
        = QStringLiteral("%1%2/pg_ctl -D %3 -m immediate stop")
              .arg(m_asPostgres ? QStringLiteral("runuser -u postgres -- ") : QString(), m_bin, shellQuoted(data));
    QProcess::startDetached(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"),
            QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; %2 >/dev/null 2>&1")
                .arg(QCoreApplication::applicationPid())
                .arg(stopCommand) });

    exec(QStringLiteral("CREATE DATABASE town"), QStringLiteral("postgres"));
    exec(QStringLiteral("CREATE ROLE clerk LOGIN; CREATE ROLE reader LOGIN"), QStringLiteral("postgres"));
}

PgTestServer::~PgTestServer()
{
    stop();
}

bool PgTestServer::run(const QStringList& command, QString* output)
{
    QStringList args = command;
    QString program = args.takeFirst();
    if (m_asPostgres) {
        args = QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program } + args;
        program = QStringLiteral("runuser");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(program, args);
    const bool ok
        = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return ok;
}

bool PgTestServer::start()
{
    const QString data = m_dir.filePath(QStringLiteral("data"));
    const QString options = QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c port=%2 "
                                           "-c fsync=off -c synchronous_commit=off -c full_page_writes=off")
                                .arg(m_dir.path())
                                .arg(port());
    const bool ok = run({ m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-o"), options,
        QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("start") });
    if (ok) {
        m_running = true;
        std::lock_guard lock(s_mutex);
        s_running.insert(
            QStringLiteral("%1%2/pg_ctl -D %3 -m immediate stop >/dev/null 2>&1")
                .arg(m_asPostgres ? QStringLiteral("runuser -u postgres -- ") : QString(), m_bin, shellQuoted(data))
                .toStdString());
    }
    return ok;
}

bool PgTestServer::stop()
{
    if (!m_running)
        return true;
    const QString data = m_dir.filePath(QStringLiteral("data"));
    const bool ok = run({ m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-m"),
        QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop") });
    m_running = !ok;
    if (ok) {
        std::lock_guard lock(s_mutex);
        for (auto it = s_running.begin(); it != s_running.end();) {
            if (it->find(QFile::encodeName(data).toStdString()) != std::string::npos)
                it = s_running.erase(it);
            else
                ++it;
        }
    }
    return ok;
}

QString PgTestServer::link(const QString& database, const QString& user) const
{
    return QStringLiteral("postgresql:///%1?host=%2&port=%3&user=%4").arg(database, m_dir.path()).arg(port()).arg(user);
}

pg_conn* PgTestServer::connect(const QString& database, const QString& user)
{
    const QByteArray conninfo = QStringLiteral("host='%1' port=%2 dbname='%3' user='%4'")
                                    .arg(m_dir.path())
                                    .arg(port())
                                    .arg(database, user)
                                    .toUtf8();
    PGconn* conn = PQconnectdb(conninfo.constData());
    if (PQstatus(conn) != CONNECTION_OK)
        qWarning("cannot connect to the test server: %s", PQerrorMessage(conn));
    return conn;
}

QString PgTestServer::exec(const QString& sql, const QString& database)
{
    PGconn* conn = connect(database);
    PGresult* result = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(result);
    QString value;
    if (status == PGRES_TUPLES_OK && PQntuples(result) > 0 && !PQgetisnull(result, 0, 0))
        value = QString::fromUtf8(PQgetvalue(result, 0, 0));
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        qWarning("SQL failed: %s\n%s", qPrintable(sql), PQerrorMessage(conn));
    PQclear(result);
    PQfinish(conn);
    return value;
}
