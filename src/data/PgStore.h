// The directory on a PostgreSQL server, reached through libpq.
//
// Sarvino.mdb then holds one line, a libpq connection URI ("postgresql://…"),
// handed to libpq as it stands, so its multi-host failover, TLS, service
// files, password file and environment variables all work. The link never
// holds a password: a file that sits beside a shared program keeps no secret.
//
// The whole table is read once, as from a file; writes find a record by its
// key and the original values, as in a file. A second connection LISTENs for
// the notifications the table's trigger sends, and the records other people
// change are fetched and handed to the table as they arrive.
#pragma once

#include "data/Store.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

struct pg_conn;
struct pg_result;

class PgStore : public Store {
public:
    // Connects to the server the link names; throws DataError naming the
    // server (never a password) and the reason when it cannot.
    // file: where the link was read, for the messages.
    PgStore(const QByteArray& link, const QString& file);
    ~PgStore() override;

    // Whether the first bytes of Sarvino.mdb make it a link to a server.
    static bool isLink(const QByteArray& head);

    // The link as the file holds it (it carries no password).
    QString path() const override { return m_link; }
    QString readOnlyReason() const override { return m_readOnlyReason; }

    std::unique_ptr<RowReader> openReader(const QString& table, const QStringList& fields, RowSet& rows) override;
    void update(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes) override;
    void remove(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals) override;
    void watch(std::function<void(RemoteChanges)> onChange) override;

    // The server as messages name it: its hosts, ports and database.
    QString serverName() const { return m_serverName; }

    // How the table is read: COPY … TO STDOUT in binary, or a SELECT in
    // single-row mode. COPY is the default (it is the faster one); the
    // benchmark compares both.
    enum class LoadMethod { Copy, SingleRow };
    static void setLoadMethod(LoadMethod method);

    // How long connecting, a statement (a write, a pause in the reading) and
    // the wait for another user's row lock may take before they give up.
    // Tests shorten them.
    static void setTimeouts(int connectSeconds, int statementMs, int lockMs = 5000);

    // The SQL that makes the directory table on a server: the key an
    // identity, the texts varchar of the directory's sizes, so the server
    // itself refuses a longer value.
    static QByteArray createTableSql();
    // The SQL that makes the table's notification trigger, for the converter.
    static QByteArray notifyTriggerSql(const QString& table, const QString& keyField);
    // The channel the trigger notifies on.
    static const char* channel();

private:
    class Reader;
    class Listener;
    friend class Reader;
    friend class Listener;

    pg_conn* connectOrThrow() const;
    pg_conn* connectWaiting() const;
    QString connectFailure(const QString& reason, const QString& libpqMessage) const;
    void ensureConnected();
    void prepareSession(pg_conn* conn) const;
    void resolve(const QString& table, const QStringList& fields);
    QString findReadOnlyReason();
    void startListener();
    [[noreturn]] void failWrite(pg_result* result, const QString& what);
    [[noreturn]] void failLost(const QString& reason);
    void beginWrite();
    pg_result* execWaiting(const char* sql, const std::vector<const char*>& params = {});
    void runWrite(const QByteArray& sql, const std::vector<TextValue>& values, const QString& what);
    QString quotedTable() const;
    QString quotedColumn(const QString& field) const;

    QString m_link;
    QByteArray m_linkBytes;
    QString m_file;
    QString m_serverName;
    QString m_user;
    bool m_hasConnectTimeout = false;
    bool m_hasTcpSettings = false; // the link sets keepalives or tcp_user_timeout
    pg_conn* m_conn = nullptr;
    bool m_writing = false; // a write waits for the server (the window's events run meanwhile)
    std::atomic<int> m_backendPid { 0 };
    QString m_readOnlyReason;

    QString m_table; // as the server spells it
    QStringList m_columns; // the columns of the fields, as the server spells them
    QStringList m_fields; // the fields asked for, key first
    QByteArray m_tableOid;

    QObject m_context; // where the listener's news are delivered
    std::unique_ptr<Listener> m_listener;
};
