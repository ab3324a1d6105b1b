// The SQLite 3 database file behind the directory, reached through Qt SQL.
#pragma once

#include "data/Store.h"

#include <QHash>
#include <QSqlDatabase>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStore : public Store {
public:
    // Opens an existing SQLite file for reading and writing (or reading only,
    // when the file is write-protected or readOnly is set); never creates one.
    explicit SqliteStore(const QString& path, bool readOnly = false);
    ~SqliteStore() override;

    QString path() const override { return m_path; }
    QString readOnlyReason() const override { return m_readOnlyReason; }

    std::unique_ptr<RowReader> openReader(const QString& table, const QStringList& fields, RowSet& rows) override;
    void update(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes) override;
    void remove(
        const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals) override;

    // How long reading and writing wait for another program's lock on the
    // file. Tests shorten it.
    static int busyTimeoutMs();
    static void setBusyTimeoutMs(int ms);

    // A table in a file of at least this many bytes is read by two threads,
    // each half of its row numbers. Tests lower it.
    static qint64 splitReadBytes();
    static void setSplitReadBytes(qint64 bytes);

private:
    class Stepper;
    class Reader;

    enum class Failure { Other, Busy, HotJournal, ReadOnly, DiskFull, Damaged, DiskError };
    using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

    void openFile(bool readOnly);
    bool openUri(const QString& parameters, QString* message);
    bool inWalMode() const;
    void closeConnection();
    QString findReadOnlyReason();
    const QString& tableName(const QString& table);
    QString columnName(const QString& table, const QString& field);
    QString rowidName(const QString& actualTable);
    sqlite3* handle() const;
    Failure lastFailure() const;
    static Failure failureOf(sqlite3* db);
    static Failure failureOfCode(int code);
    QString shownPath() const;
    [[noreturn]] void failOpen(const QString& storeMessage) const;
    [[noreturn]] void failOpen(const QString& storeMessage, Failure failure) const;
    [[noreturn]] void failWrite(const QString& what, const QString& storeMessage, Failure failure) const;
    Statement prepareWrite(const QString& sql, const QString& what);
    void run(sqlite3_stmt* statement, const QString& what);
    void run(const char* sql, const QString& what);
    void writeOneRecord(
        sqlite3_stmt* statement, qint64 key, const QString& keyField, const QString& what, Change change);

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
    QString m_readOnlyReason;
    QString m_openParameters; // of the file's URI, as opened
    // Names as the file spells them, found once: a write never reads the
    // schema (which may be locked by another program at that moment).
    QHash<QString, QString> m_tables; // lower-case name -> name in the file
    QHash<QString, QString> m_columns; // lower-case "table\nfield" -> name in the file
};
