// The SQLite 3 database file behind the directory, reached through Qt SQL.
#pragma once

#include "data/Store.h"

#include <QSqlDatabase>

class SqliteStore : public Store
{
public:
    // Opens an existing SQLite file for reading and writing (or reading only,
    // when the file is write-protected or readOnly is set); never creates one.
    explicit SqliteStore(const QString& path, bool readOnly = false);
    ~SqliteStore() override;

    QString path() const override { return m_path; }

    void load(const QString& table, const QStringList& fields, RowSet& rows) override;
    void update(const QString& table, const QString& keyField, qint64 key,
                const std::vector<FieldChange>& changes) override;
    void remove(const QString& table, const QString& keyField, qint64 key,
                const std::vector<FieldChange>& originals) override;
    qint64 insert(const QString& table, const QString& keyField,
                  const std::vector<FieldChange>& values) override;

    // How long a write waits for another program's lock on the file.
    static constexpr int BusyTimeoutMs = 5000;

private:
    QString columnName(const QString& table, const QString& field) const;
    QString tableName(const QString& table) const;
    [[noreturn]] void fail(const QString& what, const QString& storeMessage) const;

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
};
