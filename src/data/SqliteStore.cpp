#include "data/SqliteStore.h"

#include "data/DataError.h"
#include "data/RowSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>

#include <unistd.h>

namespace {

std::atomic<int> s_busyTimeoutMs { 5000 };

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
    try {
        openFile(readOnly);
        m_readOnlyReason = findReadOnlyReason();
    } catch (...) {
        // No destructor runs for a refused file: its connection is closed here,
        // or the file would stay open (and its memory held) to the end.
        closeConnection();
        throw;
    }
}

SqliteStore::~SqliteStore()
{
    closeConnection();
}

void SqliteStore::openFile(bool readOnly)
{
    // mode=rw opens an existing file only: a missing file is never created.
    QUrl uri = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
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

// A change is written to the file and, while it is being written, to a
// journal beside it: this user needs the right to write both the file and
// its folder (or the file is open for reading only).
QString SqliteStore::findReadOnlyReason()
{
    const QFileInfo file(m_path);
    const QString folder = QDir::toNativeSeparators(file.absolutePath());
    const QString copyHint = QStringLiteral(
        " Чтобы править справочник, скопируйте папку программы туда, где вы можете изменять файлы (например, в "
        "свою домашнюю папку), и запускайте программу оттуда, или попросите администратора дать вам право "
        "записи.");
    sqlite3* db = handle();
    if ((db && sqlite3_db_readonly(db, "main") == 1) || ::access(QFile::encodeName(m_path).constData(), W_OK) != 0) {
        return QStringLiteral("Файл «%1» открыт только для чтения: у вас нет права изменять его, поэтому "
                              "изменить или удалить запись нельзя.")
                   .arg(shownPath())
            + copyHint;
    }
    QSqlQuery mode(m_db);
    const bool journalInMemory = mode.exec(QStringLiteral("PRAGMA journal_mode")) && mode.next()
        && (mode.value(0).toString() == QLatin1String("memory") || mode.value(0).toString() == QLatin1String("off"));
    if (!journalInMemory && ::access(QFile::encodeName(file.absolutePath()).constData(), W_OK | X_OK) != 0) {
        return QStringLiteral("Файл «%1» открыт только для чтения: у вас нет права создавать файлы в его папке "
                              "«%2», а без журнала рядом с файлом изменения нельзя записать надёжно, поэтому "
                              "изменить или удалить запись нельзя.")
                   .arg(shownPath(), folder)
            + copyHint;
    }
    return {};
}

void SqliteStore::closeConnection()
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
    return failureOf(handle());
}

SqliteStore::Failure SqliteStore::failureOf(sqlite3* db)
{
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
    failOpen(storeMessage, lastFailure());
}

void SqliteStore::failOpen(const QString& storeMessage, Failure failure) const
{
    switch (failure) {
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
    // Only a real table: a view is a query of the file's own, which may run
    // for ever or make values of any size out of nothing.
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
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
        if (sameFieldName(name, field))
            return *m_columns.insert(cacheKey, name);
    }
    throw DataError(fieldNotFoundMessage(field)
        + QStringLiteral(".\nФайл базы данных: «%1», таблица «%2».").arg(shownPath(), actualTable));
}

// Steps through one SELECT of the whole table on the file's own handle.
class SqliteStore::Reader : public RowReader {
public:
    Reader(const SqliteStore& store, Statement statement, bool utf8File, RowSet& rows)
        : m_store(store)
        , m_statement(std::move(statement))
        , m_utf8File(utf8File)
        , m_rows(rows)
    {
    }

    bool read(int maxRows) override
    {
        for (int n = 0; n < maxRows; ++n) {
            const int rc = sqlite3_step(m_statement.get());
            if (rc == SQLITE_DONE)
                return false;
            if (rc != SQLITE_ROW) {
                // Only the statement's own handle is looked at here: this may
                // run on another thread than the one that owns the connection.
                sqlite3* db = sqlite3_db_handle(m_statement.get());
                m_store.failOpen(QString::fromUtf8(sqlite3_errmsg(db)), failureOf(db));
            }
            readRow();
        }
        return true;
    }

private:
    void readRow()
    {
        sqlite3_stmt* s = m_statement.get();
        const int row = m_rows.appendRow(sqlite3_column_int64(s, 0));
        switch (sqlite3_column_type(s, 0)) {
        case SQLITE_INTEGER:
            break;
        case SQLITE_NULL:
            m_rows.setKeyProblem(row, RowSet::KeyProblem::Missing);
            break;
        default:
            m_rows.setKeyProblem(row, RowSet::KeyProblem::NotInteger);
            break;
        }
        for (int c = 1; c <= m_rows.columnCount(); ++c) {
            if (sqlite3_column_type(s, c) == SQLITE_NULL)
                continue;
            // In a UTF-8 file the stored bytes of a text are its UTF-8 form already.
            const char* text = m_utf8File ? static_cast<const char*>(sqlite3_column_blob(s, c))
                                          : reinterpret_cast<const char*>(sqlite3_column_text(s, c));
            const int bytes = sqlite3_column_bytes(s, c);
            m_rows.setUtf8(row, c - 1, std::string_view(text ? text : "", std::size_t(bytes)));
        }
    }

    const SqliteStore& m_store;
    Statement m_statement;
    const bool m_utf8File;
    RowSet& m_rows;
};

std::unique_ptr<RowReader> SqliteStore::openReader(const QString& table, const QStringList& fields, RowSet& rows)
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
    bool utf8File = false;
    {
        Statement encoding = prepare(QStringLiteral("PRAGMA encoding"));
        if (sqlite3_step(encoding.get()) == SQLITE_ROW)
            utf8File = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(encoding.get(), 0)), "UTF-8") == 0;
        else
            failOpen(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    Statement select = prepare(
        QStringLiteral("SELECT ") + columns.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + quoted(actualTable));
    rows.reset(int(fields.size()) - 1);
    return std::make_unique<Reader>(*this, std::move(select), utf8File, rows);
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

void SqliteStore::update(
    const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes)
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

void SqliteStore::remove(
    const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals)
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
