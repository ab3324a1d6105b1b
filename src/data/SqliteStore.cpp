#include "data/SqliteStore.h"

#include "data/DataError.h"
#include "data/RowSet.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>

namespace {

QString quoted(const QString& identifier)
{
    QString result = identifier;
    result.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

QVariant bindable(const TextValue& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::QString));
}

sqlite3* nativeHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(handle.constData());
    return nullptr;
}

} // namespace

SqliteStore::SqliteStore(const QString& path, bool readOnly)
    : m_path(path)
    , m_connectionName(QStringLiteral("sarwino-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    // mode=rw opens an existing file only: a missing file is never created.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    uri.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!m_db.open())
        fail(QStringLiteral("Не удаётся открыть файл базы данных «%1»"), m_db.lastError().databaseText());

    // Reading the schema proves the file really is a database we can read.
    QSqlQuery probe(m_db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        fail(QStringLiteral("Файл «%1» повреждён или не является базой данных"), probe.lastError().databaseText());
    // Every committed change is on the disk before the call that made it returns.
    probe.exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

SqliteStore::~SqliteStore()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void SqliteStore::fail(const QString& what, const QString& storeMessage) const
{
    QString message = what.arg(QDir::toNativeSeparators(m_path));
    if (!storeMessage.isEmpty())
        message += QStringLiteral(": ") + storeMessage;
    throw DataError(message);
}

QString SqliteStore::tableName(const QString& table) const
{
    const QStringList tables = m_db.tables(QSql::Tables);
    for (const QString& name : tables) {
        if (name.compare(table, Qt::CaseInsensitive) == 0)
            return name;
    }
    throw DataError(QStringLiteral("В файле базы данных «%1» нет таблицы «%2».")
                        .arg(QDir::toNativeSeparators(m_path), table));
}

QString SqliteStore::columnName(const QString& table, const QString& field) const
{
    const QSqlRecord record = m_db.record(table);
    for (int i = 0; i < record.count(); ++i) {
        if (record.fieldName(i).compare(field, Qt::CaseInsensitive) == 0)
            return record.fieldName(i);
    }
    throw DataError(QStringLiteral("Field '%1' not found").arg(field));
}

void SqliteStore::load(const QString& table, const QStringList& fields, RowSet& rows)
{
    const QString actualTable = tableName(table);
    QStringList columns;
    for (const QString& field : fields)
        columns << quoted(columnName(actualTable, field));

    sqlite3* db = nativeHandle(m_db);
    if (!db)
        fail(QStringLiteral("Не удаётся прочитать файл «%1»"), QStringLiteral("no SQLite handle"));

    auto prepare = [&](const QString& sql) {
        sqlite3_stmt* statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK)
            fail(QStringLiteral("Не удаётся прочитать файл «%1»"), QString::fromUtf8(sqlite3_errmsg(db)));
        return std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>(statement, sqlite3_finalize);
    };

    // Size the columns once from the highest row id (cheap, unlike a count);
    // they still grow if the estimate falls short.
    std::size_t expected = 0;
    {
        sqlite3_stmt* probe = nullptr;
        const QByteArray sql = (QStringLiteral("SELECT max(rowid) FROM ") + quoted(actualTable)).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &probe, nullptr) == SQLITE_OK
            && sqlite3_step(probe) == SQLITE_ROW)
            expected = std::size_t(std::clamp<sqlite3_int64>(sqlite3_column_int64(probe, 0), 0, 50'000'000));
        sqlite3_finalize(probe);
    }
    // In a UTF-8 file the stored bytes of a text are its UTF-8 form already.
    bool utf8File = false;
    {
        auto encoding = prepare(QStringLiteral("PRAGMA encoding"));
        if (sqlite3_step(encoding.get()) == SQLITE_ROW)
            utf8File = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(encoding.get(), 0)), "UTF-8") == 0;
    }

    rows.reset(int(fields.size()) - 1);
    rows.reserve(expected);

    auto select = prepare(QStringLiteral("SELECT ") + columns.join(QLatin1Char(',')) + QStringLiteral(" FROM ")
                          + quoted(actualTable));
    sqlite3_stmt* statement = select.get();
    const int textColumns = int(fields.size()) - 1;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const int row = rows.appendRow(sqlite3_column_int64(statement, 0));
        for (int c = 1; c <= textColumns; ++c) {
            // A null pointer stands for both no value and the empty text.
            const char* text = utf8File ? static_cast<const char*>(sqlite3_column_blob(statement, c))
                                        : reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            if (!text && sqlite3_column_type(statement, c) == SQLITE_NULL)
                continue;
            const int bytes = sqlite3_column_bytes(statement, c);
            rows.setUtf8(row, c - 1, std::string_view(text ? text : "", std::size_t(bytes)));
        }
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("Ошибка чтения файла «%1»"), QString::fromUtf8(sqlite3_errmsg(db)));
}

void SqliteStore::update(const QString& table, const QString& keyField, qint64 key,
                         const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    const QString actualTable = tableName(table);
    QStringList assignments;
    QString where = quoted(columnName(actualTable, keyField)) + QStringLiteral("=?");
    for (const FieldChange& change : changes) {
        const QString column = quoted(columnName(actualTable, change.field));
        assignments << column + QStringLiteral("=?");
        where += QStringLiteral(" AND ") + column + QStringLiteral(" IS ?");
    }

    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("UPDATE ") + quoted(actualTable) + QStringLiteral(" SET ")
                  + assignments.join(QLatin1Char(',')) + QStringLiteral(" WHERE ") + where);
    for (const FieldChange& change : changes)
        query.addBindValue(bindable(change.value));
    query.addBindValue(key);
    for (const FieldChange& change : changes)
        query.addBindValue(bindable(change.original));
    if (!query.exec())
        fail(QStringLiteral("Не удалось записать изменения в файл «%1»"), query.lastError().databaseText());
    if (query.numRowsAffected() != 1)
        throw DataError(rowNotFoundMessage());
}

void SqliteStore::remove(const QString& table, const QString& keyField, qint64 key,
                         const std::vector<FieldChange>& originals)
{
    const QString actualTable = tableName(table);
    QString where = quoted(columnName(actualTable, keyField)) + QStringLiteral("=?");
    for (const FieldChange& original : originals)
        where += QStringLiteral(" AND ") + quoted(columnName(actualTable, original.field)) + QStringLiteral(" IS ?");

    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("DELETE FROM ") + quoted(actualTable) + QStringLiteral(" WHERE ") + where);
    query.addBindValue(key);
    for (const FieldChange& original : originals)
        query.addBindValue(bindable(original.original));
    if (!query.exec())
        fail(QStringLiteral("Не удалось удалить запись в файле «%1»"), query.lastError().databaseText());
    if (query.numRowsAffected() != 1)
        throw DataError(rowNotFoundMessage());
}

qint64 SqliteStore::insert(const QString& table, const QString& keyField, const std::vector<FieldChange>& values)
{
    Q_UNUSED(keyField);
    const QString actualTable = tableName(table);
    QStringList columns;
    QStringList marks;
    for (const FieldChange& value : values) {
        columns << quoted(columnName(actualTable, value.field));
        marks << QStringLiteral("?");
    }
    QSqlQuery query(m_db);
    if (values.empty()) {
        query.prepare(QStringLiteral("INSERT INTO ") + quoted(actualTable) + QStringLiteral(" DEFAULT VALUES"));
    } else {
        query.prepare(QStringLiteral("INSERT INTO ") + quoted(actualTable) + QStringLiteral(" (")
                      + columns.join(QLatin1Char(',')) + QStringLiteral(") VALUES (") + marks.join(QLatin1Char(','))
                      + QLatin1Char(')'));
        for (const FieldChange& value : values)
            query.addBindValue(bindable(value.value));
    }
    if (!query.exec())
        fail(QStringLiteral("Не удалось добавить запись в файл «%1»"), query.lastError().databaseText());
    return query.lastInsertId().toLongLong();
}
