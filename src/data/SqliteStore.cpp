#include "data/SqliteStore.h"

#include "data/DataError.h"
#include "data/RowSet.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> s_busyTimeoutMs{5000};

QString quoted(const QString& identifier)
{
    QString result = identifier;
    result.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

// The empty text is bound as a text: Qt binds a null string as SQL NULL,
// and NULL and the empty text are different values in the file.
QVariant bindable(const TextValue& value)
{
    if (!value)
        return QVariant(QMetaType(QMetaType::QString));
    if (value->isNull())
        return QVariant(QString(QLatin1String("")));
    return QVariant(*value);
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

} // namespace

int SqliteStore::busyTimeoutMs()
{
    return s_busyTimeoutMs;
}

void SqliteStore::setBusyTimeoutMs(int ms)
{
    s_busyTimeoutMs = ms;
}

SqliteStore::SqliteStore(const QString& path, bool readOnly)
    : m_path(path)
    , m_connectionName(QStringLiteral("sarwino-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    // mode=rw opens an existing file only: a missing file is never created.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    uri.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs()));
    if (!m_db.open())
        throw DataError(QStringLiteral("Не удаётся открыть файл базы данных «%1»: %2")
                            .arg(shownPath(), m_db.lastError().databaseText()));
    if (sqlite3* db = handle())
        sqlite3_extended_result_codes(db, 1);

    // Reading the schema proves the file really is a database we can read.
    QSqlQuery probe(m_db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        failOpen(probe.lastError().databaseText());
    // Every committed change is on the disk before the call that made it returns.
    probe.exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

SqliteStore::~SqliteStore()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

sqlite3* SqliteStore::handle() const
{
    const QVariant handle = m_db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(handle.constData());
    return nullptr;
}

SqliteStore::Failure SqliteStore::lastFailure() const
{
    sqlite3* db = handle();
    if (!db)
        return Failure::Other;
    const int code = sqlite3_extended_errcode(db);
    if (code == SQLITE_READONLY_ROLLBACK)
        return Failure::HotJournal;
    if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED)
        return Failure::Busy;
    return Failure::Other;
}

QString SqliteStore::shownPath() const
{
    return QDir::toNativeSeparators(m_path);
}

void SqliteStore::failOpen(const QString& storeMessage) const
{
    switch (lastFailure()) {
    case Failure::Busy:
        throw DataError(QStringLiteral("Файл базы данных «%1» сейчас занят другой программой, и прочитать его "
                                       "пока нельзя. Закройте ту программу или запустите справочник позже.")
                            .arg(shownPath()));
    case Failure::HotJournal:
        throw DataError(QStringLiteral("Рядом с файлом базы данных «%1» остался журнал незавершённой записи "
                                       "(«%1-journal»), а файл доступен только для чтения, поэтому "
                                       "незавершённую запись нельзя отменить. Разрешите запись в файл и его "
                                       "папку и запустите справочник снова: файл будет восстановлен.")
                            .arg(shownPath()));
    case Failure::Other:
        break;
    }
    QString message = QStringLiteral("Файл «%1» повреждён или не является базой данных").arg(shownPath());
    if (!storeMessage.isEmpty())
        message += QStringLiteral(": ") + storeMessage;
    throw DataError(message);
}

void SqliteStore::failWrite(const QString& what, const QString& storeMessage) const
{
    if (lastFailure() == Failure::Busy) {
        throw DataError(QStringLiteral("Файл базы данных «%1» занят другой программой, и изменения не сохранены. "
                                       "Повторите правку позже или нажмите Esc, чтобы её отменить.")
                            .arg(shownPath()));
    }
    QString message = what.arg(shownPath());
    if (!storeMessage.isEmpty())
        message += QStringLiteral(": ") + storeMessage;
    throw DataError(message);
}

const QString& SqliteStore::tableName(const QString& table)
{
    const QString wanted = table.toLower();
    auto found = m_tables.constFind(wanted);
    if (found != m_tables.constEnd())
        return *found;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table','view')")))
        failOpen(query.lastError().databaseText());
    while (query.next()) {
        const QString name = query.value(0).toString();
        if (name.toLower() == wanted)
            return *m_tables.insert(wanted, name);
    }
    throw DataError(QStringLiteral("В файле базы данных «%1» нет таблицы «%2».").arg(shownPath(), table));
}

QString SqliteStore::columnName(const QString& table, const QString& field)
{
    const QString actualTable = tableName(table);
    const QString wanted = field.toLower();
    const QString cacheKey = table.toLower() + QLatin1Char('\n') + wanted;
    auto found = m_columns.constFind(cacheKey);
    if (found != m_columns.constEnd())
        return *found;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(actualTable))))
        failOpen(query.lastError().databaseText());
    while (query.next()) {
        const QString name = query.value(1).toString();
        if (name.toLower() == wanted)
            return *m_columns.insert(cacheKey, name);
    }
    throw DataError(QStringLiteral("Field '%1' not found.\nФайл базы данных: «%2», таблица «%3».")
                        .arg(field, shownPath(), actualTable));
}

void SqliteStore::load(const QString& table, const QStringList& fields, RowSet& rows)
{
    const QString actualTable = tableName(table);
    QStringList columns;
    for (const QString& field : fields)
        columns << quoted(columnName(table, field));

    sqlite3* db = handle();
    if (!db)
        failOpen(QStringLiteral("no SQLite handle"));
    auto prepare = [&](const QString& sql) {
        sqlite3_stmt* statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK)
            failOpen(QString::fromUtf8(sqlite3_errmsg(db)));
        return Statement(statement, sqlite3_finalize);
    };

    // The exact number of rows, so the columns are sized once (never from
    // a key's value, which says nothing about how many rows there are).
    std::size_t expected = 0;
    {
        Statement count = prepare(QStringLiteral("SELECT count(*) FROM ") + quoted(actualTable));
        if (sqlite3_step(count.get()) != SQLITE_ROW)
            failOpen(QString::fromUtf8(sqlite3_errmsg(db)));
        expected = std::size_t(std::max<sqlite3_int64>(sqlite3_column_int64(count.get(), 0), 0));
    }
    // In a UTF-8 file the stored bytes of a text are its UTF-8 form already.
    bool utf8File = false;
    {
        Statement encoding = prepare(QStringLiteral("PRAGMA encoding"));
        if (sqlite3_step(encoding.get()) == SQLITE_ROW)
            utf8File = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(encoding.get(), 0)), "UTF-8") == 0;
    }

    rows.reset(int(fields.size()) - 1);
    rows.reserve(expected);

    Statement select = prepare(QStringLiteral("SELECT ") + columns.join(QLatin1Char(',')) + QStringLiteral(" FROM ")
                               + quoted(actualTable));
    sqlite3_stmt* statement = select.get();
    const int textColumns = int(fields.size()) - 1;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const int row = rows.appendRow(sqlite3_column_int64(statement, 0));
        switch (sqlite3_column_type(statement, 0)) {
        case SQLITE_INTEGER:
            break;
        case SQLITE_NULL:
            rows.setKeyProblem(row, RowSet::KeyProblem::Missing);
            break;
        default:
            rows.setKeyProblem(row, RowSet::KeyProblem::NotInteger);
            break;
        }
        for (int c = 1; c <= textColumns; ++c) {
            if (sqlite3_column_type(statement, c) == SQLITE_NULL)
                continue;
            const char* text = utf8File ? static_cast<const char*>(sqlite3_column_blob(statement, c))
                                        : reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            const int bytes = sqlite3_column_bytes(statement, c);
            rows.setUtf8(row, c - 1, std::string_view(text ? text : "", std::size_t(bytes)));
        }
    }
    if (rc != SQLITE_DONE)
        failOpen(QString::fromUtf8(sqlite3_errmsg(db)));
    rows.markDuplicateKeys();
}

void SqliteStore::exec(const char* statement, const QString& what)
{
    QSqlQuery query(m_db);
    if (!query.exec(QString::fromLatin1(statement)))
        failWrite(what, query.lastError().databaseText());
}

// Runs a prepared UPDATE or DELETE of one record in a transaction of its
// own and keeps it only when it touched exactly that record.
void SqliteStore::writeOneRecord(QSqlQuery& query, qint64 key, const QString& keyField, const QString& what)
{
    exec("BEGIN IMMEDIATE", what);
    if (!query.exec()) {
        const QString message = query.lastError().databaseText();
        const Failure failure = lastFailure();
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        if (failure == Failure::Busy)
            failWrite(what, message);
        throw DataError(what.arg(shownPath()) + QStringLiteral(": ") + message);
    }
    const int affected = query.numRowsAffected();
    if (affected != 1) {
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        if (affected == 0)
            throw DataError(rowNotFoundMessage(m_path));
        throw DataError(QStringLiteral("В файле «%1» значение ключа «%2» = %3 есть у нескольких записей (%4), "
                                       "поэтому изменить или удалить только эту запись нельзя. Файл не изменён.")
                            .arg(shownPath(), keyField, QString::number(key), QString::number(affected)));
    }
    QSqlQuery commit(m_db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        const QString message = commit.lastError().databaseText();
        const Failure failure = lastFailure();
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        if (failure == Failure::Busy)
            failWrite(what, message);
        throw DataError(what.arg(shownPath()) + QStringLiteral(": ") + message);
    }
}

void SqliteStore::update(const QString& table, const QString& keyField, qint64 key,
                         const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    const QString actualTable = tableName(table);
    QStringList assignments;
    QString where = quoted(columnName(table, keyField)) + QStringLiteral("=?");
    for (const FieldChange& change : changes) {
        const QString column = quoted(columnName(table, change.field));
        assignments << column + QStringLiteral("=?");
        where += QStringLiteral(" AND ") + column + QStringLiteral(" IS ?");
    }

    const QString what = QStringLiteral("Не удалось записать изменения в файл «%1»");
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("UPDATE ") + quoted(actualTable) + QStringLiteral(" SET ")
                       + assignments.join(QLatin1Char(',')) + QStringLiteral(" WHERE ") + where))
        failWrite(what, query.lastError().databaseText());
    for (const FieldChange& change : changes)
        query.addBindValue(bindable(change.value));
    query.addBindValue(key);
    for (const FieldChange& change : changes)
        query.addBindValue(bindable(change.original));
    writeOneRecord(query, key, keyField, what);
}

void SqliteStore::remove(const QString& table, const QString& keyField, qint64 key,
                         const std::vector<FieldChange>& originals)
{
    const QString actualTable = tableName(table);
    QString where = quoted(columnName(table, keyField)) + QStringLiteral("=?");
    for (const FieldChange& original : originals)
        where += QStringLiteral(" AND ") + quoted(columnName(table, original.field)) + QStringLiteral(" IS ?");

    const QString what = QStringLiteral("Не удалось удалить запись в файле «%1»");
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("DELETE FROM ") + quoted(actualTable) + QStringLiteral(" WHERE ") + where))
        failWrite(what, query.lastError().databaseText());
    query.addBindValue(key);
    for (const FieldChange& original : originals)
        query.addBindValue(bindable(original.original));
    writeOneRecord(query, key, keyField, what);
}

qint64 SqliteStore::insert(const QString& table, const QString& keyField, const std::vector<FieldChange>& values)
{
    Q_UNUSED(keyField);
    const QString actualTable = tableName(table);
    QStringList columns;
    QStringList marks;
    for (const FieldChange& value : values) {
        columns << quoted(columnName(table, value.field));
        marks << QStringLiteral("?");
    }
    const QString what = QStringLiteral("Не удалось добавить запись в файл «%1»");
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
        failWrite(what, query.lastError().databaseText());
    return query.lastInsertId().toLongLong();
}
