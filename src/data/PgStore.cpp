#include "data/PgStore.h"

#include "data/DataError.h"
#include "data/DirectorySchema.h"
#include "data/RowSet.h"
#include "data/SocketWait.h"

#include <QDir>
#include <QMetaObject>
#include <QScopeGuard>

#include <libpq-fe.h>

#include <condition_variable>
#include <cstring>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::atomic<PgStore::LoadMethod> s_loadMethod { PgStore::LoadMethod::Copy };
std::atomic<int> s_connectSeconds { 10 };
std::atomic<int> s_statementMs { 15000 };
std::atomic<int> s_lockMs { 5000 };

// The type numbers of the server's integer and text types.
constexpr unsigned Int2 = 21, Int4 = 23, Int8 = 20, Text = 25, Varchar = 1043, Bpchar = 1042;

QString quotedName(const QString& identifier)
{
    QString result = identifier;
    result.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

QString sqlstateOf(const PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return QString::fromLatin1(state ? state : "");
}

QString serverMessage(const PGresult* result, PGconn* conn)
{
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString text = QString::fromUtf8(primary ? primary : (conn ? PQerrorMessage(conn) : "")).trimmed();
    return text;
}

bool connectionLost(const PGresult* result, PGconn* conn)
{
    const QString state = sqlstateOf(result);
    return !conn || PQstatus(conn) != CONNECTION_OK || state.startsWith(QLatin1String("08"))
        || state == QLatin1String("57P01") || state == QLatin1String("57P02") || state == QLatin1String("57P03");
}

struct Result {
    PGresult* r = nullptr;
    explicit Result(PGresult* result)
        : r(result)
    {
    }
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ExecStatusType status() const { return PQresultStatus(r); }
};

// Why libpq could not connect, in words for the user; libpq's own words
// follow in the message.
QString connectReason(const QString& libpqMessage, const QString& user)
{
    const QString m = libpqMessage.toLower();
    if (m.contains(QLatin1String("password")) || m.contains(QLatin1String("authentication failed")))
        return QStringLiteral("сервер не принял пользователя%1: пароль неверен или не указан. Пароль указывают в "
                              "файле паролей ~/.pgpass (или в файле, который называет переменная PGPASSFILE) либо в "
                              "переменной окружения PGPASSWORD")
            .arg(user.isEmpty() ? QString() : QStringLiteral(" «%1»").arg(user));
    if (m.contains(QLatin1String("could not translate host name")))
        return QStringLiteral("сервер с таким именем не найден (проверьте имя сервера в ссылке и сеть)");
    if (m.contains(QLatin1String("timeout expired")))
        return QStringLiteral("сервер не ответил за %1 с").arg(s_connectSeconds.load());
    if (m.contains(QLatin1String("database")) && m.contains(QLatin1String("does not exist")))
        return QStringLiteral("на сервере нет базы данных, названной в ссылке");
    if (m.contains(QLatin1String("role")) && m.contains(QLatin1String("does not exist")))
        return QStringLiteral("на сервере нет пользователя%1")
            .arg(user.isEmpty() ? QString() : QStringLiteral(" «%1»").arg(user));
    if (m.contains(QLatin1String("pg_hba.conf")))
        return QStringLiteral("сервер не разрешает этому пользователю подключаться к этой базе с этого компьютера%1")
            .arg(m.contains(QLatin1String("no encryption")) ? QStringLiteral(" без шифрования (TLS)") : QString());
    if (m.contains(QLatin1String("ssl")) || m.contains(QLatin1String("certificate")))
        return QStringLiteral("не удалось установить защищённое соединение (TLS)");
    if (m.contains(QLatin1String("invalid")) || m.contains(QLatin1String("unexpected")))
        return QStringLiteral("ссылка на сервер записана неверно");
    if (m.contains(QLatin1String("connection refused")) || m.contains(QLatin1String("no such file"))
        || m.contains(QLatin1String("could not connect")) || m.contains(QLatin1String("connection to server")))
        return QStringLiteral("сервер не отвечает: он не запущен или недоступен по сети");
    return QStringLiteral("подключиться не удалось");
}

// The text of one column of a result, or no value.
TextValue valueOf(const PGresult* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return std::nullopt;
    return QString::fromUtf8(PQgetvalue(result, row, column), PQgetlength(result, row, column));
}

// Said of every write that failed and may be tried again.
QString pendingNote()
{
    return QStringLiteral(" Изменения остались в таблице: повторите сохранение позже или нажмите Esc, чтобы отменить "
                          "правку.");
}

std::uint32_t bigEndian32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t(u[0]) << 24) | (std::uint32_t(u[1]) << 16) | (std::uint32_t(u[2]) << 8) | u[3];
}

} // namespace

void PgStore::setLoadMethod(LoadMethod method)
{
    s_loadMethod = method;
}

void PgStore::setTimeouts(int connectSeconds, int statementMs, int lockMs)
{
    s_lockMs = lockMs;
    s_connectSeconds = connectSeconds;
    s_statementMs = statementMs;
}

const char* PgStore::channel()
{
    return "sarwino_changes";
}

bool PgStore::isLink(const QByteArray& head)
{
    return head.startsWith("postgresql://") || head.startsWith("postgres://");
}

// Connection ---------------------------------------------------------------

PgStore::PgStore(const QByteArray& link, const QString& file)
    : m_link(QString::fromUtf8(link).trimmed())
    , m_linkBytes(m_link.toUtf8())
    , m_file(file)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(m_linkBytes.constData(), &error);
    if (!options) {
        const QString reason = QString::fromUtf8(error ? error : "").trimmed();
        PQfreemem(error);
        throw DataError(QStringLiteral("Ссылка на сервер PostgreSQL в файле «%1» записана неверно: %2")
                            .arg(QDir::toNativeSeparators(m_file), reason));
    }
    QString hosts, ports, database, password;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        const QString value = QString::fromUtf8(o->val ? o->val : "");
        const QByteArray keyword(o->keyword);
        if (keyword == "host" || (keyword == "hostaddr" && hosts.isEmpty()))
            hosts = value;
        else if (keyword == "port")
            ports = value;
        else if (keyword == "dbname")
            database = value;
        else if (keyword == "user")
            m_user = value;
        else if (keyword == "password")
            password = value;
        else if (keyword == "connect_timeout")
            m_hasConnectTimeout = !value.isEmpty();
        else if (!value.isEmpty() && (keyword.startsWith("keepalives") || keyword == "tcp_user_timeout"))
            m_hasTcpSettings = true;
    }
    PQconninfoFree(options);

    QStringList names;
    const QStringList hostList = hosts.split(QLatin1Char(','));
    const QStringList portList = ports.split(QLatin1Char(','));
    for (qsizetype i = 0; i < hostList.size(); ++i) {
        QString name = hostList[i].isEmpty() ? QStringLiteral("localhost") : hostList[i];
        const QString port = portList.size() == 1 ? portList[0] : portList.value(i);
        if (!port.isEmpty())
            name += QLatin1Char(':') + port;
        names << name;
    }
    m_serverName = names.join(QLatin1Char(','));
    if (!database.isEmpty())
        m_serverName += QLatin1Char('/') + database;

    if (!password.isEmpty()) {
        throw DataError(QStringLiteral("В ссылке на сервер PostgreSQL «%1» в файле «%2» записан пароль. Файл, "
                                       "лежащий рядом с общей программой, не должен хранить секретов, поэтому "
                                       "справочник не подключается. Уберите пароль из ссылки и укажите его в файле "
                                       "паролей ~/.pgpass (или в файле, который называет переменная PGPASSFILE) "
                                       "либо в переменной окружения PGPASSWORD.")
                            .arg(m_serverName, QDir::toNativeSeparators(m_file)));
    }
    m_conn = connectOrThrow();
    m_backendPid = PQbackendPID(m_conn);
}

PgStore::~PgStore()
{
    m_listener.reset();
    if (m_conn)
        PQfinish(m_conn);
}

QString PgStore::connectFailure(const QString& reason, const QString& libpqMessage) const
{
    QString message
        = QStringLiteral("Не удаётся подключиться к серверу PostgreSQL «%1»: %2.").arg(m_serverName, reason);
    if (!libpqMessage.isEmpty())
        message += QStringLiteral("\nСообщение сервера: %1").arg(libpqMessage);
    message += QStringLiteral("\nСсылка на сервер записана в файле «%1».").arg(QDir::toNativeSeparators(m_file));
    return message;
}

PGconn* PgStore::connectOrThrow() const
{
    const QByteArray timeout = QByteArray::number(s_connectSeconds.load());
    // Later keywords override what the link says: the texts always come as
    // UTF-8, and a link without a timeout gets one. A link that says nothing
    // of TCP gets keepalives and a limit on unanswered data, so a network
    // that goes silent in the middle of a write ends the call within about
    // twenty seconds instead of whenever the system gives up.
    std::vector<const char*> keys = { "dbname", "client_encoding", "fallback_application_name" };
    std::vector<const char*> values = { m_linkBytes.constData(), "UTF8", "sarwino" };
    if (!m_hasConnectTimeout) {
        keys.push_back("connect_timeout");
        values.push_back(timeout.constData());
    }
    if (!m_hasTcpSettings) {
        for (const auto& [key, value] : { std::pair { "keepalives", "1" }, { "keepalives_idle", "10" },
                 { "keepalives_interval", "3" }, { "keepalives_count", "3" }, { "tcp_user_timeout", "20000" } }) {
            keys.push_back(key);
            values.push_back(value);
        }
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!conn)
        throw DataError(connectFailure(QStringLiteral("не хватает памяти"), QString()));
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString libpq = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        PQfinish(conn);
        throw DataError(connectFailure(connectReason(libpq, m_user), libpq));
    }
    // The server's notices (a warning, the word that it shuts down) are not
    // for the user's terminal; what matters comes with the failing call.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    prepareSession(conn);
    return conn;
}

// A lock held by someone else is waited for five seconds; nothing else may
// keep the window waiting longer than the statement time.
void PgStore::prepareSession(PGconn* conn) const
{
    const QByteArray sql = "SET lock_timeout = " + QByteArray::number(s_lockMs.load())
        + "; SET statement_timeout = " + QByteArray::number(s_statementMs.load());
    Result set(PQexec(conn, sql.constData()));
    if (set.status() != PGRES_COMMAND_OK)
        throw DataError(
            connectFailure(QStringLiteral("сервер отказал в настройке соединения"), serverMessage(set.r, conn)));
}

// Before a write: a connection the server dropped is made anew.
void PgStore::ensureConnected()
{
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        return;
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    try {
        m_conn = connectWaiting();
    } catch (const DataError& e) {
        throw DataError(e.message()
            + QStringLiteral("\nИзменения не сохранены и остались в таблице: повторите сохранение позже или нажмите "
                             "Esc, чтобы отменить правку."));
    }
    m_backendPid = PQbackendPID(m_conn);
}

// Connects on a thread of its own while the window's thread waits through
// the socket wait hook, so the window keeps painting. libpq's own blocking
// connect does the work there: it gives each host of the link its
// connect_timeout and moves on to the next, which its polling interface
// leaves to the caller (and it may block in a name lookup).
PGconn* PgStore::connectWaiting() const
{
    struct Attempt {
        PGconn* conn = nullptr;
        QString error;
        int done = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ~Attempt() { ::close(done); }
    };
    Attempt attempt;
    if (attempt.done < 0)
        return connectOrThrow();
    std::thread worker([this, &attempt] {
        try {
            attempt.conn = connectOrThrow();
        } catch (const DataError& e) {
            attempt.error = e.message();
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(attempt.done, &one, sizeof one);
    });
    // The worker ends by itself within libpq's timeouts; the deadline only
    // spaces the looks.
    pollfd p { attempt.done, POLLIN, 0 };
    while (::poll(&p, 1, 0) == 0)
        socketwait::wait(attempt.done, socketwait::Direction::Read,
            socketwait::Clock::now() + std::chrono::seconds(s_connectSeconds.load()));
    worker.join();
    if (!attempt.conn)
        throw DataError(attempt.error);
    return attempt.conn;
}

// The table ----------------------------------------------------------------

QString PgStore::quotedTable() const
{
    return quotedName(m_table);
}

void PgStore::resolve(const QString& table, const QStringList& fields)
{
    if (!m_table.isEmpty() && m_table.toLower() == table.toLower() && m_fields == fields)
        return;
    ensureConnected();
    auto fail = [&](const PGresult* r) {
        throw DataError(QStringLiteral("Не удаётся прочитать справочник на сервере PostgreSQL «%1»: %2")
                            .arg(m_serverName, serverMessage(r, m_conn)));
    };
    Result tables(PQexec(m_conn,
        "SELECT c.oid, c.relname FROM pg_catalog.pg_class c WHERE c.relkind IN ('r', 'p') "
        "AND pg_catalog.pg_table_is_visible(c.oid)"));
    if (tables.status() != PGRES_TUPLES_OK)
        fail(tables.r);
    QString found;
    QByteArray oid;
    for (int i = 0; i < PQntuples(tables.r); ++i) {
        const QString name = QString::fromUtf8(PQgetvalue(tables.r, i, 1));
        if (name.toLower() == table.toLower()) {
            found = name;
            oid = PQgetvalue(tables.r, i, 0);
        }
    }
    if (found.isEmpty())
        throw DataError(QStringLiteral("На сервере PostgreSQL «%1» нет таблицы «%2». Перенесите справочник на сервер "
                                       "программой sarwino-convert.")
                            .arg(m_serverName, table));

    const char* params[] = { oid.constData() };
    Result columns(PQexecParams(m_conn,
        "SELECT attname, atttypid::int8, pg_catalog.format_type(atttypid, atttypmod) FROM pg_catalog.pg_attribute "
        "WHERE attrelid = $1::oid AND attnum > 0 AND NOT attisdropped",
        1, nullptr, params, nullptr, nullptr, 0));
    if (columns.status() != PGRES_TUPLES_OK)
        fail(columns.r);
    QStringList names;
    for (qsizetype f = 0; f < fields.size(); ++f) {
        int at = -1;
        for (int i = 0; i < PQntuples(columns.r) && at < 0; ++i) {
            if (sameFieldName(QString::fromUtf8(PQgetvalue(columns.r, i, 0)), fields[f]))
                at = i;
        }
        if (at < 0)
            throw DataError(fieldNotFoundMessage(fields[f])
                + QStringLiteral(".\nСервер PostgreSQL: «%1», таблица «%2».").arg(m_serverName, found));
        const unsigned type = unsigned(QByteArray(PQgetvalue(columns.r, at, 1)).toULongLong());
        const bool fits = f == 0 ? (type == Int2 || type == Int4 || type == Int8)
                                 : (type == Text || type == Varchar || type == Bpchar);
        if (!fits) {
            throw DataError(QStringLiteral("Поле «%1» таблицы «%2» на сервере PostgreSQL «%3» имеет тип %4, а "
                                           "справочнику нужно %5.")
                                .arg(fields[f], found, m_serverName, QString::fromUtf8(PQgetvalue(columns.r, at, 2)),
                                    f == 0 ? QStringLiteral("целое число") : QStringLiteral("текст (varchar)")));
        }
        names << QString::fromUtf8(PQgetvalue(columns.r, at, 0));
    }
    m_table = found;
    m_tableOid = oid;
    m_fields = fields;
    m_columns = names;
}

// An account without the right to change the table, or a server that only
// reads (a standby), opens the directory for reading.
QString PgStore::findReadOnlyReason()
{
    const char* params[] = { m_tableOid.constData() };
    Result r(PQexecParams(m_conn,
        "SELECT pg_catalog.pg_is_in_recovery(), pg_catalog.current_setting('transaction_read_only') = 'on', "
        "pg_catalog.has_table_privilege($1::oid, 'UPDATE') AND pg_catalog.has_table_privilege($1::oid, 'DELETE')",
        1, nullptr, params, nullptr, nullptr, 0));
    if (r.status() != PGRES_TUPLES_OK || PQntuples(r.r) != 1)
        return {};
    const auto yes = [&](int column) { return PQgetvalue(r.r, 0, column)[0] == 't'; };
    if (yes(0) || yes(1))
        return QStringLiteral("Сервер PostgreSQL «%1» работает только на чтение (это резервная копия или сервер, "
                              "закрытый для изменений), поэтому изменить или удалить запись нельзя.")
            .arg(m_serverName);
    if (!yes(2))
        return QStringLiteral("Пользователь «%1» на сервере PostgreSQL «%2» может только читать справочник, поэтому "
                              "изменить или удалить запись нельзя. Чтобы править справочник, подключайтесь под "
                              "учётной записью, которой разрешены изменения.")
            .arg(QString::fromUtf8(PQuser(m_conn)), m_serverName);
    return {};
}

// Reading ------------------------------------------------------------------

// Reads the whole table on one connection: COPY … TO STDOUT in binary, or a
// SELECT in single-row mode. Measured at 1,000,000 records on a local server
// (bench/bench_pgstore, a shared two-core machine): the first screen took
// 77 ms with COPY against 84–108 ms in single-row mode (which makes a result
// object per row), the whole table 3.1–3.9 s against 3.1–4.2 s. COPY is
// never the slower one and parses plain bytes, so it is the default.
class PgStore::Reader : public RowReader {
public:
    Reader(PGconn* conn, const QString& serverName, RowSet& rows, std::function<void()> onAbandoned)
        : m_conn(conn)
        , m_serverName(serverName)
        , m_rows(rows)
        , m_onAbandoned(std::move(onAbandoned))
    {
    }
    ~Reader() override
    {
        // Left in the middle (the program closing): the connection is
        // dropped rather than read to its end.
        if (!m_done && m_onAbandoned)
            m_onAbandoned();
    }

    void start(const QString& table, const QStringList& columns)
    {
        QStringList quotedColumns;
        for (const QString& c : columns)
            quotedColumns << quotedName(c);
        m_copy = s_loadMethod == LoadMethod::Copy;
        const QByteArray sql = m_copy
            ? (QStringLiteral("COPY %1 (%2) TO STDOUT (FORMAT binary)")
                    .arg(quotedName(table), quotedColumns.join(u','))
                    .toUtf8())
            : (QStringLiteral("SELECT %2 FROM %1").arg(quotedName(table), quotedColumns.join(u',')).toUtf8());
        // The reading has no time limit as a whole, only a pause in it has.
        Result off(PQexec(m_conn, "SET statement_timeout = 0"));
        if (!PQsendQuery(m_conn, sql.constData()))
            fail(nullptr);
        if (!m_copy)
            PQsetSingleRowMode(m_conn);
    }

    bool read(int maxRows) override
    {
        if (m_done)
            return false;
        const int end = m_rows.rowCount() + maxRows;
        while (m_rowsAppended < end) {
            if (m_copy ? !copyRow() : !singleRow()) {
                finish();
                return false;
            }
        }
        return true;
    }

private:
    // Waits for more from the server, at most the statement time.
    void waitForData()
    {
        pollfd p { PQsocket(m_conn), POLLIN, 0 };
        const int ready = ::poll(&p, 1, s_statementMs.load());
        if (ready == 0) {
            if (PGcancel* cancel = PQgetCancel(m_conn)) {
                char buffer[256];
                PQcancel(cancel, buffer, sizeof buffer);
                PQfreeCancel(cancel);
            }
            throw DataError(QStringLiteral("Сервер PostgreSQL «%1» перестал передавать справочник: за %2 с не пришло "
                                           "ни одной записи. Прочитанные записи показаны; запустите справочник "
                                           "позже, чтобы прочитать остальные.")
                                .arg(m_serverName)
                                .arg(s_statementMs.load() / 1000));
        }
        if (!PQconsumeInput(m_conn))
            fail(nullptr);
    }

    bool copyRow()
    {
        if (!m_copyStarted) {
            while (PQisBusy(m_conn))
                waitForData();
            Result r(PQgetResult(m_conn));
            if (r.status() != PGRES_COPY_OUT)
                fail(r.r);
            m_copyStarted = true;
        }
        char* buffer = nullptr;
        int size = 0;
        while ((size = PQgetCopyData(m_conn, &buffer, 1)) == 0)
            waitForData();
        if (size == -1)
            return false;
        if (size < 0)
            fail(nullptr);
        const bool more = parseCopy(buffer, std::size_t(size));
        PQfreemem(buffer);
        return more;
    }

    // One message of the binary COPY: the header before the first row, then
    // a row, or the end mark.
    bool parseCopy(const char* p, std::size_t size)
    {
        const char* end = p + size;
        auto need = [&](std::size_t n) {
            if (std::size_t(end - p) < n)
                throw DataError(
                    QStringLiteral("Сервер PostgreSQL «%1» прислал справочник в неожиданном виде.").arg(m_serverName));
        };
        if (!m_headerSeen) {
            need(19);
            if (std::memcmp(p, "PGCOPY\n\377\r\n\0", 11) != 0)
                need(std::size_t(-1));
            const std::uint32_t extension = bigEndian32(p + 15);
            p += 19;
            need(extension);
            p += extension;
            m_headerSeen = true;
        }
        while (p < end) {
            need(2);
            const auto fields = std::int16_t((std::uint8_t(p[0]) << 8) | std::uint8_t(p[1]));
            p += 2;
            if (fields == -1)
                return true; // the end mark; the end of the COPY follows
            int row = -1;
            for (int f = 0; f < fields; ++f) {
                need(4);
                const auto length = std::int32_t(bigEndian32(p));
                p += 4;
                if (length < 0) {
                    if (f == 0)
                        row = m_rows.appendRow(0);
                    continue;
                }
                need(std::size_t(length));
                if (f == 0) {
                    qint64 key = 0;
                    for (int i = 0; i < length; ++i)
                        key = (key << 8) | std::uint8_t(p[i]);
                    if (length < 8 && length > 0 && (std::uint8_t(p[0]) & 0x80)) // negative
                        key -= qint64(1) << (8 * length);
                    row = m_rows.appendRow(key);
                } else {
                    m_rows.setUtf8(row, f - 1, std::string_view(p, std::size_t(length)));
                }
                p += length;
            }
            ++m_rowsAppended;
        }
        return true;
    }

    bool singleRow()
    {
        while (PQisBusy(m_conn))
            waitForData();
        Result r(PQgetResult(m_conn));
        if (!r.r)
            return false;
        if (r.status() == PGRES_TUPLES_OK)
            return true; // the end; the null result follows
        if (r.status() != PGRES_SINGLE_TUPLE)
            fail(r.r);
        const int row = m_rows.appendRow(QByteArray(PQgetvalue(r.r, 0, 0)).toLongLong());
        for (int c = 1; c < PQnfields(r.r); ++c) {
            if (!PQgetisnull(r.r, 0, c))
                m_rows.setUtf8(
                    row, c - 1, std::string_view(PQgetvalue(r.r, 0, c), std::size_t(PQgetlength(r.r, 0, c))));
        }
        ++m_rowsAppended;
        return true;
    }

    void finish()
    {
        for (;;) {
            while (PQisBusy(m_conn))
                waitForData();
            Result r(PQgetResult(m_conn));
            if (!r.r)
                break;
            if (r.status() != PGRES_COMMAND_OK && r.status() != PGRES_TUPLES_OK)
                fail(r.r);
        }
        m_done = true;
        const QByteArray sql = "SET statement_timeout = " + QByteArray::number(s_statementMs.load());
        Result back(PQexec(m_conn, sql.constData()));
    }

    [[noreturn]] void fail(const PGresult* result)
    {
        if (connectionLost(result, m_conn))
            throw DataError(QStringLiteral("Связь с сервером PostgreSQL «%1» прервалась, пока читался справочник: "
                                           "%2. Прочитанные записи показаны; запустите справочник снова, чтобы "
                                           "прочитать остальные.")
                                .arg(m_serverName, serverMessage(result, m_conn)));
        throw DataError(QStringLiteral("Не удаётся прочитать справочник на сервере PostgreSQL «%1»: %2")
                            .arg(m_serverName, serverMessage(result, m_conn)));
    }

    PGconn* m_conn;
    const QString m_serverName;
    RowSet& m_rows;
    std::function<void()> m_onAbandoned;
    bool m_copy = true;
    bool m_headerSeen = false;
    bool m_copyStarted = false;
    bool m_done = false;
    int m_rowsAppended = 0;

public:
    int firstRow = 0;
};

std::unique_ptr<RowReader> PgStore::openReader(const QString& table, const QStringList& fields, RowSet& rows)
{
    resolve(table, fields);
    m_readOnlyReason = findReadOnlyReason();
    // Listening starts before the reading, so no change made meanwhile is
    // missed; a listener that cannot connect yet catches up once it does.
    startListener();

    rows.reset(int(fields.size()) - 1);
    auto reader = std::make_unique<Reader>(m_conn, m_serverName, rows, [this] {
        PQfinish(m_conn);
        m_conn = nullptr;
    });
    reader->start(m_table, m_columns);
    return reader;
}

// Writing ------------------------------------------------------------------

void PgStore::failWrite(PGresult* result, const QString& what)
{
    const QString state = sqlstateOf(result);
    const QString server = serverMessage(result, m_conn);
    const QString pending = pendingNote();
    if (connectionLost(result, m_conn))
        failLost(server);
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
        throw DataError(QStringLiteral("Эту запись на сервере PostgreSQL «%1» сейчас изменяет другой пользователь, и "
                                       "изменения не сохранены.")
                            .arg(m_serverName)
            + pending);
    if (state == QLatin1String("57014"))
        throw DataError(QStringLiteral("Сервер PostgreSQL «%1» не успел сохранить изменения за %2 с.")
                            .arg(m_serverName)
                            .arg(s_statementMs.load() / 1000)
            + pending);
    if (state == QLatin1String("22001"))
        throw DataError(QStringLiteral("Сервер PostgreSQL «%1» не принял изменения: значение длиннее, чем вмещает "
                                       "поле (%2). Запись не изменена.")
                            .arg(m_serverName, server));
    if (state == QLatin1String("42501"))
        throw DataError(QStringLiteral("Пользователю «%1» на сервере PostgreSQL «%2» не разрешено изменять "
                                       "справочник: учётная запись только для чтения. Запись не изменена.")
                            .arg(QString::fromUtf8(PQuser(m_conn)), m_serverName));
    if (state == QLatin1String("25006"))
        throw DataError(
            QStringLiteral("Сервер PostgreSQL «%1» работает только на чтение. Запись не изменена.").arg(m_serverName));
    throw DataError(what.arg(m_serverName) + QStringLiteral(": ") + server);
}

// One write at a time: the window's events run while a write waits for the
// server, and none of them may start another on the same connection.
void PgStore::beginWrite()
{
    if (m_writing)
        throw DataError(QStringLiteral("Предыдущие изменения ещё сохраняются на сервере PostgreSQL «%1»; повторите "
                                       "сохранение, когда они будут сохранены.")
                            .arg(m_serverName));
    m_writing = true;
}

// The connection is gone: the next write connects anew.
void PgStore::failLost(const QString& reason)
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    throw DataError(QStringLiteral("Связь с сервером PostgreSQL «%1» потеряна, и изменения не сохранены (%2).")
                        .arg(m_serverName, reason)
        + pendingNote() + QStringLiteral(" При следующей попытке программа подключится заново."));
}

// One statement of a write, sent without blocking: the window's thread waits
// for the answer through the socket wait hook, so the window keeps painting
// meanwhile. The server ends the statement itself after the statement time
// (a row lock after the lock time); one silent well beyond that is taken for
// gone. The result, or none when the connection failed.
PGresult* PgStore::execWaiting(const char* sql, const std::vector<const char*>& params)
{
    constexpr int kSilenceMarginMs = 5000;
    const auto deadline = socketwait::Clock::now() + std::chrono::milliseconds(s_statementMs.load() + kSilenceMarginMs);
    const int socket = PQsocket(m_conn);
    PQsetnonblocking(m_conn, 1);
    const auto blocking = qScopeGuard([this] {
        if (m_conn)
            PQsetnonblocking(m_conn, 0);
    });
    const auto waitFor = [&](socketwait::Direction direction) {
        if (socketwait::Clock::now() >= deadline)
            failLost(QStringLiteral("сервер не ответил за %1 с").arg((s_statementMs.load() + kSilenceMarginMs) / 1000));
        socketwait::wait(socket, direction, deadline);
    };
    if (!PQsendQueryParams(m_conn, sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0))
        return nullptr;
    for (int unsent; (unsent = PQflush(m_conn)) != 0;) {
        if (unsent < 0)
            return nullptr;
        waitFor(socketwait::Direction::Write);
        if (!PQconsumeInput(m_conn))
            return nullptr;
    }
    std::unique_ptr<PGresult, decltype(&PQclear)> first(nullptr, &PQclear);
    for (;;) {
        if (!PQconsumeInput(m_conn))
            return nullptr;
        if (PQisBusy(m_conn)) {
            waitFor(socketwait::Direction::Read);
            continue;
        }
        PGresult* next = PQgetResult(m_conn);
        if (!next)
            return first.release();
        if (first)
            PQclear(next);
        else
            first.reset(next);
    }
}

// Runs one UPDATE or DELETE in a transaction of its own and keeps it only
// when it touched exactly one record.
void PgStore::runWrite(const QByteArray& sql, const std::vector<TextValue>& values, const QString& what)
{
    beginWrite();
    const auto done = qScopeGuard([this] { m_writing = false; });
    ensureConnected();
    std::vector<QByteArray> bytes;
    bytes.reserve(values.size());
    std::vector<const char*> params;
    for (const TextValue& value : values) {
        bytes.push_back(value ? value->toUtf8() : QByteArray());
        params.push_back(value ? bytes.back().constData() : nullptr);
    }
    {
        Result begin(execWaiting("BEGIN"));
        if (begin.status() != PGRES_COMMAND_OK)
            failWrite(begin.r, what);
    }
    Result r(execWaiting(sql.constData(), params));
    if (r.status() != PGRES_COMMAND_OK) {
        if (!connectionLost(r.r, m_conn))
            Result rollback(execWaiting("ROLLBACK"));
        failWrite(r.r, what);
    }
    const int affected = std::atoi(PQcmdTuples(r.r));
    if (affected != 1) {
        Result rollback(execWaiting("ROLLBACK"));
        if (affected == 0)
            throw DataError(QStringLiteral("Изменения не сохранены: запись на сервере PostgreSQL «%1» изменена или "
                                           "удалена другим пользователем после того, как справочник её прочитал. "
                                           "Нажмите Esc, чтобы отменить правку.")
                                .arg(m_serverName));
        throw DataError(QStringLiteral("На сервере PostgreSQL «%1» этим ключом помечены несколько записей (%2), "
                                       "поэтому изменить только одну нельзя. Справочник не изменён.")
                            .arg(m_serverName)
                            .arg(affected));
    }
    Result commit(execWaiting("COMMIT"));
    if (commit.status() != PGRES_COMMAND_OK)
        failWrite(commit.r, what);
}

QString PgStore::quotedColumn(const QString& field) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (sameFieldName(m_fields[i], field))
            return quotedName(m_columns[i]);
    }
    throw DataError(fieldNotFoundMessage(field));
}

namespace {

// The condition that a column holds exactly the value read: no value, or
// the same text (equality of the server's deterministic collations is
// equality of the bytes).
QString sameAsRead(const QString& column, const StoredValue& value, std::vector<TextValue>& params)
{
    if (value.null)
        return column + QStringLiteral(" IS NULL");
    params.push_back(QString::fromUtf8(value.bytes.data(), qsizetype(value.bytes.size())));
    return QStringLiteral("%1 = $%2").arg(column).arg(params.size());
}

} // namespace

void PgStore::update(const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& changes)
{
    if (changes.empty())
        return;
    Q_UNUSED(table);
    std::vector<TextValue> params;
    QStringList assignments;
    for (const FieldChange& change : changes) {
        params.push_back(change.value);
        assignments << QStringLiteral("%1 = $%2").arg(quotedColumn(change.field)).arg(params.size());
    }
    params.push_back(QString::number(key));
    QString where = QStringLiteral("%1 = $%2").arg(quotedColumn(keyField)).arg(params.size());
    for (const FieldChange& change : changes)
        where += QStringLiteral(" AND ") + sameAsRead(quotedColumn(change.field), change.original, params);
    runWrite((QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(quotedTable(), assignments.join(u','), where)).toUtf8(),
        params, QStringLiteral("Не удалось записать изменения на сервер PostgreSQL «%1»"));
}

void PgStore::remove(
    const QString& table, const QString& keyField, qint64 key, const std::vector<FieldChange>& originals)
{
    Q_UNUSED(table);
    std::vector<TextValue> params { QString::number(key) };
    QString where = quotedColumn(keyField) + QStringLiteral(" = $1");
    for (const FieldChange& original : originals)
        where += QStringLiteral(" AND ") + sameAsRead(quotedColumn(original.field), original.original, params);
    runWrite((QStringLiteral("DELETE FROM %1 WHERE %2").arg(quotedTable(), where)).toUtf8(), params,
        QStringLiteral("Не удалось удалить запись на сервере PostgreSQL «%1»"));
}

// Live changes -------------------------------------------------------------

QByteArray PgStore::createTableSql()
{
    QStringList columns;
    for (const schema::Field& f : schema::Fields) {
        const QString name = quotedName(QString::fromUtf8(f.name.data(), qsizetype(f.name.size())));
        columns << name
                + (f.key ? QStringLiteral(" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                         : QStringLiteral(" varchar(%1)").arg(f.size));
    }
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quotedName(directoryTableName()), columns.join(QStringLiteral(", ")))
        .toUtf8();
}

QByteArray PgStore::notifyTriggerSql(const QString& table, const QString& keyField)
{
    // The payload is the kind of change (I, U, D) and the key; a statement
    // that empties the table says T.
    const QString function = quotedName(table + QStringLiteral("_notify"));
    const QString key = quotedName(keyField);
    return QStringLiteral(
        "CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
        "BEGIN\n"
        "  IF TG_LEVEL = 'STATEMENT' THEN\n"
        "    PERFORM pg_notify('%4', 'T');\n"
        "  ELSIF TG_OP = 'INSERT' THEN\n"
        "    PERFORM pg_notify('%4', 'I' || NEW.%3);\n"
        "  ELSIF TG_OP = 'DELETE' THEN\n"
        "    PERFORM pg_notify('%4', 'D' || OLD.%3);\n"
        "  ELSE\n"
        "    IF NEW.%3 IS DISTINCT FROM OLD.%3 THEN PERFORM pg_notify('%4', 'D' || OLD.%3); END IF;\n"
        "    PERFORM pg_notify('%4', 'U' || NEW.%3);\n"
        "  END IF;\n"
        "  RETURN NULL;\n"
        "END\n"
        "$body$;\n"
        "CREATE OR REPLACE TRIGGER %5 AFTER INSERT OR UPDATE OR DELETE ON %2 FOR EACH ROW EXECUTE FUNCTION %1();\n"
        "CREATE OR REPLACE TRIGGER %6 AFTER TRUNCATE ON %2 FOR EACH STATEMENT EXECUTE FUNCTION %1();\n")
        .arg(function, quotedName(table), key, QString::fromLatin1(channel()),
            quotedName(table + QStringLiteral("_changes")), quotedName(table + QStringLiteral("_emptied")))
        .toUtf8();
}

// On a thread of its own and a connection of its own: LISTENs, fetches the
// records named in the notifications and posts them to the store's thread.
// A connection lost is made anew, and the whole table is read again then,
// since changes may have been missed meanwhile.
class PgStore::Listener {
public:
    explicit Listener(PgStore& store)
        : m_store(store)
        , m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
        , m_table(store.m_table)
        , m_columns(store.m_columns)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~Listener()
    {
        m_stop = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
        m_thread.join();
        ::close(m_wake);
    }

    // Waits until the listener listens, at most ms; false when it does not
    // yet (it then catches up once it does).
    bool waitListening(int ms)
    {
        std::unique_lock lock(m_mutex);
        if (!m_listened.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_listening || m_failed; })
            || !m_listening) {
            m_catchUp = true;
            return false;
        }
        return true;
    }

    void setCallback(std::function<void(RemoteChanges)> callback)
    {
        m_callback = std::move(callback);
        if (!m_callback)
            return;
        std::vector<RemoteChanges> queued;
        queued.swap(m_undelivered);
        for (RemoteChanges& changes : queued)
            m_callback(std::move(changes));
    }

private:
    void run()
    {
        bool missed = false;
        while (!m_stop) {
            PGconn* conn = nullptr;
            try {
                conn = m_store.connectOrThrow();
            } catch (const DataError&) {
                {
                    std::lock_guard lock(m_mutex);
                    m_failed = true;
                }
                m_listened.notify_all();
                missed = true;
                sleepOrStop(1000);
                continue;
            }
            const QByteArray listenSql = QByteArrayLiteral("LISTEN ") + channel();
            Result r(PQexec(conn, listenSql.constData()));
            if (r.status() == PGRES_COMMAND_OK) {
                bool catchUp = missed;
                {
                    std::lock_guard lock(m_mutex);
                    m_listening = true;
                    catchUp = catchUp || m_catchUp;
                }
                m_listened.notify_all();
                if (!catchUp || readAll(conn))
                    listen(conn);
            }
            PQfinish(conn);
            missed = true;
            if (!m_stop)
                sleepOrStop(200);
        }
    }

    void sleepOrStop(int ms)
    {
        pollfd p { m_wake, POLLIN, 0 };
        ::poll(&p, 1, ms);
    }

    // Until the connection is lost or the store stops.
    void listen(PGconn* conn)
    {
        const int socket = PQsocket(conn);
        while (!m_stop) {
            pollfd p[2] = { { socket, POLLIN, 0 }, { m_wake, POLLIN, 0 } };
            if (::poll(p, 2, -1) < 0 && errno != EINTR)
                return;
            if (m_stop)
                return;
            if (!PQconsumeInput(conn))
                return;
            std::set<qint64> keys;
            bool everything = false;
            while (PGnotify* n = PQnotifies(conn)) {
                if (n->be_pid != m_store.m_backendPid) {
                    const char kind = n->extra[0];
                    if (kind == 'T')
                        everything = true;
                    else if (kind)
                        keys.insert(QByteArray(n->extra + 1).toLongLong());
                }
                PQfreemem(n);
            }
            if (everything) {
                if (!readAll(conn))
                    return;
            } else if (!keys.empty() && !fetch(conn, keys)) {
                return;
            }
            if (PQstatus(conn) != CONNECTION_OK)
                return;
        }
    }

    bool fetch(PGconn* conn, const std::set<qint64>& keys)
    {
        QByteArray array = "{";
        for (qint64 key : keys)
            array += QByteArray::number(key) + ',';
        array[array.size() - 1] = '}';
        QStringList columns;
        for (const QString& c : m_columns)
            columns << quotedName(c);
        const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ANY($1::int8[])")
                                   .arg(columns.join(u','), quotedName(m_table), quotedName(m_columns.front()))
                                   .toUtf8();
        const char* params[] = { array.constData() };
        Result r(PQexecParams(conn, sql.constData(), 1, nullptr, params, nullptr, nullptr, 0));
        if (r.status() != PGRES_TUPLES_OK)
            return false;
        RemoteChanges changes;
        std::set<qint64> missing = keys;
        for (int i = 0; i < PQntuples(r.r); ++i) {
            RemoteRecord record;
            record.key = QByteArray(PQgetvalue(r.r, i, 0)).toLongLong();
            for (int c = 1; c < PQnfields(r.r); ++c)
                record.values.push_back(valueOf(r.r, i, c));
            missing.erase(record.key);
            changes.records.push_back(std::move(record));
        }
        for (qint64 key : missing)
            changes.records.push_back({ key, true, {} });
        post(std::move(changes));
        return true;
    }

    bool readAll(PGconn* conn)
    {
        auto rows = std::make_shared<RowSet>(int(m_columns.size()) - 1);
        try {
            Reader reader(conn, m_store.m_serverName, *rows, nullptr);
            reader.start(m_table, m_columns);
            while (!m_stop && reader.read(1 << 16)) { }
        } catch (const DataError&) {
            return false;
        }
        if (m_stop)
            return false;
        RemoteChanges changes;
        changes.all = std::move(rows);
        post(std::move(changes));
        return true;
    }

    void post(RemoteChanges changes)
    {
        auto shared = std::make_shared<RemoteChanges>(std::move(changes));
        QMetaObject::invokeMethod(
            &m_store.m_context,
            [this, shared] {
                if (m_callback)
                    m_callback(std::move(*shared));
                else
                    m_undelivered.push_back(std::move(*shared));
            },
            Qt::QueuedConnection);
    }

    PgStore& m_store;
    const int m_wake;
    const QString m_table;
    const QStringList m_columns;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::mutex m_mutex;
    std::condition_variable m_listened;
    bool m_listening = false;
    bool m_failed = false;
    bool m_catchUp = false;
    // On the store's thread only.
    std::function<void(RemoteChanges)> m_callback;
    std::vector<RemoteChanges> m_undelivered;
};

void PgStore::startListener()
{
    if (m_listener)
        return;
    m_listener = std::make_unique<Listener>(*this);
    m_listener->waitListening(s_connectSeconds.load() * 1000);
}

void PgStore::watch(std::function<void(RemoteChanges)> onChange)
{
    if (m_listener)
        m_listener->setCallback(std::move(onChange));
}
