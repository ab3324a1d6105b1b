#include "data/SqliteStore.h"

#include "data/Background.h"
#include "data/DataError.h"
#include "data/ReadMeeting.h"
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
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<int> s_busyTimeoutMs { 5000 };
std::atomic<qint64> s_splitReadBytes { qint64(16) << 20 };
// Fewer row numbers than this are read by one reader, however big the file:
// a few huge values are read at once, never half in the background.
constexpr quint64 kMinSplitSpan = 4096;
// A table spanning twice this many row numbers or more has its second reader
// begun with the first screen's rows; a shorter one, whose readers may meet
// among them, once the reading goes on in the background (or never, when it
// ended there).
constexpr quint64 kEarlySplitSpan = 1 << 16;

QString quoted(const QString& identifier)
{
    QString result = identifier;
    result.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

// A value to write: the empty text stays a text, distinct from no value.
void bindText(sqlite3_stmt* statement, int index, const TextValue& value)
{
    if (!value) {
        sqlite3_bind_null(statement, index);
        return;
    }
    const QByteArray bytes = value->toUtf8();
    sqlite3_bind_text64(
        statement, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The condition that a column holds exactly the value read from it: the same
// kind and the same bytes (a number the same number), never compared through
// the column's own collation or affinity. It binds one parameter, or none
// for no value.
QString sameAsStored(const QString& column, const StoredValue& value)
{
    if (value.null)
        return column + QStringLiteral(" IS NULL");
    switch (value.type) {
    case StoredType::Integer:
        return QStringLiteral("(typeof(%1)='integer' AND %1=?)").arg(column);
    case StoredType::Real:
        return QStringLiteral("(typeof(%1)='real' AND %1=?)").arg(column);
    case StoredType::Blob:
        return QStringLiteral("(typeof(%1)='blob' AND %1=?)").arg(column);
    case StoredType::Text:
        break;
    }
    return QStringLiteral("(typeof(%1)='text' AND CAST(%1 AS BLOB)=CAST(? AS BLOB))").arg(column);
}

void bindStored(sqlite3_stmt* statement, int index, const StoredValue& value)
{
    const std::string_view bytes = value.bytes;
    const char* data = bytes.empty() ? "" : bytes.data();
    switch (value.type) {
    case StoredType::Integer: {
        qint64 number = 0;
        std::from_chars(bytes.data(), bytes.data() + bytes.size(), number);
        sqlite3_bind_int64(statement, index, number);
        return;
    }
    case StoredType::Real: {
        double number = 0;
        std::from_chars(bytes.data(), bytes.data() + bytes.size(), number);
        sqlite3_bind_double(statement, index, number);
        return;
    }
    case StoredType::Blob:
        sqlite3_bind_blob64(statement, index, data, sqlite3_uint64(bytes.size()), SQLITE_STATIC);
        return;
    case StoredType::Text:
        sqlite3_bind_text64(statement, index, data, sqlite3_uint64(bytes.size()), SQLITE_STATIC, SQLITE_UTF8);
        return;
    }
}

// The text a real number is kept as: the file's own when it reads back as
// the same number, else the shortest that does.
std::string realText(sqlite3_stmt* statement, int column)
{
    const double number = sqlite3_column_double(statement, column);
    const char* own = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (own) {
        const std::size_t length = std::strlen(own);
        double back = 0;
        const auto [end, error] = std::from_chars(own, own + length, back);
        if (error == std::errc() && end == own + length && (back == number || (std::isnan(back) && std::isnan(number))))
            return std::string(own, length);
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

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
    QString message;
    if (openUri(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"), &message))
        return;
    const Failure failure = lastFailure();
    if ((failure == Failure::Other || failure == Failure::ReadOnly) && inWalMode()) {
        // A file kept in WAL mode is read with two companion files beside
        // it; in a folder closed for writing they cannot be made. With no
        // changes waiting in the log, the file alone holds everything and
        // is read as it stands, for reading only.
        const QFileInfo info(m_path);
        const QFileInfo log(m_path + QStringLiteral("-wal"));
        const QFileInfo index(m_path + QStringLiteral("-shm"));
        const bool folderWritable
            = ::faccessat(AT_FDCWD, QFile::encodeName(info.absolutePath()).constData(), W_OK, AT_EACCESS) == 0;
        if (!folderWritable && (!log.exists() || log.size() == 0) && !index.exists()) {
            closeConnection();
            m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
            if (openUri(QStringLiteral("mode=ro&immutable=1"), &message))
                return;
        } else if (!folderWritable) {
            throw DataError(
                QStringLiteral("Файл базы данных «%1» записан в режиме WAL: его последние изменения лежат рядом, в "
                               "файле «%1-wal», и для их чтения нужен файл «%1-shm», а в папку «%2» запись "
                               "запрещена, поэтому прочитать файл нельзя (%3). Разрешите запись в эту папку или "
                               "скопируйте файл вместе с «%1-wal» туда, где запись разрешена.")
                    .arg(shownPath(), QDir::toNativeSeparators(info.absolutePath()), message));
        }
    }
    failOpen(message, failure);
}

// Opens the file with these URI parameters and reads its schema, which
// proves it really is a database that can be read. False, with the file's
// message, when it cannot.
bool SqliteStore::openUri(const QString& parameters, QString* message)
{
    QUrl uri = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
    uri.setQuery(parameters);
    m_db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs()));
    if (!m_db.open())
        throw DataError(QStringLiteral("Не удаётся открыть файл базы данных «%1»: %2")
                            .arg(shownPath(), m_db.lastError().databaseText()));
    if (sqlite3* db = handle())
        sqlite3_extended_result_codes(db, 1);
    m_openParameters = parameters;

    QSqlQuery probe(m_db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        *message = probe.lastError().databaseText();
        return false;
    }
    // Every committed change is on the disk before the call that made it returns.
    probe.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return true;
}

// Whether the file's header says it is kept in WAL mode.
bool SqliteStore::inWalMode() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && header[18] == 2 && header[19] == 2;
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
    return db ? failureOfCode(sqlite3_extended_errcode(db)) : Failure::Other;
}

SqliteStore::Failure SqliteStore::failureOfCode(int code)
{
    if (code == SQLITE_READONLY_ROLLBACK)
        return Failure::HotJournal;
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Failure::Busy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return Failure::ReadOnly;
    case SQLITE_FULL:
        return Failure::DiskFull;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Failure::Damaged;
    case SQLITE_IOERR:
        return Failure::DiskError;
    default:
        return Failure::Other;
    }
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
    case Failure::ReadOnly:
        throw DataError(QStringLiteral("Файл базы данных «%1» нельзя прочитать: для чтения программе нужно записать "
                                       "рядом с ним служебный файл, а файл или его папка «%2» защищены от записи. "
                                       "Разрешите запись в папку или скопируйте файл туда, где запись разрешена.")
                            .arg(shownPath(), QDir::toNativeSeparators(QFileInfo(m_path).absolutePath())));
    case Failure::DiskError:
        throw DataError(QStringLiteral("Файл базы данных «%1» нельзя прочитать: диск не дал прочитать его (сбой "
                                       "устройства или сетевой папки). Запустите справочник позже.")
                            .arg(shownPath()));
    case Failure::DiskFull:
    case Failure::Damaged:
    case Failure::Other:
        break;
    }
    QString message = QStringLiteral("Файл «%1» повреждён или не является базой данных").arg(shownPath());
    if (!storeMessage.isEmpty())
        message += QStringLiteral(" (сообщение библиотеки SQLite: «%1»)").arg(storeMessage);
    throw DataError(message + QLatin1Char('.'));
}

// The common failures are told in full; any other names the library's own
// words as such, after what could not be done.
void SqliteStore::failWrite(const QString& what, const QString& storeMessage, Failure failure) const
{
    const QString file = shownPath();
    const QString folder = QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
    switch (failure) {
    case Failure::Busy:
        throw DataError(QStringLiteral("Файл базы данных «%1» занят другой программой, и изменения не сохранены. "
                                       "Повторите правку позже или нажмите Esc, чтобы её отменить.")
                            .arg(file));
    case Failure::ReadOnly:
    case Failure::HotJournal:
        throw DataError(what.arg(file)
            + QStringLiteral(": файл или его папка «%1» защищены от записи, и изменить справочник нельзя. Файл не "
                             "изменён.")
                  .arg(folder));
    case Failure::DiskFull:
        throw DataError(what.arg(file)
            + QStringLiteral(": на диске не осталось места. Освободите место и повторите правку; файл не изменён."));
    case Failure::Damaged:
        throw DataError(what.arg(file)
            + QStringLiteral(": файл повреждён. Восстановите его из резервной копии; записанное раньше не тронуто."));
    case Failure::DiskError:
        throw DataError(what.arg(file)
            + QStringLiteral(": диск не дал прочитать или записать файл (сбой устройства или сетевой папки). "
                             "Повторите правку позже; файл не изменён."));
    case Failure::Other:
        break;
    }
    QString message = what.arg(file) + QLatin1Char('.');
    if (!storeMessage.isEmpty())
        message += QStringLiteral(" Сообщение библиотеки SQLite: «%1».").arg(storeMessage);
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

// Steps through one SELECT into rows, each value kept as the file stores it.
class SqliteStore::Stepper {
public:
    Stepper(Statement statement, bool utf8File, RowSet& rows)
        : m_statement(std::move(statement))
        , m_utf8File(utf8File)
        , m_rows(rows)
    {
    }

    sqlite3_stmt* statement() const { return m_statement.get(); }
    sqlite3* db() const { return sqlite3_db_handle(m_statement.get()); }

    // One of two readers meeting halfway (ReadMeeting): each row's number
    // is the statement's column after the values, and a row the other
    // reader takes ends this one's reading with Met.
    void meet(ReadMeeting& meeting, bool fromAbove)
    {
        m_meeting = &meeting;
        m_fromAbove = fromAbove;
    }
    static constexpr int Met = -1;
    // The number of the last row taken while meeting.
    qint64 lastTaken() const { return m_lastTaken; }

    // Ends the statement's view of the file, whatever row it is at: other
    // programs may write to the file again once no statement holds it.
    void release()
    {
        sqlite3_reset(m_statement.get());
        m_pending = false;
    }

    // Steps to the first row and leaves it to be taken by the next read():
    // from then on the statement holds its view of the file.
    int begin()
    {
        const int rc = sqlite3_step(m_statement.get());
        m_pending = rc == SQLITE_ROW;
        return rc;
    }

    // Takes up to maxRows rows, fewer when stop is raised; SQLITE_ROW while
    // more may follow, SQLITE_DONE at the end, Met where the other reader's
    // rows begin (the row stays to be taken, should this one take it after
    // all), else the failure's code.
    // Every row read is in the rows by the time this returns.
    int read(int maxRows, const std::atomic<bool>* stop = nullptr)
    {
        const int rc = step(maxRows, stop);
        m_rows.finishReads();
        return rc;
    }

private:
    int step(int maxRows, const std::atomic<bool>* stop)
    {
        for (int n = 0; n < maxRows; ++n) {
            if (stop && stop->load(std::memory_order_relaxed))
                return SQLITE_ROW;
            if (!m_pending) {
                const int rc = sqlite3_step(m_statement.get());
                if (rc != SQLITE_ROW)
                    return rc;
            }
            if (m_meeting) {
                const qint64 rowid
                    = sqlite3_value_int64(sqlite3_column_value(m_statement.get(), m_rows.columnCount() + 1));
                if (!(m_fromAbove ? m_meeting->takeHigh(rowid) : m_meeting->takeLow(rowid))) {
                    m_pending = true;
                    return Met;
                }
                m_lastTaken = rowid;
            }
            m_pending = false;
            readRow();
        }
        return SQLITE_ROW;
    }

    void readRow()
    {
        sqlite3_stmt* s = m_statement.get();
        // Each value is asked of the statement once: every sqlite3_column_*
        // call locks the connection. Through the value only its type, the
        // key's number and a UTF-8 file's stored text bytes are read: none
        // of them converts anything, and no other thread steps this
        // statement.
        sqlite3_value* key = sqlite3_column_value(s, 0);
        const int row = m_rows.appendRow(sqlite3_value_int64(key));
        switch (sqlite3_value_type(key)) {
        case SQLITE_INTEGER:
            break;
        case SQLITE_NULL:
            m_rows.setKeyProblem(row, RowSet::KeyProblem::Missing);
            break;
        default:
            m_rows.setKeyProblem(row, RowSet::KeyProblem::NotInteger);
            break;
        }
        const int columns = m_rows.columnCount();
        m_values.assign(std::size_t(columns), RowSet::Read {});
        for (int c = 1; c <= columns; ++c) {
            const char* bytes = nullptr;
            StoredType type = StoredType::Text;
            sqlite3_value* value = sqlite3_column_value(s, c);
            switch (sqlite3_value_type(value)) {
            case SQLITE_NULL:
                continue;
            case SQLITE_TEXT:
                if (m_utf8File) {
                    // In a UTF-8 file the stored bytes of a text are its UTF-8 form already.
                    bytes = static_cast<const char*>(sqlite3_value_blob(value));
                    m_values[std::size_t(c - 1)]
                        = { std::string_view(bytes ? bytes : "", std::size_t(sqlite3_value_bytes(value))), type };
                    continue;
                }
                bytes = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                break;
            case SQLITE_INTEGER:
                type = StoredType::Integer;
                bytes = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                break;
            case SQLITE_FLOAT: {
                const std::string real = realText(s, c);
                m_rows.setUtf8(row, c - 1, real, StoredType::Real);
                continue; // stays without a value below
            }
            default:
                // A blob's bytes as they are, whatever the file's text encoding.
                type = StoredType::Blob;
                bytes = static_cast<const char*>(sqlite3_column_blob(s, c));
                break;
            }
            const int size = sqlite3_column_bytes(s, c);
            m_values[std::size_t(c - 1)] = { std::string_view(bytes ? bytes : "", std::size_t(size)), type };
        }
        m_rows.setRead(row, m_values.data());
    }

    Statement m_statement;
    const bool m_utf8File;
    RowSet& m_rows;
    std::vector<RowSet::Read> m_values; // the row being taken, column by column
    bool m_pending = false; // a row stepped to and not yet taken
    ReadMeeting* m_meeting = nullptr;
    bool m_fromAbove = false;
    qint64 m_lastTaken = std::numeric_limits<qint64>::min();
};

// Reads the table in stored order. A big table is read by two readers that
// meet halfway (ReadMeeting): one from its first row number up, on the
// file's own connection, by whoever calls read(); the other from its last
// row number down, meanwhile, on a thread of its own over a second
// connection, into rows of its own, which follow the first reader's (turned
// the right way round) once they meet. The second begins while the first
// statement holds the file open for reading, so both see the same file:
// with the first screen's rows when the table is long. When the second
// connection cannot be had, the first reader reads every row.
class SqliteStore::Reader : public RowReader {
public:
    Reader(const SqliteStore& store, Statement first, bool utf8File, RowSet& rows)
        : m_store(store)
        , m_utf8File(utf8File)
        , m_rows(rows)
        , m_first(std::move(first), utf8File, rows)
    {
    }

    // Has a second reader meet the first (whose statement gives each row's
    // number after its values, in ascending order): opened at uri, its
    // statement sql gives the same in descending order, and holdSql finds
    // the last row without reading any of its values. early: the table
    // spans so many row numbers that the readers most likely meet past the
    // first screen's rows; otherwise the second reader begins once the
    // reading goes on in the background, unless the first is past the
    // middle row number by then (its few rows left are not worth a second
    // connection and a second set of text blocks).
    void meetHalfway(const QByteArray& uri, const QByteArray& sql, const QByteArray& holdSql, bool early, qint64 middle)
    {
        m_middle = middle;
        m_meeting = std::make_unique<ReadMeeting>();
        m_first.meet(*m_meeting, false);
        m_uri = uri;
        m_sql = sql;
        m_holdSql = holdSql;
        m_early = early;
    }

    ~Reader() override
    {
        cancel();
        if (m_helper.joinable())
            m_helper.join();
        m_hold.reset();
        if (m_secondDb)
            sqlite3_close_v2(m_secondDb);
    }

    void cancel() override { m_stop = true; }
    // Once the first reader is done, only the other thread reads: the join
    // waits, and the orders may have this core meanwhile.
    bool twoThreads() const override { return m_helper.joinable() && m_phase == Phase::First; }
    void readingInBackground() override { m_background = true; }

    bool read(int maxRows) override
    {
        switch (m_phase) {
        case Phase::First: {
            const int rc = m_first.read(maxRows);
            if (rc == SQLITE_ROW) {
                // Once the first statement holds the file: when the table is
                // longer than the first screen, the other reader reads while
                // the first screen's rows are.
                if (m_meeting && !m_triedSecond && (m_background || m_early)) {
                    m_triedSecond = true;
                    if (m_early || m_first.lastTaken() < m_middle)
                        startSecondReader();
                }
                return true;
            }
            if (rc != Stepper::Met)
                check(m_first, rc);
            m_met = rc == Stepper::Met;
            if (!m_helper.joinable() && !m_met) {
                m_phase = Phase::Done; // every row is the first reader's
                return false;
            }
            m_phase = Phase::Join;
            return true;
        }
        case Phase::Join:
            // The window's thread never waits for the other reader: the
            // joining is left to the reading in the background.
            if (!m_background)
                return true;
            if (m_helper.joinable())
                m_helper.join();
            if (m_error)
                std::rethrow_exception(m_error);
            if (m_meeting)
                m_meeting->settle();
            m_phase = m_met ? Phase::Between : Phase::Done;
            if (m_phase == Phase::Done)
                takeOtherRows();
            return m_phase != Phase::Done;
        case Phase::Between: {
            // The few rows both readers stopped short of.
            const int rc = m_first.read(maxRows);
            if (rc == SQLITE_ROW)
                return true;
            if (rc != Stepper::Met)
                check(m_first, rc);
            // Every row is read: the file is let go before the rows are joined.
            m_first.release();
            takeOtherRows();
            m_phase = Phase::Done;
            return false;
        }
        case Phase::Done:
            break;
        }
        return false;
    }

private:
    enum class Phase { First, Join, Between, Done };

    int check(const Stepper& stepper, int rc) const
    {
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            // Only the statement's own handle is looked at here: this may
            // run on another thread than the one that owns the connection.
            sqlite3* db = stepper.db();
            m_store.failOpen(QString::fromUtf8(sqlite3_errmsg(db)), failureOf(db));
        }
        return rc;
    }

    // The other reader's rows, last row number first, follow the first's.
    void takeOtherRows()
    {
        if (m_tail && !m_stop)
            m_rows.appendRowsOf(*m_tail, RowSet::Order::Reversed);
        m_tail.reset();
    }

    // Opens the second connection and, while the first statement holds the
    // file, makes it hold the file too: a statement that finds the last row
    // and reads none of its values (this may be the window's thread). Both
    // then see the file as it was. The other reader reads on a thread of its
    // own. Any failure leaves every row to the first reader.
    void startSecondReader()
    {
        sqlite3* db = nullptr;
        const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(m_uri.constData(), &db, flags, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db);
            return;
        }
        sqlite3_stmt* hold = nullptr;
        // No waiting for a lock: another program about to write keeps new
        // readers out, and the first reader reads every row either way.
        if (sqlite3_prepare_v2(db, m_holdSql.constData(), int(m_holdSql.size()), &hold, nullptr) != SQLITE_OK
            || sqlite3_step(hold) != SQLITE_ROW) {
            sqlite3_finalize(hold);
            sqlite3_close_v2(db);
            return;
        }
        m_secondDb = db;
        m_hold.reset(hold);
        m_tail = std::make_unique<RowSet>(m_rows.columnCount());
        m_helper = std::thread([this] { readFromAbove(); });
    }

    // On the second reader's thread, which has the second connection to
    // itself: its statement begins within the view the holding one keeps,
    // which then lets go. Null when it cannot: it then takes no row.
    std::unique_ptr<Stepper> beginSecondReader()
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_secondDb, m_sql.constData(), int(m_sql.size()), &statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement);
            m_hold.reset();
            return nullptr;
        }
        auto second = std::make_unique<Stepper>(Statement(statement, sqlite3_finalize), m_utf8File, *m_tail);
        const int rc = second->begin();
        m_hold.reset();
        if (rc != SQLITE_ROW)
            return nullptr;
        second->meet(*m_meeting, true);
        return second;
    }

    void readFromAbove()
    {
        background::yieldToWindow();
        std::unique_ptr<Stepper> second = beginSecondReader();
        if (!second)
            return;
        try {
            for (;;) {
                const int rc = second->read(1 << 14, &m_stop);
                if (rc == SQLITE_DONE || rc == Stepper::Met || m_stop)
                    break;
                check(*second, rc);
            }
        } catch (...) {
            m_error = std::current_exception();
        }
        // The second connection's statement is done with: let the file go.
        second.reset();
    }

    const SqliteStore& m_store;
    const bool m_utf8File;
    RowSet& m_rows;
    Stepper m_first;
    Phase m_phase = Phase::First;
    bool m_background = false;
    bool m_triedSecond = false;
    bool m_early = false;
    bool m_met = false; // the first reader stopped where the other's rows begin
    qint64 m_middle = 0;
    // The second reader as planned.
    std::unique_ptr<ReadMeeting> m_meeting;
    QByteArray m_uri;
    QByteArray m_sql;
    QByteArray m_holdSql;
    // The second reader at work.
    sqlite3* m_secondDb = nullptr;
    Statement m_hold { nullptr, sqlite3_finalize }; // until the second reader's statement holds the file
    std::unique_ptr<RowSet> m_tail;
    std::thread m_helper;
    std::atomic<bool> m_stop { false };
    std::exception_ptr m_error;
};

qint64 SqliteStore::splitReadBytes()
{
    return s_splitReadBytes;
}

void SqliteStore::setSplitReadBytes(qint64 bytes)
{
    s_splitReadBytes = bytes;
}

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
    auto pragma = [&](const char* name) {
        Statement statement = prepare(QString::fromLatin1(name));
        if (sqlite3_step(statement.get()) != SQLITE_ROW)
            failOpen(QString::fromUtf8(sqlite3_errmsg(db)));
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
    };
    const bool utf8File = pragma("PRAGMA encoding") == "UTF-8";
    const QString fromTable = QStringLiteral(" FROM ") + quoted(actualTable);
    const QString select = QStringLiteral("SELECT ") + columns.join(QLatin1Char(',')) + fromTable;
    rows.reset(int(fields.size()) - 1);

    // A big table is read by two readers, in the order of its row numbers,
    // which is the order a plain reading takes. Not in WAL mode, where a
    // writer may come between the two readers' views.
    const QString rowid = m_openParameters.contains(QLatin1String("immutable")) ? QString() : rowidName(actualTable);
    if (!rowid.isEmpty() && pragma("PRAGMA journal_mode").toLower() != "wal") {
        sqlite3_stmt* range = nullptr;
        // Two subqueries, each answered from the table's tree at once: one
        // query asking for both would read the whole table.
        const QByteArray sql = QStringLiteral("SELECT (SELECT min(%1) FROM %2), (SELECT max(%1) FROM %2)")
                                   .arg(rowid, quoted(actualTable))
                                   .toUtf8();
        qint64 low = 0, high = 0;
        bool found = false;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &range, nullptr) == SQLITE_OK
            && sqlite3_step(range) == SQLITE_ROW && sqlite3_column_type(range, 0) == SQLITE_INTEGER) {
            low = sqlite3_column_int64(range, 0);
            high = sqlite3_column_int64(range, 1);
            found = true;
        }
        sqlite3_finalize(range);
        const quint64 span = quint64(high) - quint64(low);
        const qint64 fileBytes = pragma("PRAGMA page_count").toLongLong() * pragma("PRAGMA page_size").toLongLong();
        if (found && span >= kMinSplitSpan && fileBytes >= splitReadBytes()) {
            // Each row's number follows its values.
            const QString numbered
                = QStringLiteral("SELECT ") + columns.join(QLatin1Char(',')) + QLatin1Char(',') + rowid + fromTable;
            Statement first = prepare(numbered + QStringLiteral(" ORDER BY %1").arg(rowid));
            const QString fromAbove = numbered + QStringLiteral(" ORDER BY %1 DESC").arg(rowid);
            const QString holdSql = QStringLiteral("SELECT 1 FROM %1 ORDER BY %2 DESC").arg(quoted(actualTable), rowid);
            QUrl uri = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
            uri.setQuery(QStringLiteral("mode=ro"));
            auto reader = std::make_unique<Reader>(*this, std::move(first), utf8File, rows);
            reader->meetHalfway(uri.toString(QUrl::FullyEncoded).toUtf8(), fromAbove.toUtf8(), holdSql.toUtf8(),
                span / 2 >= kEarlySplitSpan, qint64(quint64(low) + span / 2));
            return reader;
        }
    }
    return std::make_unique<Reader>(*this, prepare(select), utf8File, rows);
}

// A name for the table's row numbers that none of its columns takes; empty
// when there is none (or the table has no row numbers).
QString SqliteStore::rowidName(const QString& actualTable)
{
    QStringList taken;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(actualTable))))
        return {};
    while (query.next())
        taken << query.value(1).toString().toLower();
    for (const QString& name : { QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid") }) {
        if (!taken.contains(name))
            return name;
    }
    return {};
}

SqliteStore::Statement SqliteStore::prepareWrite(const QString& sql, const QString& what)
{
    sqlite3* db = handle();
    if (!db)
        failWrite(what, QStringLiteral("no SQLite handle"), Failure::Other);
    sqlite3_stmt* statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        failWrite(what, message, failureOf(db));
    }
    return Statement(statement, sqlite3_finalize);
}

// Runs a statement of a write's transaction to its end; on failure the
// error is taken first, then the transaction is rolled back (which would
// replace the error), then it is reported.
void SqliteStore::run(sqlite3_stmt* statement, const QString& what)
{
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW)
        return;
    sqlite3* db = handle();
    const int code = sqlite3_extended_errcode(db);
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_reset(statement);
    if (!sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    failWrite(what, message, failureOfCode(code));
}

void SqliteStore::run(const char* sql, const QString& what)
{
    Statement statement = prepareWrite(QString::fromLatin1(sql), what);
    run(statement.get(), what);
}

// Runs a prepared UPDATE or DELETE of one record in a transaction of its
// own and keeps it only when it touched exactly that record.
void SqliteStore::writeOneRecord(
    sqlite3_stmt* statement, qint64 key, const QString& keyField, const QString& what, Change change)
{
    sqlite3* db = handle();
    run("BEGIN IMMEDIATE", what);
    run(statement, what);
    const int affected = sqlite3_changes(db);
    if (affected != 1) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (affected == 0)
            throw DataError(rowNotFoundMessage(m_path, change));
        throw DataError(QStringLiteral("В файле «%1» значение ключа «%2» = %3 есть у нескольких записей (%4), "
                                       "поэтому изменить или удалить только эту запись нельзя. Файл не изменён.")
                            .arg(shownPath(), keyField, QString::number(key), QString::number(affected)));
    }
    run("COMMIT", what);
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
        where += QStringLiteral(" AND ") + sameAsStored(column, change.original);
    }

    const QString what = QStringLiteral("Не удалось записать изменения в файл «%1»");
    Statement statement = prepareWrite(QStringLiteral("UPDATE ") + quoted(actualTable) + QStringLiteral(" SET ")
            + assignments.join(QLatin1Char(',')) + QStringLiteral(" WHERE ") + where,
        what);
    int index = 1;
    for (const FieldChange& change : changes)
        bindText(statement.get(), index++, change.value);
    sqlite3_bind_int64(statement.get(), index++, key);
    for (const FieldChange& change : changes) {
        if (!change.original.null)
            bindStored(statement.get(), index++, change.original);
    }
    writeOneRecord(statement.get(), key, keyField, what, Change::Edit);
}

void SqliteStore::remove(
    const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals)
{
    const QString actualTable = tableName(table);
    QString where = quoted(columnName(table, keyField)) + QStringLiteral("=?");
    for (const FieldChange& original : originals)
        where += QStringLiteral(" AND ") + sameAsStored(quoted(columnName(table, original.field)), original.original);

    const QString what = QStringLiteral("Не удалось удалить запись в файле «%1»");
    Statement statement
        = prepareWrite(QStringLiteral("DELETE FROM ") + quoted(actualTable) + QStringLiteral(" WHERE ") + where, what);
    int index = 1;
    sqlite3_bind_int64(statement.get(), index++, key);
    for (const FieldChange& original : originals) {
        if (!original.original.null)
            bindStored(statement.get(), index++, original.original);
    }
    writeOneRecord(statement.get(), key, keyField, what, Change::Delete);
}
