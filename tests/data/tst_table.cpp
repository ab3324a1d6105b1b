// The directory table: reading a database file, moving through it, and
// writing changes back exactly, durably and never over someone else's.
#include "../common/TestDatabase.h"
#include "Fixture.h"

#include "data/Collation.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/ReadMeeting.h"
#include "data/RowSet.h"
#include "data/SocketWait.h"
#include "data/SqliteStore.h"
#include "data/Store.h"
#include "data/Table.h"
#include "data/WaitCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <numeric>
#include <thread>

#include <unistd.h>

namespace {

// A connection and an open directory table on one file.
struct Directory {
    explicit Directory(const QString& connectionString)
    {
        connection.setConnectionString(connectionString);
        table.setConnection(&connection);
        table.setTableName(directoryTableName());
        table.setFields(directoryFields());
    }
    Connection connection;
    Table table;
};

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DataError& e) {
        return e.message();
    }
    return {};
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs SQL on a file through the SQLite library itself, for files the test
// database helper cannot make (no primary key, odd keys, huge values).
void rawExec(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QString message = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, qPrintable(message));
}

// The first value the SQL gives, as text.
QByteArray rawValue(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    QByteArray result;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

// The allocations through operator new on this thread still to go before
// one fails (once); -1: none fails.
thread_local long t_allocationsLeft = -1;

// Runs code as a user who may not write to a folder that is closed for
// writing, even when the tests run as the superuser.
class AsAnotherUser {
public:
    AsAnotherUser()
        : m_switched(::geteuid() == 0 && ::seteuid(65534) == 0)
    {
    }
    ~AsAnotherUser()
    {
        if (m_switched)
            QVERIFY(::seteuid(0) == 0);
    }

private:
    bool m_switched;
};

const QString kDirectoryWithoutKey = QStringLiteral(
    "CREATE TABLE \"главная\" (\"Код\", \"название\" TEXT, \"адрес\" TEXT, \"тел\" TEXT, \"вид_деят\" TEXT, "
    "\"пояснение\" TEXT)");

// Another program holding the file, by a transaction it leaves open until
// release is set: a write lock (the default) or a read.
const char* const kWriteLock = "BEGIN IMMEDIATE; UPDATE \"главная\" SET \"тел\"='другой' WHERE \"Код\"=5";
const char* const kExclusiveLock = "BEGIN EXCLUSIVE; UPDATE \"главная\" SET \"тел\"='другой' WHERE \"Код\"=5";
const char* const kReadLock = "BEGIN; SELECT count(*) FROM \"главная\"";

class LockHolder {
public:
    LockHolder(const QString& path, const char* script)
        : m_thread([this, path = path.toStdString(), script] {
            sqlite3* handle = nullptr;
            sqlite3_open(path.c_str(), &handle);
            sqlite3_exec(handle, script, nullptr, nullptr, nullptr);
            m_locked = true;
            while (!m_release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(handle);
        })
    {
        while (!m_locked)
            std::this_thread::yield();
    }
    ~LockHolder() { release(); }
    void release()
    {
        m_release = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_locked { false };
    std::atomic<bool> m_release { false };
    std::thread m_thread;
};

} // namespace

// Every plain form of new and delete goes through malloc and free here, so
// that one allocation can be made to fail.
void* operator new(std::size_t size)
{
    if (t_allocationsLeft == 0) {
        t_allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (t_allocationsLeft > 0)
        --t_allocationsLeft;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return operator new(size, std::nothrow);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

// Reading in the background ---------------------------------------------------

namespace {

// More than is read before open() returns.
#ifdef SARWINO_BIG_TABLE_ROWS
constexpr int BigTable = SARWINO_BIG_TABLE_ROWS;
#else
constexpr int BigTable = 60000;
#endif

} // namespace

class TestTable : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWholeTableInStoredOrder();
    void openFailures_data();
    void openFailures();
    void connectionStringForms();
    void folderNamesLikeKeywords_data();
    void folderNamesLikeKeywords();
    void closedTableRefusesWork();
    void navigationFlags();
    void emptyTable();
    void postedEditIsInTheFile();
    void overLongValueIsRefused();
    void unchangedEditWritesNothing();
    void changeBySomeoneElseIsNeverOverwritten();
    void recordDeletedBySomeoneElse();
    void deleteRecord();
    void staleDeleteIsRefused();
    void readOnlyFileReportsAndKeepsData();
    void insertVetoChangesNothing();
    void disabledControlsHearOneSummary();
    void typedTextIsTakenBeforeEveryStep_data();
    void typedTextIsTakenBeforeEveryStep();
    void writeWaitsForAnotherProgramsLock();

    void emptyTextIsNotNull();
    void clearedFieldStaysEditable();
    void storedOverLongValueIsNeverCut();
    void keysThatCannotFindTheRecord_data();
    void keysThatCannotFindTheRecord();
    void writeMatchingSeveralRowsIsRolledBack();
    void valuesOfEveryKindAreFoundAsStored_data();
    void valuesOfEveryKindAreFoundAsStored();
    void memoryFailureNeverFollowsTheWrite();
    void lockHeldLongerThanTheWait_data();
    void lockHeldLongerThanTheWait();
    void fileLockedAtOpen();
    void valuesOfAnyLengthLoad();
    void hugeKeyReservesNothing();
    void missingFieldNamesTheFile();
    void refusedFileIsLetGo();
    void leftoverJournalBesideReadOnlyFile();
    void walFileInReadOnlyFolder_data();
    void walFileInReadOnlyFolder();

    void bigTableShowsItsFirstRowsAtOnce();
    void viewTakesTheRowsASliceAtATime();
    void filterAndSortSetWhileReadingApplyAtTheEnd();
    void malformedFilterWhileReadingIsRefusedAtOnce();
    void selectionNeverWaitsForItsOrder();
    void othersChangesNeverWaitForAnOrder();
    void repeatedNamesAreKeptOnce();
    void editWhileReadingIsWritten();
    void closingWhileReadingStopsAtOnce();
    void damageFoundWhileReadingIsReported();
    void twoReadersKeepStoredOrder_data();
    void twoReadersKeepStoredOrder();
    void readersMeetTakingEachRowOnce_data();
    void readersMeetTakingEachRowOnce();
    void manyRowsAreJoinedByTwoThreads();

private:
    // Makes the test's database file and opens the directory table on it.
    Table& open(const QVector<TestRecord>& records = TestDatabase::defaultRecords());
    // The same on a copy of a table too big to be read in before open() returns.
    Table& openBig();
    std::unique_ptr<TestDatabase> m_big; // written once, copied by each test
    // Opens the table on a file the test made itself (after useFile).
    Table& openFile(const QString& connectionString);
    TestDatabase& db() { return *m_db; }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Directory> m_directory;
};

Table& TestTable::open(const QVector<TestRecord>& records)
{
    m_db = std::make_unique<TestDatabase>(records);
    return openFile(m_db->path());
}

Table& TestTable::openBig()
{
    if (!m_big)
        m_big = std::make_unique<TestDatabase>(TestDatabase::numbered(BigTable));
    m_db = TestDatabase::copyOf(m_big->path());
    return openFile(m_db->path());
}

Table& TestTable::openFile(const QString& connectionString)
{
    m_directory = std::make_unique<Directory>(connectionString);
    m_directory->table.open();
    return m_directory->table;
}

// A big table's file is read by two readers, a small one's by one.
constexpr qint64 kSplitReadBytes = 1 << 20;

void TestTable::init()
{
    SqliteStore::setSplitReadBytes(kSplitReadBytes);
}

void TestTable::cleanup()
{
    m_directory.reset();
    m_db.reset();
    SqliteStore::setBusyTimeoutMs(5000);
}

void TestTable::opensWholeTableInStoredOrder()
{
    Table& t = open();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.recordCount(), 5);
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(t.bof());
    QVERIFY(!t.eof());
    const int name = t.fieldByName(QStringLiteral("название"));
    QCOMPARE(t.text(name), QStringLiteral("Аптека №1"));
    QCOMPARE(t.valueAt(4, name), TextValue(QStringLiteral("ёлочка")));
    // No value and the empty text stay apart.
    const int note = t.fieldByName(QStringLiteral("ПОЯСНЕНИЕ"));
    QCOMPARE(t.valueAt(1, note), TextValue());
    QCOMPARE(t.valueAt(2, note), TextValue(QString(QLatin1String(""))));
    QVERIFY(!t.valueAt(2, note)->isNull());
    QCOMPARE(t.valueAt(0, 0), TextValue(QStringLiteral("1")));
}

void TestTable::openFailures_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("expected");

    QTest::newRow("missing file") << QByteArray() << QString() << QStringLiteral("не найден");
    QTest::newRow("text file") << QByteArray("Hello, world\n") << QString()
                               << QStringLiteral("формат файла не распознан");
    QTest::newRow("empty file") << QByteArray("\0", 0) << QString() << QStringLiteral("формат файла не распознан");
    QByteArray jet(256, '\0');
    jet.replace(0, 4, QByteArray("\x00\x01\x00\x00", 4));
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("access file") << jet << QString() << QStringLiteral("Microsoft Access");
    QTest::newRow("no table") << QByteArray("sqlite") << QStringLiteral("CREATE TABLE other (x)")
                              << QStringLiteral("нет таблицы «главная»");
    // A view that would never end is not taken for the table.
    QTest::newRow("endless view")
        << QByteArray("sqlite")
        << QStringLiteral("CREATE VIEW \"главная\" AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                          "SELECT i AS \"Код\", '' AS \"название\", '' AS \"адрес\", '' AS \"тел\", "
                          "'' AS \"вид_деят\", '' AS \"пояснение\" FROM n")
        << QStringLiteral("нет таблицы «главная»");
    QTest::newRow("no field") << QByteArray("sqlite")
                              << QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, \"название\", "
                                                "\"адрес\", \"вид_деят\", \"пояснение\")")
                              << QStringLiteral("Field 'тел' not found");
    QTest::newRow("damaged sqlite file") << QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff') << QString()
                                         << QStringLiteral("повреждён");
}

void TestTable::openFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, schema);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    if (content == "sqlite") {
        FIXTURE_STEP(rawExec(path, schema));
    } else if (!content.isNull() || QTest::currentDataTag() == QByteArray("empty file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QByteArray before = fileBytes(path);

    Directory d(path);
    const QString message = errorOf([&] { d.table.open(); });
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY2(message.contains(path), qPrintable(message)); // every message names the file
    QVERIFY(!d.table.active());
    // A failed open never creates or changes the file.
    if (content.isNull() && QTest::currentDataTag() == QByteArray("missing file"))
        QVERIFY(!QFile::exists(path));
    else if (content != "sqlite")
        QCOMPARE(fileBytes(path), before);
}

void TestTable::connectionStringForms()
{
    Connection c;
    QVERIFY(c.connectionString().startsWith(
        QLatin1String("Provider=Microsoft.Jet.OLEDB.4.0;Password=\"\";User ID=Admin;"
                      "Data Source=C:\\SarvinoNew\\Sarvino.mdb;Mode=Share Deny None;")));
    QVERIFY(c.connectionString().endsWith(QLatin1String(";Jet OLEDB:SFP=False")));
    QCOMPARE(c.databasePath(), QStringLiteral("C:\\SarvinoNew\\Sarvino.mdb"));
    QCOMPARE(c.provider(), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    QVERIFY(!c.loginPrompt());
    c.setConnectionString(QStringLiteral("/папка с пробелами/Sarvino.mdb"));
    QCOMPARE(c.databasePath(), QStringLiteral("/папка с пробелами/Sarvino.mdb"));
    QVERIFY(!c.readOnly());
    c.setConnectionString(QStringLiteral("Provider=X;Data Source=\"/a;b/Sarvino.mdb\";Mode=Read"));
    QCOMPARE(c.databasePath(), QStringLiteral("/a;b/Sarvino.mdb"));
    QVERIFY(c.readOnly());
}

void TestTable::folderNamesLikeKeywords_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("=") << QStringLiteral("app=1");
    QTest::newRow("; and =") << QStringLiteral("a;Mode=Read");
    QTest::newRow("quotes") << QStringLiteral("it's \"Data Source=x\"");
}

// The program is handed its file's path: any folder it may stand in opens,
// for writing.
void TestTable::folderNamesLikeKeywords()
{
    QFETCH(QString, folder);
    m_db = std::make_unique<TestDatabase>();
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(folder));
    const QString path = dir.path() + QLatin1Char('/') + folder + QStringLiteral("/Sarvino.mdb");
    QVERIFY(QFile::copy(m_db->path(), path));
    Directory d(path);
    QCOMPARE(d.connection.databasePath(), path);
    QVERIFY(!d.connection.readOnly());
    QCOMPARE(errorOf([&] { d.table.open(); }), QString());
    QCOMPARE(d.table.recordCount(), 5);
    QVERIFY(d.table.canModify(0));
}

void TestTable::closedTableRefusesWork()
{
    TestDatabase file;
    Directory d(file.path());
    const QString closed = QStringLiteral("Cannot perform this operation on a closed dataset");
    QCOMPARE(errorOf([&] { d.table.next(); }), closed);
    QCOMPARE(errorOf([&] { d.table.edit(); }), closed);
    QCOMPARE(errorOf([&] { d.table.deleteRecord(); }), closed);
    // Filter and sort are only stored while closed.
    d.table.setIndexFieldNames(QStringLiteral("адрес"));
    QCOMPARE(d.table.indexFieldNames(), QStringLiteral("адрес"));
    QCOMPARE(d.table.recordCount(), 0);
}

void TestTable::navigationFlags()
{
    Table& t = open(TestDatabase::numbered(3));
    t.prior();
    QVERIFY(t.bof());
    QCOMPARE(t.currentRow(), 0);
    t.next();
    QVERIFY(!t.bof() && !t.eof());
    QCOMPARE(t.currentRow(), 1);
    t.next();
    QVERIFY(!t.eof()); // standing on the last record is not the end yet
    t.next();
    QVERIFY(t.eof());
    QCOMPARE(t.currentRow(), 2);
    t.prior();
    QCOMPARE(t.currentRow(), 1);
    t.last();
    QVERIFY(t.eof());
    t.first();
    QVERIFY(t.bof());
    t.moveBy(10);
    QCOMPARE(t.currentRow(), 2);
    QVERIFY(t.eof());
}

void TestTable::emptyTable()
{
    Table& t = open({});
    QVERIFY(t.isEmpty());
    QVERIFY(t.bof() && t.eof());
    QCOMPARE(t.currentRow(), -1);
    t.next();
    QVERIFY(t.eof());
    QCOMPARE(errorOf([&] { t.deleteRecord(); }), QStringLiteral("Cannot perform this operation on an empty dataset"));
}

void TestTable::postedEditIsInTheFile()
{
    Table& t = open();
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy changed(&source, &DataSource::recordChanged);

    t.moveTo(1);
    t.edit();
    QCOMPARE(t.state(), Table::State::Edit);
    const int address = t.fieldByName(QStringLiteral("адрес"));
    t.setValue(address, QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(t.text(address), QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(db().value(2, QStringLiteral("адрес")).toString(), QStringLiteral("пр. Шахтёров, 12")); // not yet
    t.post();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(db().value(2, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(t.valueAt(1, address), TextValue(QStringLiteral("ул. Ёлочная, 7")));
    QVERIFY(changed.count() >= 2);

    // Moving to another record posts a pending change by itself.
    t.edit();
    t.setValue(address, QStringLiteral("второй адрес"));
    t.next();
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(db().value(2, QStringLiteral("адрес")).toString(), QStringLiteral("второй адрес"));

    // Cancel forgets a pending change.
    t.edit();
    t.setValue(address, QStringLiteral("забыто"));
    t.cancel();
    QCOMPARE(t.text(address), QStringLiteral("ул. Мира, 1"));
    QCOMPARE(db().value(3, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Мира, 1"));
}

void TestTable::overLongValueIsRefused()
{
    Table& t = open();
    const int phone = t.fieldByName(QStringLiteral("тел"));
    t.edit();
    const QString message = errorOf([&] { t.setValue(phone, QString(51, QChar(0x0416))); });
    QVERIFY2(message.contains(QStringLiteral("тел")) && message.contains(QStringLiteral("50")), qPrintable(message));
    QCOMPARE(t.text(phone), QStringLiteral("3-12-45"));
    t.setValue(phone, QString(50, QChar(0x0416))); // exactly the size fits
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("тел")).toString(), QString(50, QChar(0x0416)));
    QVERIFY(!errorOf([&] { t.setValue(0, QStringLiteral("9")); }).isEmpty()); // the key is not editable
}

void TestTable::unchangedEditWritesNothing()
{
    Table& t = open();
    const int note = t.fieldByName(QStringLiteral("пояснение"));
    t.moveTo(1); // its note holds no value
    t.edit();
    t.setValue(note, QString(QLatin1String("")));
    QVERIFY(!t.modified());
    // Someone else deletes the record: a post that changes nothing must not complain.
    db().exec(QStringLiteral("DELETE FROM \"главная\" WHERE \"Код\"=2"));
    t.post();
    QCOMPARE(t.state(), Table::State::Browse);
}

void TestTable::changeBySomeoneElseIsNeverOverwritten()
{
    Table& t = open();
    const int name = t.fieldByName(QStringLiteral("название"));
    const int phone = t.fieldByName(QStringLiteral("тел"));

    db().exec(QStringLiteral("UPDATE \"главная\" SET \"название\"='Чужое' WHERE \"Код\"=1"));
    t.edit();
    t.setValue(name, QStringLiteral("Моё"));
    QCOMPARE(errorOf([&] { t.post(); }), Store::rowNotFoundMessage(db().path()));
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), QStringLiteral("Чужое"));
    QCOMPARE(t.state(), Table::State::Edit); // what was typed is still there
    QCOMPARE(t.text(name), QStringLiteral("Моё"));
    // Moving away, searching or sorting is quietly refused: the refusal was
    // answered once, and the cursor and the pending change stay.
    QVERIFY_THROWS_EXCEPTION(SilentAbort, t.next());
    QVERIFY_THROWS_EXCEPTION(SilentAbort, t.moveBy(10));
    QVERIFY_THROWS_EXCEPTION(SilentAbort, t.setFilter(QStringLiteral("тел<>'3-12-45'")));
    QVERIFY_THROWS_EXCEPTION(SilentAbort, t.setIndexFieldNames(QStringLiteral("адрес")));
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(t.recordCount(), 5); // the rows stay as they were meanwhile
    QCOMPARE(t.state(), Table::State::Edit);
    // Working on the record again lets the next move try again, and be
    // answered again; so does saving on purpose.
    t.setValue(name, QStringLiteral("Моё снова"));
    QCOMPARE(errorOf([&] { t.next(); }), Store::rowNotFoundMessage(db().path()));
    QCOMPARE(errorOf([&] { t.savePending(); }), Store::rowNotFoundMessage(db().path()));
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), QStringLiteral("Чужое"));
    // Escape ends it: the filter and sort asked for meanwhile take over, so
    // the rows follow what the controls show, and moving works again.
    t.cancel();
    QTRY_COMPARE(t.keyAt(0), 2); // "адрес" order, record 1 left out
    QCOMPARE(t.recordCount(), 4);
    t.setSelection(QString(), QString());
    t.next();
    QCOMPARE(t.currentRow(), 1);
    t.first();

    // A change to another column of the same record goes through and keeps theirs.
    t.edit();
    t.setValue(phone, QStringLiteral("3-99-99"));
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), QStringLiteral("Чужое"));
    QCOMPARE(db().value(1, QStringLiteral("тел")).toString(), QStringLiteral("3-99-99"));
}

void TestTable::recordDeletedBySomeoneElse()
{
    Table& t = open();
    db().exec(QStringLiteral("DELETE FROM \"главная\" WHERE \"Код\"=1"));
    t.edit();
    t.setValue(t.fieldByName(QStringLiteral("тел")), QStringLiteral("1"));
    QCOMPARE(errorOf([&] { t.post(); }), Store::rowNotFoundMessage(db().path()));
    QCOMPARE(db().count(), 4);
}

void TestTable::deleteRecord()
{
    Table& t = open();
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy removed(&source, &DataSource::recordRemoved);
    t.moveTo(1);
    t.deleteRecord();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toInt(), 1);
    QCOMPARE(db().count(), 4);
    QVERIFY(!db().value(2, QStringLiteral("название")).isValid());
    QCOMPARE(t.recordCount(), 4);
    QCOMPARE(t.currentRow(), 1); // the next record takes its place
    QCOMPARE(t.text(1), QStringLiteral("ООО 'Ромашка'"));
    t.last();
    t.deleteRecord();
    QCOMPARE(t.currentRow(), 2); // at the end, the one before
}

void TestTable::staleDeleteIsRefused()
{
    Table& t = open();
    db().exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"='новое' WHERE \"Код\"=1"));
    QCOMPARE(errorOf([&] { t.deleteRecord(); }), Store::rowNotFoundMessage(db().path(), Store::Change::Delete));
    QCOMPARE(db().count(), 5);
    QCOMPARE(t.recordCount(), 5);
}

// A file this user cannot change is read whole and refused at the first
// attempt to change it, before anything is typed.
void TestTable::readOnlyFileReportsAndKeepsData()
{
    m_db = std::make_unique<TestDatabase>();
    Table& t = openFile(QStringLiteral("Data Source=%1;Mode=Read").arg(db().path()));
    QCOMPARE(t.recordCount(), 5);
    QVERIFY(!t.canModify(0));
    const QString message = errorOf([&] { t.edit(); });
    QVERIFY2(message.contains(QStringLiteral("только для чтения")) && message.contains(db().path())
            && message.contains(QStringLiteral("скопируйте")),
        qPrintable(message));
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(errorOf([&] { t.deleteRecord(); }), message);
    QCOMPARE(errorOf([&] { t.checkModifiable(0); }), message);
    QCOMPARE(db().count(), 5);
    QCOMPARE(db().exec(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

// Asking for a new record posts the record being typed, then the hook
// refuses; no row is ever added.
void TestTable::insertVetoChangesNothing()
{
    m_db = std::make_unique<TestDatabase>();
    m_directory = std::make_unique<Directory>(db().path());
    Table& t = m_directory->table;
    t.onBeforeInsert = [](Table&) { throw SilentAbort(); };
    t.open();
    t.moveTo(2);
    t.edit();
    t.setValue(1, QStringLiteral("Новое имя"));
    QVERIFY_THROWS_EXCEPTION(SilentAbort, t.insert());
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.currentRow(), 2);
    QCOMPARE(t.recordCount(), 5);
    QCOMPARE(db().count(), 5);
    QCOMPARE(db().value(t.keyAt(2), QStringLiteral("название")).toString(), QStringLiteral("Новое имя"));
}

// Whatever makes the table post or leave its record first takes what a
// control still holds; a control whose text the record refused stops it.
void TestTable::typedTextIsTakenBeforeEveryStep_data()
{
    QTest::addColumn<std::function<void(Table&)>>("step");
    QTest::addColumn<bool>("staysOnRecord"); // rows unchanged, same record current
    QTest::newRow("move") << std::function<void(Table&)>([](Table& t) { t.next(); }) << false;
    QTest::newRow("filter") << std::function<void(Table&)>([](Table& t) { t.setFilter(QStringLiteral("тел<>'1'")); })
                            << false;
    QTest::newRow("sort") << std::function<void(Table&)>([](Table& t) { t.setIndexFieldNames(QStringLiteral("тел")); })
                          << false;
    QTest::newRow("same selection") << std::function<void(Table&)>([](Table& t) {
        t.setSelection(t.filter(), t.indexFieldNames());
    }) << true;
}

void TestTable::typedTextIsTakenBeforeEveryStep()
{
    QFETCH(std::function<void(Table&)>, step);
    QFETCH(bool, staysOnRecord);
    Table& t = open();
    const int address = t.fieldByName(QStringLiteral("адрес"));
    DataSource source;
    source.setDataSet(&t);
    bool refuse = true;
    int asked = 0;
    source.onUpdateRecord = [&] {
        ++asked;
        if (refuse)
            return false;
        t.edit();
        t.setValue(address, QStringLiteral("Набрано, 1"));
        return true;
    };
    QVERIFY_THROWS_EXCEPTION(SilentAbort, step(t));
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(t.recordCount(), 5);
    QCOMPARE(db().value(1, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Ленина, 5"));

    refuse = false;
    asked = 0;
    step(t);
    QVERIFY(asked >= 1);
    QCOMPARE(db().value(1, QStringLiteral("адрес")).toString(), QStringLiteral("Набрано, 1"));
    QCOMPARE(t.state(), Table::State::Browse);
    if (staysOnRecord)
        QCOMPARE(t.currentRow(), 0);
    source.onUpdateRecord = nullptr;
}

void TestTable::disabledControlsHearOneSummary()
{
    Table& t = open();
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy scrolled(&source, &DataSource::scrolled);
    QSignalSpy reset(&source, &DataSource::dataSetChanged);

    t.disableControls();
    t.next();
    t.prior();
    t.enableControls();
    QCOMPARE(scrolled.count(), 0); // back where it was: nothing to repaint
    QCOMPARE(reset.count(), 0);

    t.disableControls();
    t.disableControls();
    t.next();
    t.enableControls();
    QCOMPARE(scrolled.count(), 0); // still disabled once
    t.enableControls();
    QCOMPARE(scrolled.count(), 1);
    QCOMPARE(scrolled.at(0).at(0).toInt(), 1);
}

void TestTable::writeWaitsForAnotherProgramsLock()
{
    Table& t = open();
    // Another program holds the write lock for a while.
    LockHolder other(db().path(), kWriteLock);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        other.release();
    });
    t.edit();
    t.setValue(1, QStringLiteral("Дождались"));
    const QString message = errorOf([&] { t.post(); });
    release.join();
    QVERIFY2(message.isEmpty(), qPrintable(message));
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), QStringLiteral("Дождались"));
    QCOMPARE(db().value(5, QStringLiteral("тел")).toString(), QStringLiteral("другой"));
}

// Editing and deleting ----------------------------------------------------

void TestTable::emptyTextIsNotNull()
{
    // Record 3 has an empty note, record 2 none at all.
    Table& t = open();
    const int note = t.fieldByName(QStringLiteral("пояснение"));
    const int address = t.fieldByName(QStringLiteral("адрес"));

    // A record with an empty text can have another field changed ...
    t.moveTo(2);
    t.edit();
    t.setValue(address, QStringLiteral("ул. Мира, 2"));
    t.post();
    QCOMPARE(db().value(3, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Мира, 2"));
    QCOMPARE(db().exec(QStringLiteral("SELECT typeof(\"пояснение\") FROM \"главная\" WHERE \"Код\"=3")).toString(),
        QStringLiteral("text"));
    // ... and that very field filled in ...
    t.edit();
    t.setValue(note, QStringLiteral("Теперь есть"));
    t.post();
    QCOMPARE(db().value(3, QStringLiteral("пояснение")).toString(), QStringLiteral("Теперь есть"));
    // ... and the filter tells the empty text from no value.
    t.setFilter(QStringLiteral("пояснение = NULL"));
    QCOMPARE(t.recordCount(), 2);
    t.setFilter(QStringLiteral("пояснение = ''"));
    QCOMPARE(t.recordCount(), 0);
    t.setFilter(QString());

    // A record with an empty text can be deleted.
    db().exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"='' WHERE \"Код\"=4"));
    m_directory.reset();
    Table& again = openFile(db().path());
    again.moveTo(3);
    QCOMPARE(again.valueAt(3, note), TextValue(QString(QLatin1String(""))));
    again.deleteRecord();
    QCOMPARE(db().count(), 4);
    QVERIFY(!db().value(4, QStringLiteral("название")).isValid());
}

void TestTable::clearedFieldStaysEditable()
{
    Table& t = open();
    const int phone = t.fieldByName(QStringLiteral("тел"));
    // The user empties a cell: the file holds the empty text, not NULL ...
    t.edit();
    t.setValue(phone, QString()); // an editor's empty text may well be a null string
    t.post();
    QCOMPARE(db().exec(QStringLiteral("SELECT typeof(\"тел\") FROM \"главная\" WHERE \"Код\"=1")).toString(),
        QStringLiteral("text"));
    // ... and the record stays editable and deletable.
    t.edit();
    t.setValue(phone, QStringLiteral("3-00-00"));
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("тел")).toString(), QStringLiteral("3-00-00"));
    t.edit();
    t.setValue(phone, QString(QLatin1String("")));
    t.post();
    t.deleteRecord();
    QCOMPARE(db().count(), 4);
}

void TestTable::storedOverLongValueIsNeverCut()
{
    m_db = std::make_unique<TestDatabase>();
    const QString longName = QString(155, QChar(0x0411)); // written by another program
    db().exec(QStringLiteral("UPDATE \"главная\" SET \"название\"=? WHERE \"Код\"=1"), { longName });
    Table& t = openFile(db().path());
    const int name = t.fieldByName(QStringLiteral("название"));
    const int phone = t.fieldByName(QStringLiteral("тел"));
    QCOMPARE(t.text(name), longName);

    // Taken back unchanged, with another field changed: only that one is written.
    t.edit();
    t.setValue(name, longName);
    t.setValue(phone, QStringLiteral("3-33-33"));
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), longName);
    QCOMPARE(db().value(1, QStringLiteral("тел")).toString(), QStringLiteral("3-33-33"));

    // Changed by the user and still too long: refused, never cut.
    t.edit();
    const QString message = errorOf([&] { t.setValue(name, longName.left(154)); });
    QVERIFY2(
        message.contains(QStringLiteral("название")) && message.contains(QStringLiteral("100")), qPrintable(message));
    t.cancel();
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), longName);
    // Shortened to fit: written as typed.
    t.edit();
    t.setValue(name, longName.left(100));
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), longName.left(100));
}

void TestTable::keysThatCannotFindTheRecord_data()
{
    QTest::addColumn<QString>("rows"); // the file's records, as SQL values
    QTest::addColumn<int>("badRow"); // a row that must be refused
    QTest::addColumn<int>("goodRow"); // a row that stays editable (-1: none)
    QTest::addColumn<QString>("reason");

    QTest::newRow("duplicate") << QStringLiteral("(1,'A','','','',''),(2,'B','','','',''),(1,'C','','','','')") << 0
                               << 1 << QStringLiteral("не уникален");
    QTest::newRow("duplicate, not in order")
        << QStringLiteral("(7,'A','','','',''),(3,'B','','','',''),(7,'C','','','','')") << 2 << 1
        << QStringLiteral("не уникален");
    QTest::newRow("null key") << QStringLiteral("(NULL,'A','','','',''),(2,'B','','','','')") << 0 << 1
                              << QStringLiteral("нет значения");
    QTest::newRow("text key") << QStringLiteral("('x1','A','','','',''),(2,'B','','','','')") << 0 << 1
                              << QStringLiteral("не целое число");
    QTest::newRow("real key") << QStringLiteral("(2.5,'A','','','',''),(2,'B','','','','')") << 0 << 1
                              << QStringLiteral("не целое число");
}

void TestTable::keysThatCannotFindTheRecord()
{
    QFETCH(QString, rows);
    QFETCH(int, badRow);
    QFETCH(int, goodRow);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path, kDirectoryWithoutKey + QStringLiteral("; INSERT INTO \"главная\" VALUES ") + rows));
    const QByteArray before = fileBytes(path);
    Table& t = openFile(path);
    const int name = t.fieldByName(QStringLiteral("название"));

    // Every record is shown ...
    QCOMPARE(t.recordCount(), rows.count(QLatin1Char('(')));
    QVERIFY(!t.canModify(badRow));
    // ... but one the key cannot find is refused before anything is written.
    t.moveTo(badRow);
    QString message = errorOf([&] { t.edit(); });
    QVERIFY2(message.contains(reason) && message.contains(path), qPrintable(message));
    QCOMPARE(t.state(), Table::State::Browse);
    message = errorOf([&] { t.deleteRecord(); });
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(t.recordCount(), rows.count(QLatin1Char('(')));
    QCOMPARE(fileBytes(path), before);

    if (goodRow >= 0) {
        QVERIFY(t.canModify(goodRow));
        t.moveTo(goodRow);
        t.edit();
        t.setValue(name, QStringLiteral("Изменено"));
        t.post();
        QCOMPARE(t.text(name), QStringLiteral("Изменено"));
    }
}

void TestTable::writeMatchingSeveralRowsIsRolledBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path,
        kDirectoryWithoutKey
            + QStringLiteral("; INSERT INTO \"главная\" VALUES (1,'A','x','','',''),(2,'B','x','','','')")));
    Table& t = openFile(path);
    // After the file was read, another program gives a second record the same key and values.
    FIXTURE_STEP(rawExec(path, QStringLiteral("UPDATE \"главная\" SET \"Код\"=1, \"название\"='A' WHERE \"Код\"=2")));
    const QByteArray before = fileBytes(path);

    t.edit();
    t.setValue(t.fieldByName(QStringLiteral("адрес")), QStringLiteral("новый"));
    const QString message = errorOf([&] { t.post(); });
    QVERIFY2(message.contains(QStringLiteral("нескольких записей")) && message.contains(QStringLiteral("не изменён")),
        qPrintable(message));
    QCOMPARE(fileBytes(path), before); // both rows as they were
    QCOMPARE(t.state(), Table::State::Edit);
    t.cancel();
    QVERIFY(errorOf([&] { t.deleteRecord(); }).contains(QStringLiteral("нескольких записей")));
    QCOMPARE(fileBytes(path), before);
}

void TestTable::valuesOfEveryKindAreFoundAsStored_data()
{
    QTest::addColumn<QString>("stored"); // a value of the telephone field, as SQL
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("lookalike"); // shown alike, stored otherwise, put in by another program

    QTest::newRow("integer") << "5551234"
                             << "5551234"
                             << "'5551234'";
    QTest::newRow("real") << "12.5"
                          << "12.5"
                          << "'12.5'";
    // Shown with every digit: the text reads back as the very same number.
    QTest::newRow("real, long") << "0.1 + 0.2"
                                << "0.30000000000000004"
                                << "0.3";
    QTest::newRow("blob") << "x'33312d3132'"
                          << "31-12"
                          << "'31-12'";
    QTest::newRow("text, not UTF-8") << "CAST(x'33ff34' AS TEXT)"
                                     << QString::fromUtf8("3\xef\xbf\xbd"
                                                          "4")
                                     << "x'33ff34'";
    QTest::newRow("text, upper case in a NOCASE column") << "'ABC'"
                                                         << "ABC"
                                                         << "'abc'";
}

void TestTable::valuesOfEveryKindAreFoundAsStored()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, lookalike);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path,
        QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, \"название\", \"адрес\", "
                       "\"тел\" COLLATE NOCASE, \"вид_деят\", \"пояснение\"); INSERT INTO \"главная\" VALUES "
                       "(1,'A','',%1,'',''),(2,'B','',%1,'',''),(3,'C','',%1,'',''),(4,'D','',%1,'','')")
            .arg(stored)));
    Table& t = openFile(path);
    const int phone = t.fieldByName(QStringLiteral("тел"));
    const int address = t.fieldByName(QStringLiteral("адрес"));
    QCOMPARE(t.text(phone), shown);

    // The field itself is changed ...
    t.edit();
    t.setValue(phone, QStringLiteral("3-12-45"));
    t.post();
    // ... another field of a record holding such a value ...
    t.moveTo(1);
    t.edit();
    t.setValue(address, QStringLiteral("ул. Мира, 1"));
    t.post();
    // ... and such a record is deleted.
    t.moveTo(2);
    t.deleteRecord();
    QCOMPARE(rawValue(path, QStringLiteral("SELECT \"тел\" FROM \"главная\" WHERE \"Код\"=1")), "3-12-45");
    QCOMPARE(rawValue(path,
                 QStringLiteral("SELECT count(*) FROM \"главная\" WHERE \"Код\"=2 AND \"тел\" IS %1 AND "
                                "\"адрес\"='ул. Мира, 1'")
                     .arg(stored)),
        "1");
    QCOMPARE(rawValue(path, QStringLiteral("SELECT count(*) FROM \"главная\"")), "3");

    // Another program puts in a value that reads the same but is not the
    // same: the record is someone else's change now, and is left alone.
    FIXTURE_STEP(rawExec(path, QStringLiteral("UPDATE \"главная\" SET \"тел\"=%1 WHERE \"Код\"=4").arg(lookalike)));
    const QByteArray before = fileBytes(path);
    t.moveTo(2);
    QCOMPARE(t.keyAt(2), Q_INT64_C(4));
    QCOMPARE(errorOf([&] { t.deleteRecord(); }), Store::rowNotFoundMessage(path, Store::Change::Delete));
    t.edit();
    t.setValue(phone, QStringLiteral("1"));
    QCOMPARE(errorOf([&] { t.post(); }), Store::rowNotFoundMessage(path));
    QCOMPARE(fileBytes(path), before);
}

// Whatever allocation fails while a change is saved, it fails before the
// file is written: a change is in the file exactly when the table has it.
void TestTable::memoryFailureNeverFollowsTheWrite()
{
    int failures = 0;
    for (long failAt = 0;; ++failAt) {
        Table& t = open();
        const int phone = t.fieldByName(QStringLiteral("тел"));
        t.edit();
        t.setValue(phone, QStringLiteral("3-77-77"));
        const QByteArray before = fileBytes(db().path());
        QString message;
        bool otherError = false;
        t_allocationsLeft = failAt;
        try {
            t.post();
        } catch (const DataError& e) {
            message = e.message();
        } catch (...) {
            otherError = true;
        }
        const bool failed = t_allocationsLeft < 0 && (otherError || !message.isEmpty());
        t_allocationsLeft = -1;
        QVERIFY2(!otherError, "a failure other than the data layer's own message");
        const QString where = QStringLiteral("allocation %1").arg(failAt);
        if (!failed) {
            QVERIFY2(message.isEmpty(), qPrintable(where + QStringLiteral(": ") + message));
            QCOMPARE(t.state(), Table::State::Browse);
            break;
        }
        ++failures;
        QVERIFY2(message.contains(QStringLiteral("памяти")) && message.contains(QStringLiteral("не изменён")),
            qPrintable(where + QStringLiteral(": ") + message));
        QVERIFY2(fileBytes(db().path()) == before, qPrintable(where));
        QCOMPARE(t.state(), Table::State::Edit);
        QCOMPARE(t.text(phone), QStringLiteral("3-77-77"));
        t.savePending(); // with memory to spare it is saved, once
        QCOMPARE(db().count(), 5);
        QCOMPARE(t.text(phone), QStringLiteral("3-77-77"));
    }
    QVERIFY(failures > 0);
    const QString file = db().path();
    QCOMPARE(rawValue(file, QStringLiteral("SELECT count(*) FROM \"главная\" WHERE \"тел\"='3-77-77'")), "1");
}

void TestTable::lockHeldLongerThanTheWait_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("deleting");
    QTest::newRow("writer, edit") << QByteArray(kExclusiveLock) << false;
    QTest::newRow("writer, delete") << QByteArray(kExclusiveLock) << true;
    // A reader keeps the change from being committed: busy just the same.
    QTest::newRow("reader, edit") << QByteArray(kReadLock) << false;
    QTest::newRow("reader, delete") << QByteArray(kReadLock) << true;
}

void TestTable::lockHeldLongerThanTheWait()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, deleting);
    SqliteStore::setBusyTimeoutMs(200);
    Table& t = open();
    const QByteArray before = fileBytes(db().path());
    LockHolder other(db().path(), script.constData());
    if (!deleting) {
        t.edit();
        t.setValue(1, QStringLiteral("Не сейчас"));
    }
    const QString message = errorOf([&] { deleting ? t.deleteRecord() : t.post(); });
    QVERIFY2(message.contains(QStringLiteral("занят другой программой"))
            && message.contains(QStringLiteral("не сохранены")) && message.contains(db().path()),
        qPrintable(message));
    QCOMPARE(t.recordCount(), 5);
    other.release();
    if (script == kReadLock)
        QCOMPARE(fileBytes(db().path()), before);
    if (deleting) {
        t.deleteRecord(); // once the other program is done, it works
        QVERIFY(!db().value(1, QStringLiteral("название")).isValid());
        return;
    }
    QCOMPARE(t.state(), Table::State::Edit); // the edit stays pending
    QCOMPARE(t.text(1), QStringLiteral("Не сейчас"));
    t.savePending();
    QCOMPARE(db().value(1, QStringLiteral("название")).toString(), QStringLiteral("Не сейчас"));
}

void TestTable::fileLockedAtOpen()
{
    SqliteStore::setBusyTimeoutMs(200);
    TestDatabase file;
    LockHolder other(file.path(), kExclusiveLock);
    Directory d(file.path());
    const QString message = errorOf([&] { d.table.open(); });
    QVERIFY2(message.contains(QStringLiteral("занят другой программой")) && message.contains(file.path())
            && !message.contains(QStringLiteral("повреждён")),
        qPrintable(message));
    QVERIFY(!d.table.active());
    other.release();
    d.table.open();
    QCOMPARE(d.table.recordCount(), 5);
}

// Files of every shape ------------------------------------------------------

void TestTable::valuesOfAnyLengthLoad()
{
    m_db = std::make_unique<TestDatabase>();
    const QString big = QString(70000, QChar(0x0416)); // 140,000 bytes of UTF-8
    const QString huge = QString(3 * 1024 * 1024, QLatin1Char('x')); // bigger than a storage block
    db().exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"=? WHERE \"Код\"=1"), { big });
    db().exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"=? WHERE \"Код\"=3"), { huge });
    Table& t = openFile(db().path());
    const int note = t.fieldByName(QStringLiteral("пояснение"));
    QCOMPARE(t.recordCount(), 5);
    QCOMPARE(t.valueAt(0, note), TextValue(big));
    QCOMPARE(t.valueAt(2, note), TextValue(huge));
    QCOMPARE(t.valueAt(3, note), TextValue(QStringLiteral("Ремонт"))); // neighbours intact
    QCOMPARE(t.valueAt(4, 1), TextValue(QStringLiteral("ёлочка")));
    // Such a value is found by the filter and takes part in sorting.
    t.setFilter(QStringLiteral("пояснение LIKE 'Ж*'"));
    QCOMPARE(t.recordCount(), 1);
    t.setFilter(QString());
    t.setIndexFieldNames(QStringLiteral("пояснение"));
    QCOMPARE(t.recordCount(), 5);
    // Unchanged, it is never written back.
    t.first();
    t.edit();
    t.setValue(t.fieldByName(QStringLiteral("тел")), QStringLiteral("1"));
    t.post();
    QCOMPARE(db().value(1, QStringLiteral("пояснение")).toString(), big);
}

void TestTable::hugeKeyReservesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path,
        QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, \"название\", \"адрес\", "
                       "\"тел\", \"вид_деят\", \"пояснение\"); INSERT INTO \"главная\" VALUES "
                       "(1,'A','','','',''),(2,'B','','','',''),(3,'C','','','',''),"
                       "(9223372036854775807,'D','','','','')")));
    Table& t = openFile(path);
    QCOMPARE(t.recordCount(), 4);
    QCOMPARE(t.keyAt(3), Q_INT64_C(9223372036854775807));
    QVERIFY2(t.memoryUsage() < 8u * 1024 * 1024, qPrintable(QString::number(t.memoryUsage())));
    t.last();
    t.edit();
    t.setValue(1, QStringLiteral("Последняя"));
    t.post();
    QCOMPARE(t.text(1), QStringLiteral("Последняя"));
}

void TestTable::missingFieldNamesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path,
        QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, \"название\", \"адрес\", "
                       "\"вид_деят\", \"пояснение\")")));
    Directory d(path);
    const QString message = errorOf([&] { d.table.open(); });
    QVERIFY2(message.startsWith(QStringLiteral("Field 'тел' not found")), qPrintable(message));
    QVERIFY2(message.contains(path), qPrintable(message));
}

// A file refused at open is let go at once: nothing keeps it open, or holds
// the memory of its connection, while the program goes on without it.
void TestTable::refusedFileIsLetGo()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff'));
    }
    const QString target = QFileInfo(path).canonicalFilePath();
    auto descriptorsOnFile = [&] {
        const QDir descriptors(QStringLiteral("/proc/self/fd"));
        int count = 0;
        for (const QFileInfo& fd : descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            count += fd.symLinkTarget() == target;
        return count;
    };

    Directory d(path);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString message = errorOf([&] { d.table.open(); });
        QVERIFY2(message.contains(QStringLiteral("повреждён")) && message.contains(path), qPrintable(message));
    }
    QCOMPARE(descriptorsOnFile(), 0);
    const QStringList connections = QSqlDatabase::connectionNames();
    QVERIFY2(connections.filter(QStringLiteral("sarwino-")).isEmpty(), qPrintable(connections.join(QLatin1Char(' '))));
}

void TestTable::leftoverJournalBesideReadOnlyFile()
{
    // A program that was killed in the middle of a write left its journal;
    // the file is then opened for reading only, so it cannot be rolled back.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    {
        TestDatabase source(TestDatabase::numbered(2000));
        QVERIFY(QFile::copy(source.path(), path));
    }
    sqlite3* writer = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &writer), SQLITE_OK);
    sqlite3_exec(writer,
        "PRAGMA cache_size=1; BEGIN; UPDATE \"главная\" SET \"тел\"='x'; "
        "INSERT INTO \"главная\" (\"название\") SELECT \"название\" FROM \"главная\";",
        nullptr, nullptr, nullptr);
    // Copy the file and its journal as they stand mid-write.
    const QString copy = dir.filePath(QStringLiteral("copy/Sarvino.mdb"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("copy")));
    QVERIFY(QFile::copy(path, copy));
    QVERIFY(QFile::copy(path + QStringLiteral("-journal"), copy + QStringLiteral("-journal")));
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);

    Directory d(QStringLiteral("Data Source=%1;Mode=Read").arg(copy));
    const QString message = errorOf([&] { d.table.open(); });
    QVERIFY2(message.contains(QStringLiteral("журнал")) && message.contains(copy)
            && !message.contains(QStringLiteral("повреждён")),
        qPrintable(message));
    // Opened for writing, the journal is rolled back and the file reads as before.
    Directory writable(copy);
    writable.table.open();
    QCOMPARE(writable.table.recordCount(), 2000);
}

void TestTable::walFileInReadOnlyFolder_data()
{
    QTest::addColumn<bool>("changesInLog");
    QTest::newRow("closed cleanly") << false;
    QTest::newRow("changes waiting in the log") << true;
}

// A file kept in WAL mode, in a folder the program may not write to.
void TestTable::walFileInReadOnlyFolder()
{
    QFETCH(bool, changesInLog);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("только чтение"));
    const QString path = folder + QStringLiteral("/Sarvino.mdb");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("только чтение")));
    {
        TestDatabase source;
        QVERIFY(QFile::copy(source.path(), path));
    }
    FIXTURE_STEP(rawExec(path, QStringLiteral("PRAGMA journal_mode=WAL")));
    if (changesInLog) {
        // A program that was stopped with its last change still in the log.
        sqlite3* writer = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &writer), SQLITE_OK);
        sqlite3_exec(writer, "PRAGMA wal_autocheckpoint=0; UPDATE \"главная\" SET \"тел\"='из журнала'", nullptr,
            nullptr, nullptr);
        QVERIFY(QFile::copy(path + QStringLiteral("-wal"), path + QStringLiteral("-wal.copy")));
        QVERIFY(QFile::copy(path, path + QStringLiteral(".copy")));
        sqlite3_close(writer);
        QFile::remove(path);
        QVERIFY(QFile::rename(path + QStringLiteral(".copy"), path));
        QVERIFY(QFile::rename(path + QStringLiteral("-wal.copy"), path + QStringLiteral("-wal")));
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-shm")));
    const QByteArray before = fileBytes(path);
    for (const QString& p : { dir.path(), folder, path, path + QStringLiteral("-wal") })
        QFile::setPermissions(p,
            QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther | QFile::ExeOwner | QFile::ExeGroup
                | QFile::ExeOther);

    {
        AsAnotherUser user;
        Directory d(path);
        const QString message = errorOf([&] { d.table.open(); });
        if (changesInLog) {
            QVERIFY2(message.contains(path + QStringLiteral("-wal")) && message.contains(folder)
                    && !message.contains(QStringLiteral("повреждён")),
                qPrintable(message));
        } else {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            QCOMPARE(d.table.recordCount(), 5);
            QCOMPARE(d.table.text(1), QStringLiteral("Аптека №1"));
            // Refused before anything is typed.
            QVERIFY(!d.table.canModify(0));
            QVERIFY(errorOf([&] { d.table.edit(); }).contains(path));
        }
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), changesInLog ? 2 : 1);
}

void TestTable::bigTableShowsItsFirstRowsAtOnce()
{
    Table& t = openBig();
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy appended(&source, &DataSource::recordsAppended);
    QVERIFY(t.loading());
    QVERIFY(t.recordCount() > 0 && t.recordCount() < BigTable);
    QCOMPARE(t.currentRow(), 0);
    QCOMPARE(t.text(1), QStringLiteral("Фирма 0000"));
    // Moving works on what is in already.
    t.moveBy(100);
    QCOMPARE(t.currentRow(), 100);
    QTRY_VERIFY(!t.loading());
    QCOMPARE(t.recordCount(), BigTable);
    QVERIFY(!appended.isEmpty());
    QCOMPARE(appended.last().at(1).toInt(), BigTable - 1);
    QCOMPARE(t.currentRow(), 100); // the cursor stayed where it was
    QCOMPARE(t.valueAt(BigTable - 1, 1), TextValue(QStringLiteral("Фирма %1").arg(BigTable - 1)));
}

// However many rows come in at once, the view is handed a slice of them at
// a time, each row once and in stored order, the cursor staying where it
// is; a record deleted meanwhile stays out.
void TestTable::viewTakesTheRowsASliceAtATime()
{
    const int slice = Table::viewSliceRows();
    const auto restore = qScopeGuard([slice] { Table::setViewSliceRows(slice); });
    Table::setViewSliceRows(1000);
    Table& t = openBig();
    QVERIFY(t.loading());
    DataSource source;
    source.setDataSet(&t);
    int next = t.recordCount();
    int largest = 0;
    bool contiguous = true;
    connect(&source, &DataSource::recordsAppended, this, [&](int first, int last) {
        contiguous = contiguous && first == next;
        largest = std::max(largest, last - first + 1);
        next = last + 1;
    });
    connect(&source, &DataSource::recordRemoved, this, [&] { --next; });
    t.moveTo(5);
    t.deleteRecord(); // waits for the reading, not for the view
    QVERIFY(t.loading());
    t.moveTo(100);
    QTRY_VERIFY(!t.loading());
    QVERIFY(contiguous);
    QVERIFY(largest > 0 && largest <= 1000);
    QCOMPARE(next, BigTable - 1);
    QCOMPARE(t.recordCount(), BigTable - 1);
    QCOMPARE(t.currentRow(), 100);
    for (int row = 0; row < t.recordCount(); ++row) {
        if (t.keyAt(row) != (row < 5 ? row + 1 : row + 2))
            QFAIL(qPrintable(QStringLiteral("row %1 holds key %2").arg(row).arg(t.keyAt(row))));
    }
}

void TestTable::filterAndSortSetWhileReadingApplyAtTheEnd()
{
    // A row a turn: the rows still to come when the last is in are many
    // turns' worth, and none of them is handed to the grid once the reading
    // has ended, since the filter takes the view's place.
    const int slice = Table::viewSliceRows();
    const auto restore = qScopeGuard([slice] { Table::setViewSliceRows(slice); });
    Table::setViewSliceRows(1);
    Table& t = openBig();
    QVERIFY(t.loading());
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy reset(&source, &DataSource::dataSetChanged);
    int lastAppended = -1;
    connect(&source, &DataSource::recordsAppended, this, [&](int, int last) { lastAppended = last; });
    // Every keystroke of a search is taken, none lost, none answered twice.
    for (const char* text : { "название LIKE 'Ф*'", "название LIKE 'Фирма*'", "название LIKE 'Фирма 1*'" })
        t.setFilter(QString::fromUtf8(text));
    t.setIndexFieldNames(QStringLiteral("название DESC"));
    QVERIFY(t.recordCount() < BigTable || t.loading()); // not applied yet
    QTRY_VERIFY(!t.loading());
    QTRY_COMPARE(t.recordCount(), 11000); // 1000-1999 and 10000-19999
    QCOMPARE(t.text(1), QStringLiteral("Фирма 19999"));
    QCOMPARE(t.currentRow(), 0);
    QVERIFY(!reset.isEmpty());
    QVERIFY2(lastAppended < BigTable - 1, qPrintable(QStringLiteral("rows up to %1 shown first").arg(lastAppended)));
}

void TestTable::selectionNeverWaitsForItsOrder()
{
    const int faults = waitcheck::faults();
    Table& t = openBig();
    DataSource source;
    source.setDataSet(&t);
    QSignalSpy busy(&source, &DataSource::busyChanged);
    const int phone = t.fieldByName(QStringLiteral("тел"));
    auto sortedBy = [&](int field, bool descending) {
        for (int row = 1; row < t.recordCount(); ++row) {
            const int c = Collation::instance().compare(
                t.valueAt(row - 1, field).value_or(QString()), t.valueAt(row, field).value_or(QString()));
            if (descending ? c < 0 : c > 0)
                return false;
        }
        return true;
    };

    // Asked for while the rows come in, then again the moment the last one
    // is in, while the orders are still being finished: each step returns at
    // once, the rows shown stay until the answer, and the last one asked wins.
    t.setIndexFieldNames(QStringLiteral("адрес"));
    QVERIFY(t.busy());
    QCOMPARE(t.keyAt(1), 2); // still in stored order
    bool askedAtTheEnd = false;
    connect(&source, &DataSource::recordsAppended, this, [&](int, int last) {
        if (last != BigTable - 1)
            return;
        askedAtTheEnd = true;
        t.setFilter(QStringLiteral("название LIKE 'Фирма 1*'"));
        t.setIndexFieldNames(QStringLiteral("тел DESC"));
    });
    QTRY_VERIFY(askedAtTheEnd && !t.busy());
    QCOMPARE(t.recordCount(), 11000);
    QVERIFY(sortedBy(phone, true));
    QCOMPARE(busy.first().at(0).toBool(), true);
    QCOMPARE(busy.last().at(0).toBool(), false);

    // A changed value drops its field's order, which is built again in the
    // background: the sort asked for right after the change waits for it
    // without blocking and shows the new value in its place.
    t.setSelection(QString(), QString());
    t.moveTo(5);
    t.edit();
    t.setValue(phone, QStringLiteral("0-00"));
    t.post();
    t.setIndexFieldNames(QStringLiteral("тел"));
    QTRY_VERIFY(!t.busy());
    QCOMPARE(t.keyAt(0), 6);
    QVERIFY(sortedBy(phone, false));

    // The notes' order, which nobody builds before it is asked for, is built
    // once asked, after every other order is done.
    t.setIndexFieldNames(QStringLiteral("пояснение DESC"));
    QTRY_VERIFY(!t.busy());
    QCOMPARE(t.keyAt(0), 1); // no notes at all: stored order
    QCOMPARE(waitcheck::faults(), faults);
}

// Another program's change to a big table drops the changed field's order:
// the rows are chosen anew once it is built again, the window never waiting
// for it, and the current record stays current.
void TestTable::othersChangesNeverWaitForAnOrder()
{
    const int faults = waitcheck::faults();
    Table& t = openBig();
    DataSource source;
    source.setDataSet(&t);
    t.setIndexFieldNames(QStringLiteral("название"));
    QTRY_VERIFY(!t.loading() && !t.busy());
    t.moveTo(100);
    const qint64 current = t.keyAt(t.currentRow());
    const int name = t.fieldByName(QStringLiteral("название"));
    RemoteRecord renamed { t.keyAt(0), false, {} };
    for (int field = 1; field < int(t.fields().size()); ++field)
        renamed.values.push_back(t.valueAt(0, field));
    renamed.values[std::size_t(name - 1)] = QStringLiteral("Яхта");
    RemoteChanges changes;
    changes.records.push_back(renamed);
    t.applyRemoteChanges(std::move(changes));
    QTRY_VERIFY(!t.busy());
    QCOMPARE(t.keyAt(t.currentRow()), current);
    QCOMPARE(t.valueAt(t.recordCount() - 1, name), TextValue(QStringLiteral("Яхта")));
    QCOMPARE(waitcheck::faults(), faults);
}

// A big table whose names repeat keeps each name once, once the names'
// order is built, and shows every name as it was, changed ones too. (The
// names are too many for the reading to share them as it goes, and long
// enough to make the table one whose orders are built in the background.)
void TestTable::repeatedNamesAreKeptOnce()
{
    constexpr int distinct = 17000;
    const QString prefix
        = QStringLiteral("Общество с ограниченной ответственностью «Производственное объединение» № ").repeated(2);
    const auto records = [&](bool repeat) {
        QVector<TestRecord> records;
        for (int i = 0; i < BigTable; ++i) {
            records.append({ prefix + QStringLiteral("%1").arg(repeat ? i % distinct : i, 5, 10, QLatin1Char('0')),
                QStringLiteral("ул. Ленина, %1").arg(i), QStringLiteral("3-%1").arg(i), QStringLiteral("Аптека"),
                QVariant() });
        }
        return records;
    };
    const QVector<TestRecord> unique = records(false);
    Table& u = open(unique);
    QTRY_VERIFY(!u.loading() && !u.busy());
    const std::size_t uniqueMemory = u.memoryUsage();
    const QVector<TestRecord> repeated = records(true);
    Table& t = open(repeated);
    const int name = t.fieldByName(QStringLiteral("название"));
    QTRY_VERIFY(!t.loading());
    t.moveTo(3);
    t.edit();
    t.setValue(name, QStringLiteral("Яхта"));
    t.post();
    const std::size_t saved
        = std::size_t(BigTable - distinct) * std::size_t(repeated[0].name.toString().toUtf8().size());
    // The packing goes on in steps between the window's events: slow under a
    // sanitizer on a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(t.memoryUsage() + saved / 2 < uniqueMemory, 60000);
    // Packed rows take changes as before.
    const int kind = t.fieldByName(QStringLiteral("вид_деят"));
    const int address = t.fieldByName(QStringLiteral("адрес"));
    t.moveTo(5);
    t.edit();
    t.setValue(name, QStringLiteral("Ёлка"));
    t.setValue(kind, QStringLiteral("Кафе"));
    t.post();
    QCOMPARE(db().value(6, QStringLiteral("вид_деят")).toString(), QStringLiteral("Кафе"));
    for (int row = 0; row < t.recordCount(); ++row) {
        const TextValue wanted = row == 3 ? QStringLiteral("Яхта")
            : row == 5                    ? QStringLiteral("Ёлка")
                                          : repeated[row].name.toString();
        QCOMPARE(t.valueAt(row, name), wanted);
        QCOMPARE(t.valueAt(row, kind), TextValue(row == 5 ? QStringLiteral("Кафе") : QStringLiteral("Аптека")));
        // Every address differs: the column stops sharing while values
        // read before that are still waiting to be stored.
        QCOMPARE(t.valueAt(row, address), TextValue(repeated[row].address.toString()));
    }
}

void TestTable::malformedFilterWhileReadingIsRefusedAtOnce()
{
    Table& t = openBig();
    QVERIFY(t.loading());
    QVERIFY(errorOf([&] { t.setFilter(QStringLiteral("название='О'Нил'")); }).contains(QStringLiteral("фильтре")));
    QCOMPARE(t.filter(), QString());
    QTRY_VERIFY(!t.loading());
    QCOMPARE(t.recordCount(), BigTable);
}

// A change waits for the reading to end through the program's wait (the
// window paints meanwhile) as part of the write: the rows and the view stay
// as they are, and a step asked then is refused.
void TestTable::editWhileReadingIsWritten()
{
    Table* table = nullptr;
    int waits = 0;
    int refusedMeanwhile = 0;
    socketwait::setHook([&](int fd, socketwait::Direction direction, socketwait::Clock::time_point deadline) {
        ++waits;
        try {
            table->next();
        } catch (const SilentAbort&) {
            ++refusedMeanwhile;
        }
        socketwait::poll(fd, direction, deadline);
    });
    const auto unhook = qScopeGuard([] { socketwait::setHook({}); });

    Table& t = openBig();
    table = &t;
    QVERIFY(t.loading());
    t.moveTo(7);
    t.edit();
    t.setValue(2, QStringLiteral("Во время чтения"));
    t.post();
    QVERIFY(waits > 0);
    QCOMPARE(refusedMeanwhile, waits);
    QCOMPARE(db().value(8, QStringLiteral("адрес")).toString(), QStringLiteral("Во время чтения"));
    QCOMPARE(t.currentRow(), 7);
    QTRY_COMPARE(t.recordCount(), BigTable);

    Table& again = openBig();
    table = &again;
    waits = refusedMeanwhile = 0;
    QVERIFY(again.loading());
    again.moveTo(3);
    again.deleteRecord();
    QVERIFY(waits > 0);
    QCOMPARE(refusedMeanwhile, waits);
    QCOMPARE(db().count(), BigTable - 1);
    QVERIFY(!db().value(4, QStringLiteral("название")).isValid());
    QTRY_COMPARE(again.recordCount(), BigTable - 1);
}

void TestTable::closingWhileReadingStopsAtOnce()
{
    Table& t = openBig();
    QVERIFY(t.loading());
    t.close();
    QVERIFY(!t.active());
    QCOMPARE(t.recordCount(), 0);
    t.open(); // and opens again
    QTRY_COMPARE(t.recordCount(), BigTable);
}

void TestTable::damageFoundWhileReadingIsReported()
{
    // A page well past the first rows is damaged: they read fine, the
    // reading in the background runs into the damage.
    openBig();
    m_directory.reset();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    QFile::copy(m_db->path(), path);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 page = 4096;
        file.seek((file.size() * 17 / 20) / page * page);
        file.write(QByteArray(int(page), '\x07'));
    }
    m_directory = std::make_unique<Directory>(path);
    Table& t = m_directory->table;
    QString reported;
    t.onBackgroundError = [&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const DataError& error) {
            reported = error.message();
        }
    };
    const QString atOpen = errorOf([&] { t.open(); });
    QVERIFY2(atOpen.isEmpty(), qPrintable(atOpen));
    QVERIFY(t.loading());
    QTRY_VERIFY(!reported.isEmpty());
    QVERIFY2(reported.contains(path), qPrintable(reported));
    QVERIFY(!t.active()); // nothing half-read stays on show
}

void TestTable::twoReadersKeepStoredOrder_data()
{
    QTest::addColumn<QString>("sql");
    const QString columns = QStringLiteral("\"название\", \"адрес\", \"тел\", \"вид_деят\", \"пояснение\"");
    const QString table = QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, %1)").arg(columns);
    // n rows, each a number i, in an order that jumps about.
    const auto numbers = [](int n) {
        return QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
            .arg(n - 1);
    };
    const QString values = QStringLiteral("'Фирма ' || i, 'ул. ' || (i % 97), i * 3, 'вид ' || (i % 5), NULL");
    // Row numbers far apart, negative and huge, written out of order: the
    // halves are nowhere near even.
    QTest::newRow("sparse keys written out of order") << table + QStringLiteral("; INSERT INTO \"главная\" ")
            + numbers(70000)
            + QStringLiteral("SELECT CASE WHEN i % 3 = 0 THEN -i * 1000 WHEN i % 3 = 1 THEN i * i ELSE 9000000000000 + "
                             "i END, %1 FROM n ORDER BY (i * 7919) % 70001")
                  .arg(values);
    // Gaps where rows were deleted, and keys that are not the row numbers.
    QTest::newRow("gaps, keys apart from row numbers")
        << QStringLiteral("CREATE TABLE \"главная\" (\"Код\", %1); INSERT INTO \"главная\" ").arg(columns)
            + numbers(100000) + QStringLiteral("SELECT (i * 7919) % 100000, %1 FROM n; ").arg(values)
            + QStringLiteral("DELETE FROM \"главная\" WHERE rowid % 7 = 0 OR rowid BETWEEN 40000 AND 46000");
    // Row numbers far apart but few rows below the middle: the second half
    // is begun with the first screen, whose rows hold all of the first.
    QTest::newRow("short first half, begun with the first screen") << table
            + QStringLiteral("; INSERT INTO \"главная\" ") + numbers(30000)
            + QStringLiteral("SELECT CASE WHEN i < 1000 THEN i ELSE 1000000 + i END, %1 FROM n").arg(values);
    // A column takes the name of the row numbers: another name is used. The
    // first half is in with the first screen: the second follows it.
    QTest::newRow("a column named rowid")
        << QStringLiteral("CREATE TABLE \"главная\" (\"Код\", rowid, %1); INSERT INTO \"главная\" ").arg(columns)
            + numbers(5000) + QStringLiteral("SELECT i, 5000 - i, %1 FROM n").arg(values);
    // No row numbers at all: one reader, in key order.
    QTest::newRow("without row numbers") << table + QStringLiteral(" WITHOUT ROWID; INSERT INTO \"главная\" ")
            + numbers(5000) + QStringLiteral("SELECT 5000 - i, %1 FROM n").arg(values);
}

// The table read by two readers at once has every row once, in the order
// one reader gives.
void TestTable::twoReadersKeepStoredOrder()
{
    QFETCH(QString, sql);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    FIXTURE_STEP(rawExec(path, sql));
    const auto readAll = [&](qint64 splitBytes) {
        SqliteStore::setSplitReadBytes(splitBytes);
        Table& t = openFile(path);
        QVector<QPair<qint64, QString>> rows;
        if (!QTest::qWaitFor([&] { return !t.loading(); }))
            return rows;
        for (int row = 0; row < t.recordCount(); ++row)
            rows.append(
                { t.keyAt(row), t.valueAt(row, 1).value_or(QString()) + t.valueAt(row, 3).value_or(QString()) });
        m_directory.reset();
        return rows;
    };
    const auto split = readAll(0);
    const auto single = readAll(std::numeric_limits<qint64>::max());
    QCOMPARE(split.size(), rawValue(path, QStringLiteral("SELECT count(*) FROM \"главная\"")).toInt());
    QVERIFY(split == single);
    // Read whole at once by one caller, the same.
    SqliteStore::setSplitReadBytes(0);
    RowSet rows(0);
    SqliteStore(path, true)
        .load(QStringLiteral("главная"),
            { QStringLiteral("Код"), QStringLiteral("название"), QStringLiteral("адрес"), QStringLiteral("тел"),
                QStringLiteral("вид_деят"), QStringLiteral("пояснение") },
            rows);
    QCOMPARE(rows.rowCount(), split.size());
    for (int row = 0; row < rows.rowCount(); ++row)
        QCOMPARE(rows.key(row), split[row].first);

    // Once every row is read, the file is let go: another program may
    // write to it while the rows are still being joined and checked.
    SqliteStore store(path, true);
    RowSet read(0);
    const std::unique_ptr<RowReader> reader = store.openReader(QStringLiteral("главная"),
        { QStringLiteral("Код"), QStringLiteral("название"), QStringLiteral("адрес") }, read);
    reader->readingInBackground();
    while (reader->read(1 << 16)) { }
    QCOMPARE(read.rowCount(), split.size());
    sqlite3* writer = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &writer), SQLITE_OK);
    const int rc = sqlite3_exec(writer, "UPDATE \"главная\" SET \"тел\" = 'x'", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    QCOMPARE(rc, SQLITE_OK);
}

void TestTable::readersMeetTakingEachRowOnce_data()
{
    QTest::addColumn<QVector<qint64>>("numbers");
    QVector<qint64> dense(100000);
    std::iota(dense.begin(), dense.end(), qint64(0));
    QTest::newRow("one after another") << dense;
    QVector<qint64> apart;
    for (qint64 i = 0; i < 20000; ++i)
        apart.append(-5000000000 + i * (i % 3 == 0 ? 1 : 1000003));
    std::sort(apart.begin(), apart.end());
    QTest::newRow("far apart, negative too") << apart;
    // Claims that reach past the ends of the row numbers.
    QVector<qint64> ends;
    for (qint64 i = 0; i < 3000; ++i)
        ends.append(std::numeric_limits<qint64>::min() + i);
    for (qint64 i = 3000; i > 0; --i)
        ends.append(std::numeric_limits<qint64>::max() - i + 1);
    QTest::newRow("at both ends of the numbers") << ends;
    QTest::newRow("one row") << QVector<qint64> { 7 };
}

// Two readers from either end take every row once between them, however
// their steps interleave, and the one from below takes what both left.
void TestTable::readersMeetTakingEachRowOnce()
{
    QFETCH(QVector<qint64>, numbers);
    // Plain arrays: both threads read them.
    const std::vector<qint64> rowids(numbers.begin(), numbers.end());
    const auto count = std::ptrdiff_t(rowids.size());
    for (int round = 0; round < 20; ++round) {
        ReadMeeting meeting;
        std::vector<char> taken(rowids.size(), 0);
        std::ptrdiff_t low = 0;
        std::thread fromAbove([&] {
            for (std::ptrdiff_t i = count - 1; i >= 0 && meeting.takeHigh(rowids[std::size_t(i)]); --i)
                ++taken[std::size_t(i)];
        });
        for (; low < count && meeting.takeLow(rowids[std::size_t(low)]); ++low) {
            ++taken[std::size_t(low)];
            if (round % 2 && low % 997 == 0)
                std::this_thread::yield();
        }
        fromAbove.join();
        meeting.settle();
        for (; low < count && meeting.takeLow(rowids[std::size_t(low)]); ++low)
            ++taken[std::size_t(low)];
        QVERIFY2(std::all_of(taken.begin(), taken.end(), [](char n) { return n == 1; }),
            qPrintable(QStringLiteral("round %1").arg(round)));
    }
}

// The other reader's rows are joined by two threads once they are many:
// every key, flag and value arrives in its place, in either order, after
// rows that end mid-chunk; repeated values stay shared.
void TestTable::manyRowsAreJoinedByTwoThreads()
{
    constexpr int kFirst = 1000, kOther = 300000;
    auto valueOf = [](int i) { return QByteArray::number(i % 7 == 0 ? i : i % 100); };
    for (const RowSet::Order order : { RowSet::Order::AsStored, RowSet::Order::Reversed }) {
        RowSet rows(1), other(1);
        std::vector<qint64> keys;
        for (int i = 0; i < kFirst + kOther; ++i)
            keys.push_back(i < 150000 ? i : qint64(i) * 3); // a gap of key numbers midway
        for (int i = 0; i < kFirst; ++i)
            rows.setUtf8(rows.appendRow(keys[std::size_t(i)]), 0, valueOf(i).toStdString());
        for (int n = 0; n < kOther; ++n) {
            const int i = order == RowSet::Order::Reversed ? kFirst + kOther - 1 - n : kFirst + n;
            const int row = other.appendRow(keys[std::size_t(i)]);
            other.setUtf8(row, 0, valueOf(i).toStdString());
            if (i % 1009 == 0)
                other.setKeyProblem(row, RowSet::KeyProblem::NotInteger);
        }
        rows.appendRowsOf(other, order);
        QCOMPARE(rows.rowCount(), kFirst + kOther);
        QCOMPARE(other.rowCount(), 0);
        for (int i = 0; i < rows.rowCount(); ++i) {
            if (rows.key(i) != keys[std::size_t(i)] || rows.utf8(i, 0) != valueOf(i).toStdString()
                || (rows.keyProblem(i) == RowSet::KeyProblem::NotInteger) != (i >= kFirst && i % 1009 == 0))
                QFAIL(qPrintable(QStringLiteral("row %1").arg(i)));
        }
        QCOMPARE(quintptr(rows.utf8(kFirst + 2, 0).data()), quintptr(rows.utf8(kFirst + 102, 0).data()));
    }
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
