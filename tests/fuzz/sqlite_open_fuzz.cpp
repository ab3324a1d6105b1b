// Fuzzing target: a damaged SQLite database file opened as the program opens
// Sarvino.mdb: through a connection and the directory table, read to its
// end, then filtered and sorted. The table either opens and every value of
// every record can be read, filtered and sorted, or the open is refused with
// a DataError whose message names the file; either way the file is let go
// when the table and the connection are. A crash, a sanitizer report,
// another exception, a refusal that does not say which file, a connection
// left open or a hang is a finding.
//
// Built with -fsanitize=fuzzer it is a libFuzzer target (see README); built
// without, the replay driver (tests/common/FuzzReplay.cpp) feeds it the
// committed corpus as a quick CTest.
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Field.h"
#include "data/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

namespace {

[[noreturn]] void finding(const QString& what)
{
    std::fprintf(stderr, "FINDING: %s\n", qPrintable(what));
    std::abort();
}

const QString& databasePath()
{
    static QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("sarwino-fuzz-XXXXXX")));
    static const QString path = folder.filePath(QStringLiteral("Sarvino.mdb"));
    if (!folder.isValid())
        finding(QStringLiteral("no temporary folder: ") + folder.errorString());
    return path;
}

// The file and whatever SQLite left beside it: nothing of one input may
// reach the next (a journal or write-ahead log would be replayed into it).
void removeDatabase()
{
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        QFile::remove(databasePath() + QLatin1String(suffix));
}

void writeDatabase(const std::uint8_t* data, std::size_t size)
{
    removeDatabase();
    QFile file(databasePath());
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        finding(QStringLiteral("cannot write %1: %2").arg(databasePath(), file.errorString()));
}

void expectFileNamed(const QString& message)
{
    if (!message.contains(QDir::toNativeSeparators(databasePath())))
        finding(QStringLiteral("a refusal that does not name the file: ") + message);
}

// Every value of every shown record, as the grid would ask for it.
void readAll(const Table& table)
{
    for (int row = 0; row < table.recordCount(); ++row) {
        for (int field = 0; field < int(table.fields().size()); ++field)
            table.valueAt(row, field);
        table.keyAt(row);
        table.canModify(row);
    }
}

void openReadFilterSort()
{
    Connection connection;
    connection.setConnectionString(databasePath());
    Table table;
    table.setConnection(&connection);
    table.setTableName(directoryTableName());
    table.setFields(directoryFields());
    std::optional<QString> backgroundError;
    table.onBackgroundError = [&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const DataError& e) {
            backgroundError = e.message();
        }
    };

    try {
        table.open();
    } catch (const DataError& e) {
        if (table.active())
            finding(QStringLiteral("a refused table is open: ") + e.message());
        expectFileNamed(e.message());
        return;
    }
    table.waitUntilLoaded();
    QCoreApplication::sendPostedEvents();
    if (backgroundError) {
        expectFileNamed(*backgroundError);
        if (table.active())
            finding(QStringLiteral("a table that could not be read to its end is open"));
        return;
    }
    if (!table.active() || table.loading())
        finding(QStringLiteral("a table read whole is not open and ready"));

    const int all = table.recordCount();
    readAll(table);
    // The category click, the search and the sort buttons, and the harder
    // paths of the filter: OR, NULL, <> and a LIKE anywhere in the text.
    table.setIndexFieldNames(QStringLiteral("название"));
    table.setFilter(QStringLiteral("вид_деят='Аптека'"));
    readAll(table);
    table.setFilter(QStringLiteral("название>='А' and  название<'Б'"));
    readAll(table);
    table.setIndexFieldNames(QStringLiteral("тел DESC, Код"));
    table.setFilter(QStringLiteral("(адрес like '*ул*' and тел<>'1') or пояснение = NULL or Код>=3"));
    readAll(table);
    table.last();
    table.first();
    table.setFilter(QString());
    table.setIndexFieldNames(QString());
    if (table.recordCount() != all)
        finding(QStringLiteral("%1 records after the filter was cleared, %2 before").arg(table.recordCount()).arg(all));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeDatabase(data, size);
    openReadFilterSort();
    // Whatever the table left queued for its (gone) rows is dealt with now.
    QCoreApplication::sendPostedEvents();
    // The store is gone, and so is its connection: nothing holds the file open.
    if (!QSqlDatabase::connectionNames().isEmpty())
        finding(QStringLiteral("connections left open: ") + QSqlDatabase::connectionNames().join(QLatin1Char(' ')));
    removeDatabase();
    return 0;
}
