// sarwino-convert: copies the directory table of any database file Sarwino
// opens (an Access file as publishers hand it out, or an SQLite file) into a
// new SQLite file that Sarwino can change.
//
//   sarwino-convert SOURCE TARGET
//   sarwino-convert --version | --help
//
// Keys, texts and empty values are copied exactly. TARGET must not exist; the
// copy is written to a temporary file in TARGET's folder and renamed to
// TARGET only when complete, so an interrupted run never leaves a half file
// under that name.

#include "data/DataError.h"
#include "data/DirectorySchema.h"
#include "data/Field.h"
#include "data/RowSet.h"
#include "data/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kUsage = "Использование: sarwino-convert ИСХОДНЫЙ_ФАЙЛ НОВЫЙ_ФАЙЛ\n"
                               "       sarwino-convert --version | --help\n"
                               "Копирует справочник из файла базы данных Сарвино (Microsoft Access или SQLite)\n"
                               "в новый файл SQLite, который программа может изменять. Новый файл не должен\n"
                               "существовать.\n";

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
                const std::string_view text = rows.utf8(row, column);
                sqlite3_bind_text(
                    m_insert, column + 2, text.empty() ? "" : text.data(), int(text.size()), SQLITE_STATIC);
            }
        }
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (rc == SQLITE_CONSTRAINT)
            throw DataError(QStringLiteral("ключ %1 встречается в исходном файле не один раз").arg(rows.key(row)));
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
    std::memcpy(g_temporary, temporaryName.constData(), std::size_t(temporaryName.size()) + 1);
    QFile::remove(temporary);

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
        throw;
    }
    g_temporary[0] = 0;
    flushToDisk(targetInfo.absolutePath(), true);
    say(QStringLiteral("записей скопировано: %1; новый файл — «%2».").arg(total).arg(shownTarget));
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
        return convert(args[0], args[1]);
    } catch (const DataError& e) {
        say(e.message());
    } catch (const std::exception& e) {
        say(QString::fromLocal8Bit(e.what()));
    }
    return 1;
}
