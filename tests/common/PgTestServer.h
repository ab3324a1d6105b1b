// A throwaway PostgreSQL server for tests: initdb into a temporary folder,
// listening on a Unix socket in that folder and on no TCP port, stopped when
// the object goes, when the test program exits, on SIGINT/SIGTERM, and by a
// watchdog when the test program is killed outright.
//
// The server refuses to run as root: under root the folder is given to the
// unprivileged "postgres" user and the server runs as that user.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

struct pg_conn;

class PgTestServer {
public:
    PgTestServer();
    ~PgTestServer();

    // Why no server could be started (no server binaries on this machine,
    // or initdb failed); empty when it runs.
    QString unavailable() const { return m_unavailable; }

    QString socketFolder() const { return m_dir.path(); }
    int port() const { return 5432; }
    // A link to a database of this server as one user.
    QString link(const QString& database = QStringLiteral("town"), const QString& user = QStringLiteral("clerk")) const;

    // Runs SQL as the superuser in a database; returns the first value of
    // the result (empty for none) or fails the test with the server's
    // message.
    QString exec(const QString& sql, const QString& database = QStringLiteral("town"));
    // A connection of the test's own, as a user.
    pg_conn* connect(const QString& database = QStringLiteral("town"), const QString& user = QStringLiteral("admin"));

    bool stop();
    bool start();

private:
    bool run(const QStringList& command, QString* output = nullptr);

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_unavailable;
    bool m_running = false;
    bool m_asPostgres = false;
};
