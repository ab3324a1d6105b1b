// sarwino-convert: copies the directory table of any database file Sarwino
// opens (an Access file as publishers hand it out, or an SQLite file) into a
// new SQLite file that Sarwino can change.
//
//   sarwino-convert SOURCE TARGET
//   sarwino-convert SOURCE postgresql://…
//   sarwino-convert --version | --help
//
// A TARGET that is a link to a PostgreSQL server gets the table (made when
// missing, with the trigger that tells open copies of the program about
// changes) filled in one transaction with COPY; a table that already holds
// records is refused.
//
// Keys, texts and empty values are copied exactly; a record whose key cannot
// be copied as it is (none, or not a whole number, or one that other records
// share) stops the copy with a message that names it. TARGET must not exist;
// the copy is written to a temporary file in TARGET's folder and renamed to
// TARGET only when complete, so an interrupted run never leaves a half file
// under that name. The temporary file is locked while it is written; one
// that nobody holds is what a killed run left, and the next run removes it.

#include "data/DataError.h"
#include "data/DirectorySchema.h"
#include "data/Field.h"
#include "data/PgStore.h"
#include "data/RowSet.h"
#include "data/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage = "Использование: sarwino-convert ИСХОДНЫЙ_ФАЙЛ НОВЫЙ_ФАЙЛ\n"
                               "       sarwino-convert ИСХОДНЫЙ_ФАЙЛ postgresql://СЕРВЕР/БАЗА\n"
                               "       sarwino-convert --version | --help\n"
                               "Копирует справочник из файла базы данных Сарвино (Microsoft Access или SQLite)\n"
                               "в новый файл SQLite, который программа может изменять. Новый файл не должен\n"
                               "существовать. Вместо нового файла можно указать ссылку на сервер PostgreSQL\n"
                               "(без пароля: он берётся из ~/.pgpass или PGPASSWORD); таблица на сервере\n"
                               "создаётся, если её нет, и не должна содержать записей.\n";

// Rows from which the copy reports its progress.
constexpr int kProgressFrom = 20000;

// The temporary file, removed if the run is stopped by a signal.
char g_temporary[4096];

void removeTemporaryAndExit(int signal)
{
    if (g_temporary[0])
        ::unlink(g_temporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void say(const QString& text)
{
    const QByteArray bytes = (QStringLiteral("sarwino-convert: ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
}

// The table as Sarwino expects it.
QByteArray createTableStatement()
{
    return QByteArray::fromStdString(schema::createTableSql());
}

QByteArray insertStatement()
{
    QStringList columns;
    QStringList marks;
    for (const FieldDef& field : directoryFields()) {
        columns << QLatin1Char('"') + field.name + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
        .arg(directoryTableName(), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
        .toUtf8();
}

class Writer {
public:
    explicit Writer(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            fail(QStringLiteral("не удаётся создать файл"));
        // The file is renamed into place only when complete and flushed, so
        // it needs no journal of its own.
        exec("PRAGMA page_size=4096; PRAGMA encoding='UTF-8'; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        exec(createTableStatement().constData());
        exec("BEGIN");
        const QByteArray insert = insertStatement();
        if (sqlite3_prepare_v2(m_db, insert.constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            fail(QStringLiteral("не удаётся подготовить запись"));
    }
    ~Writer()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }

    void write(const RowSet& rows, int row)
    {
        sqlite3_bind_int64(m_insert, 1, rows.key(row));
        for (int column = 0; column < rows.columnCount(); ++column) {
            if (rows.isNull(row, column)) {
                sqlite3_bind_null(m_insert, column + 2);
            } else {
                // A blob stays a blob; numbers become the texts they read as,
                // as the text columns of the copy would make them anyway.
                const StoredValue value = rows.stored(row, column);
                const char* bytes = value.bytes.empty() ? "" : value.bytes.data();
                const auto size = sqlite3_uint64(value.bytes.size());
                if (value.type == StoredType::Blob)
                    sqlite3_bind_blob64(m_insert, column + 2, bytes, size, SQLITE_STATIC);
                else
                    sqlite3_bind_text64(m_insert, column + 2, bytes, size, SQLITE_STATIC, SQLITE_UTF8);
            }
        }
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (rc != SQLITE_DONE)
            fail(QStringLiteral("не удаётся записать запись с ключом %1").arg(rows.key(row)));
    }

    void finish()
    {
        exec("COMMIT");
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        if (sqlite3_close(m_db) != SQLITE_OK)
            fail(QStringLiteral("не удаётся закрыть файл"));
        m_db = nullptr;
    }

private:
    void exec(const char* sql)
    {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(QStringLiteral("не удаётся записать файл"));
    }
    [[noreturn]] void fail(const QString& what)
    {
        throw DataError(what + QStringLiteral(": ") + QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "нет памяти"));
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
};

bool flushToDisk(const QString& path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(), folder ? O_RDONLY | O_DIRECTORY : O_RDWR);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Gives the finished file its name, unless something has taken that name
// meanwhile: an existing file is never replaced.
bool moveIntoPlace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that rename: a hard link never replaces either.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

// How a record of the source is named in a message: its place and its name.
QString recordName(const RowSet& rows, int row)
{
    QString name = rows.text(row, 0);
    if (name.size() > 60)
        name = name.left(60) + QStringLiteral("…");
    return QStringLiteral("запись № %1 («%2»)").arg(row + 1).arg(name);
}

// Refuses a source with a record whose key cannot be copied as it is.
void checkKeys(const RowSet& rows)
{
    const QString key = directoryFields().front().name;
    for (int row = 0; row < rows.rowCount(); ++row) {
        QString problem;
        switch (rows.keyProblem(row)) {
        case RowSet::KeyProblem::None:
            continue;
        case RowSet::KeyProblem::Missing:
            problem = QStringLiteral("у неё нет значения ключа «%1»").arg(key);
            break;
        case RowSet::KeyProblem::NotInteger:
            problem = QStringLiteral("её ключ «%1» — не целое число").arg(key);
            break;
        case RowSet::KeyProblem::Duplicate: {
            int other = row + 1;
            while (other < rows.rowCount()
                && !(rows.key(other) == rows.key(row) && rows.keyProblem(other) == RowSet::KeyProblem::Duplicate))
                ++other;
            problem = QStringLiteral("её ключ «%1» = %2 есть и у других записей").arg(key).arg(rows.key(row));
            if (other < rows.rowCount())
                problem += QStringLiteral(" (%1)").arg(recordName(rows, other));
            break;
        }
        }
        throw DataError(QStringLiteral("%1 исходного файла не может быть скопирована: %2, а ключи копируются "
                                       "в точности. Исправьте исходный файл; новый файл не создан.")
                            .arg(recordName(rows, row), problem));
    }
}

// Temporary files of earlier runs for this target: one that no run holds
// locked was left by a run that was killed, and is removed; one that is held
// belongs to a run going on now and is named.
void removeLeftovers(const QFileInfo& target)
{
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    const QByteArray prefix = QFile::encodeName(QStringLiteral(".%1.").arg(target.fileName()));
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix) || !name.endsWith(".part"))
            continue;
        const QByteArray path = folder + '/' + name;
        const QString shown = QDir::toNativeSeparators(QFile::decodeName(path));
        struct stat info { };
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            say(QStringLiteral("файл «%1» сейчас пишет другой запуск sarwino-convert; он не тронут.").arg(shown));
        } else if (::unlink(path.constData()) == 0) {
            say(QStringLiteral("удалён неоконченный файл «%1», оставшийся от прерванного запуска.").arg(shown));
        } else {
            say(QStringLiteral("в папке остался неоконченный файл «%1» от прерванного запуска; удалить его не "
                               "удалось (%2), удалите его сами.")
                    .arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// Creates the temporary file, locked for as long as this run lives.
int createLocked(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw DataError(QStringLiteral("не удаётся создать файл «%1»: %2")
                            .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno))));
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

int convert(const QString& source, const QString& target)
{
    const QString shownTarget = QDir::toNativeSeparators(target);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        say(QStringLiteral("файл «%1» уже существует; укажите имя нового файла.").arg(shownTarget));
        return 1;
    }
    const QFileInfo targetInfo(target);
    if (!targetInfo.dir().exists()) {
        say(QStringLiteral("папки «%1» нет.").arg(QDir::toNativeSeparators(targetInfo.absolutePath())));
        return 1;
    }

    QStringList fields;
    for (const FieldDef& field : directoryFields())
        fields << field.name;
    RowSet rows;
    std::unique_ptr<Store> store = Store::open(source, true);
    store->load(directoryTableName(), fields, rows);
    store.reset();
    checkKeys(rows);
    removeLeftovers(targetInfo);
    const int total = rows.rowCount();
    if (total >= kProgressFrom)
        say(QStringLiteral("прочитано записей: %1.").arg(total));

    // The temporary file sits beside the target, so the final rename stays
    // on one file system.
    const QString temporary = targetInfo.absoluteDir().filePath(
        QStringLiteral(".%1.%2.part").arg(targetInfo.fileName()).arg(QCoreApplication::applicationPid()));
    const QByteArray temporaryName = QFile::encodeName(temporary);
    if (std::size_t(temporaryName.size()) >= sizeof g_temporary)
        throw DataError(QStringLiteral("слишком длинное имя файла «%1»").arg(shownTarget));
    QFile::remove(temporary);
    const int lock = createLocked(temporary);
    std::memcpy(g_temporary, temporaryName.constData(), std::size_t(temporaryName.size()) + 1);

    try {
        Writer writer(temporary);
        int reported = 0;
        for (int row = 0; row < total; ++row) {
            writer.write(rows, row);
            if (total >= kProgressFrom && (row + 1) * 10 / total > reported) {
                reported = (row + 1) * 10 / total;
                say(QStringLiteral("записано %1 из %2 записей.").arg(row + 1).arg(total));
            }
        }
        writer.finish();
        if (!flushToDisk(temporary, false))
            throw DataError(QStringLiteral("не удаётся сохранить файл на диск: %1")
                                .arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (!moveIntoPlace(temporary, target)) {
            const int error = errno;
            if (error == EEXIST)
                throw DataError(QStringLiteral("файл «%1» появился во время работы; он не тронут").arg(shownTarget));
            throw DataError(QStringLiteral("не удаётся назвать файл «%1»: %2")
                                .arg(shownTarget, QString::fromLocal8Bit(std::strerror(error))));
        }
    } catch (...) {
        QFile::remove(temporary);
        g_temporary[0] = 0;
        ::close(lock);
        throw;
    }
    g_temporary[0] = 0;
    ::close(lock);
    flushToDisk(targetInfo.absolutePath(), true);
    say(QStringLiteral("записей скопировано: %1; новый файл — «%2».").arg(total).arg(shownTarget));
    return 0;
}

// Copies the directory into a table on a PostgreSQL server, in one
// transaction: all of it or nothing.
int convertToServer(const QString& source, const QString& link)
{
    QStringList fields;
    for (const FieldDef& field : directoryFields())
        fields << field.name;
    RowSet rows;
    {
        std::unique_ptr<Store> store = Store::open(source, true);
        store->load(directoryTableName(), fields, rows);
    }
    checkKeys(rows);

    const QByteArray linkBytes = link.toUtf8();
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(linkBytes.constData(), &error);
    if (!options) {
        const QString reason = QString::fromUtf8(error ? error : "");
        PQfreemem(error);
        throw DataError(QStringLiteral("ссылка на сервер записана неверно: ") + reason.trimmed());
    }
    bool password = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        password = password || (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val);
    PQconninfoFree(options);
    if (password)
        throw DataError(QStringLiteral("в ссылке записан пароль; уберите его и укажите пароль в ~/.pgpass (или в "
                                       "файле, который называет PGPASSFILE) либо в переменной PGPASSWORD."));
    const char* keys[] = { "dbname", "client_encoding", "fallback_application_name", nullptr };
    const char* values[] = { linkBytes.constData(), "UTF8", "sarwino-convert", nullptr };
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    const auto finish = qScopeGuard([&] { PQfinish(conn); });
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    const auto failed = [&](PGresult* result) {
        const QString message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        PQclear(result);
        return DataError(QStringLiteral("сервер не принял справочник, на сервере ничего не изменено: ") + message);
    };
    if (PQstatus(conn) != CONNECTION_OK)
        throw DataError(
            QStringLiteral("не удаётся подключиться к серверу: ") + QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    const auto exec = [&](const QByteArray& sql, ExecStatusType expected = PGRES_COMMAND_OK) {
        PGresult* result = PQexec(conn, sql.constData());
        if (PQresultStatus(result) != expected)
            throw failed(result);
        return result;
    };
    const QString table = QStringLiteral("\"%1\"").arg(directoryTableName());
    const QString key = directoryFields().front().name;
    PQclear(exec("BEGIN"));
    PGresult* found = exec(QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(table).toUtf8(), PGRES_TUPLES_OK);
    const bool exists = PQgetvalue(found, 0, 0)[0] == 't';
    PQclear(found);
    if (exists) {
        PGresult* any = exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(table).toUtf8(), PGRES_TUPLES_OK);
        const bool holdsRecords = PQgetvalue(any, 0, 0)[0] == 't';
        PQclear(any);
        if (holdsRecords)
            throw DataError(QStringLiteral("таблица «%1» на сервере уже содержит записи; справочник копируется "
                                           "только в пустую таблицу. На сервере ничего не изменено.")
                                .arg(directoryTableName()));
    } else {
        PQclear(exec(PgStore::createTableSql()));
    }
    PQclear(exec(PgStore::notifyTriggerSql(directoryTableName(), key)));

    QStringList columns;
    for (const FieldDef& field : directoryFields())
        columns << QLatin1Char('"') + field.name + QLatin1Char('"');
    PQclear(exec(
        QStringLiteral("COPY %1 (%2) FROM STDIN (FORMAT binary)").arg(table, columns.join(QLatin1Char(','))).toUtf8(),
        PGRES_COPY_IN));
    QByteArray buffer("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19);
    const auto put16 = [&](int v) { buffer.append(char(v >> 8)).append(char(v)); };
    const auto put32 = [&](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            buffer.append(char(v >> shift));
    };
    const int total = rows.rowCount();
    for (int row = 0; row < total; ++row) {
        put16(rows.columnCount() + 1);
        put32(8);
        const quint64 k = quint64(rows.key(row));
        for (int shift = 56; shift >= 0; shift -= 8)
            buffer.append(char(k >> shift));
        for (int column = 0; column < rows.columnCount(); ++column) {
            if (rows.isNull(row, column)) {
                put32(0xFFFFFFFF);
                continue;
            }
            const std::string_view bytes = rows.utf8(row, column);
            put32(quint32(bytes.size()));
            buffer.append(bytes.data(), qsizetype(bytes.size()));
        }
        if (buffer.size() > (1 << 20) || row == total - 1) {
            if (row == total - 1)
                put16(-1);
            if (PQputCopyData(conn, buffer.constData(), int(buffer.size())) != 1)
                throw failed(nullptr);
            buffer.clear();
        }
    }
    if (total == 0) {
        put16(-1);
        PQputCopyData(conn, buffer.constData(), int(buffer.size()));
    }
    if (PQputCopyEnd(conn, nullptr) != 1)
        throw failed(nullptr);
    PGresult* copied = PQgetResult(conn);
    if (PQresultStatus(copied) != PGRES_COMMAND_OK)
        throw failed(copied);
    PQclear(copied);
    while (PGresult* rest = PQgetResult(conn))
        PQclear(rest);
    // New records get keys after the copied ones.
    PQclear(exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), coalesce(max(\"%2\"), 0) + 1, "
                                "false) FROM %1")
                     .arg(table, key)
                     .toUtf8(),
        PGRES_TUPLES_OK));
    PQclear(exec("COMMIT"));
    say(QStringLiteral("записей скопировано на сервер: %1.").arg(total));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && args[0] == QLatin1String("--version")) {
        std::fputs("sarwino-convert " SARWINO_VERSION "\n", stdout);
        return 0;
    }
    if (args.size() == 1 && (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() != 2 || args[0].isEmpty() || args[1].isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    for (const int signal : { SIGINT, SIGTERM, SIGHUP })
        std::signal(signal, removeTemporaryAndExit);

    try {
        if (PgStore::isLink(args[1].toUtf8()))
            return convertToServer(args[0], args[1]);
        return convert(args[0], args[1]);
    } catch (const DataError& e) {
        say(e.message());
    } catch (const std::exception& e) {
        say(QString::fromLocal8Bit(e.what()));
    }
    return 1;
}
