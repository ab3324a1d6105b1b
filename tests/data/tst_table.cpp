// The directory table: reading a database file, moving through it, and
// writing changes back exactly, durably and never over someone else's.
#include "../common/TestDatabase.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/Table.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

// A connection and an open directory table on one file.
struct Directory
{
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

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void opensWholeTableInStoredOrder();
    void openFailures_data();
    void openFailures();
    void connectionStringForms();
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
    void appendWithoutVetoWritesRecord();
    void disabledControlsHearOneSummary();
    void writeWaitsForAnotherProgramsLock();
};

void TestTable::opensWholeTableInStoredOrder()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    QCOMPARE(d.table.state(), Table::State::Browse);
    QCOMPARE(d.table.recordCount(), 5);
    QCOMPARE(d.table.currentRow(), 0);
    QVERIFY(d.table.bof());
    QVERIFY(!d.table.eof());
    const int name = d.table.fieldByName(QStringLiteral("название"));
    QCOMPARE(d.table.text(name), QStringLiteral("Аптека №1"));
    QCOMPARE(d.table.valueAt(4, name), TextValue(QStringLiteral("ёлочка")));
    // No value and the empty text stay apart.
    const int note = d.table.fieldByName(QStringLiteral("ПОЯСНЕНИЕ"));
    QCOMPARE(d.table.valueAt(1, note), TextValue());
    QCOMPARE(d.table.valueAt(2, note), TextValue(QString(QLatin1String(""))));
    QCOMPARE(d.table.valueAt(0, 0), TextValue(QStringLiteral("1")));
}

void TestTable::openFailures_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("expected");

    QTest::newRow("missing file") << QByteArray() << QString() << QStringLiteral("не найден");
    QTest::newRow("text file") << QByteArray("Hello, world\n") << QString() << QStringLiteral("формат файла не распознан");
    QTest::newRow("empty file") << QByteArray("\0", 0) << QString() << QStringLiteral("формат файла не распознан");
    QByteArray jet(256, '\0');
    jet.replace(0, 4, QByteArray("\x00\x01\x00\x00", 4));
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("access file") << jet << QString() << QStringLiteral("Microsoft Access");
    QTest::newRow("no table") << QByteArray("sqlite") << QStringLiteral("CREATE TABLE other (x)")
                              << QStringLiteral("нет таблицы «главная»");
    QTest::newRow("no field") << QByteArray("sqlite")
                              << QStringLiteral("CREATE TABLE \"главная\" (\"Код\" INTEGER PRIMARY KEY, \"название\", "
                                                "\"адрес\", \"вид_деят\", \"пояснение\")")
                              << QStringLiteral("Field 'тел' not found");
}

void TestTable::openFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, schema);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Sarvino.mdb"));
    if (content == "sqlite") {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, schema.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    } else if (!content.isNull() || QTest::currentDataTag() == QByteArray("empty file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QByteArray before = QFile::exists(path) ? [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }() : QByteArray();

    Directory d(path);
    const QString message = errorOf([&] { d.table.open(); });
    QVERIFY2(message.contains(expected), qPrintable(message));
    if (!expected.startsWith(QLatin1String("Field")))
        QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY(!d.table.active());
    // A failed open never creates or changes the file.
    if (content.isNull() && QTest::currentDataTag() == QByteArray("missing file")) {
        QVERIFY(!QFile::exists(path));
    } else if (content != "sqlite") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestTable::connectionStringForms()
{
    Connection c;
    QVERIFY(c.connectionString().startsWith(QLatin1String("Provider=Microsoft.Jet.OLEDB.4.0;Password=\"\";User ID=Admin;"
                                                           "Data Source=C:\\SarvinoNew\\Sarvino.mdb;Mode=Share Deny None;")));
    QVERIFY(c.connectionString().endsWith(QLatin1String(";Jet OLEDB:SFP=False")));
    QCOMPARE(c.databasePath(), QStringLiteral("C:\\SarvinoNew\\Sarvino.mdb"));
    QCOMPARE(c.provider(), QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    QVERIFY(!c.loginPrompt());
    c.setConnectionString(QStringLiteral("/папка с пробелами/Sarvino.mdb"));
    QCOMPARE(c.databasePath(), QStringLiteral("/папка с пробелами/Sarvino.mdb"));
    QVERIFY(!c.readOnly());
    c.setConnectionString(QStringLiteral("Provider=X;Data Source=\"/a;b/Sarvino.mdb\";Mode=Read"));
    QVERIFY(c.readOnly());
}

void TestTable::closedTableRefusesWork()
{
    TestDatabase db;
    Directory d(db.path());
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
    TestDatabase db(TestDatabase::numbered(3));
    Directory d(db.path());
    d.table.open();
    d.table.prior();
    QVERIFY(d.table.bof());
    QCOMPARE(d.table.currentRow(), 0);
    d.table.next();
    QVERIFY(!d.table.bof() && !d.table.eof());
    QCOMPARE(d.table.currentRow(), 1);
    d.table.next();
    QVERIFY(!d.table.eof()); // standing on the last record is not the end yet
    d.table.next();
    QVERIFY(d.table.eof());
    QCOMPARE(d.table.currentRow(), 2);
    d.table.prior();
    QCOMPARE(d.table.currentRow(), 1);
    d.table.last();
    QVERIFY(d.table.eof());
    d.table.first();
    QVERIFY(d.table.bof());
    d.table.moveBy(10);
    QCOMPARE(d.table.currentRow(), 2);
    QVERIFY(d.table.eof());
}

void TestTable::emptyTable()
{
    TestDatabase db(QVector<TestRecord>{});
    Directory d(db.path());
    d.table.open();
    QVERIFY(d.table.isEmpty());
    QVERIFY(d.table.bof() && d.table.eof());
    QCOMPARE(d.table.currentRow(), -1);
    d.table.next();
    QVERIFY(d.table.eof());
    QCOMPARE(errorOf([&] { d.table.deleteRecord(); }), QStringLiteral("Cannot perform this operation on an empty dataset"));
}

void TestTable::postedEditIsInTheFile()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    DataSource source;
    source.setDataSet(&d.table);
    QSignalSpy changed(&source, &DataSource::recordChanged);

    d.table.moveTo(1);
    d.table.edit();
    QCOMPARE(d.table.state(), Table::State::Edit);
    const int address = d.table.fieldByName(QStringLiteral("адрес"));
    d.table.setValue(address, QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(d.table.text(address), QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(db.value(2, QStringLiteral("адрес")).toString(), QStringLiteral("пр. Шахтёров, 12")); // not yet
    d.table.post();
    QCOMPARE(d.table.state(), Table::State::Browse);
    QCOMPARE(db.value(2, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Ёлочная, 7"));
    QCOMPARE(d.table.valueAt(1, address), TextValue(QStringLiteral("ул. Ёлочная, 7")));
    QVERIFY(changed.count() >= 2);

    // Moving to another record posts a pending change by itself.
    d.table.edit();
    d.table.setValue(address, QStringLiteral("второй адрес"));
    d.table.next();
    QCOMPARE(d.table.state(), Table::State::Browse);
    QCOMPARE(db.value(2, QStringLiteral("адрес")).toString(), QStringLiteral("второй адрес"));

    // Cancel forgets a pending change.
    d.table.edit();
    d.table.setValue(address, QStringLiteral("забыто"));
    d.table.cancel();
    QCOMPARE(d.table.text(address), QStringLiteral("ул. Мира, 1"));
    QCOMPARE(db.value(3, QStringLiteral("адрес")).toString(), QStringLiteral("ул. Мира, 1"));
}

void TestTable::overLongValueIsRefused()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    const int phone = d.table.fieldByName(QStringLiteral("тел"));
    d.table.edit();
    const QString message = errorOf([&] { d.table.setValue(phone, QString(51, QChar(0x0416))); });
    QVERIFY2(message.contains(QStringLiteral("тел")) && message.contains(QStringLiteral("50")), qPrintable(message));
    QCOMPARE(d.table.text(phone), QStringLiteral("3-12-45"));
    d.table.setValue(phone, QString(50, QChar(0x0416))); // exactly the size fits
    d.table.post();
    QCOMPARE(db.value(1, QStringLiteral("тел")).toString(), QString(50, QChar(0x0416)));
    QVERIFY(!errorOf([&] { d.table.setValue(0, QStringLiteral("9")); }).isEmpty()); // the key is not editable
}

void TestTable::unchangedEditWritesNothing()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    const int note = d.table.fieldByName(QStringLiteral("пояснение"));
    d.table.moveTo(1); // its note holds no value
    d.table.edit();
    d.table.setValue(note, QString(QLatin1String("")));
    QVERIFY(!d.table.modified());
    // Someone else deletes the record: a post that changes nothing must not complain.
    db.exec(QStringLiteral("DELETE FROM \"главная\" WHERE \"Код\"=2"));
    d.table.post();
    QCOMPARE(d.table.state(), Table::State::Browse);
}

void TestTable::changeBySomeoneElseIsNeverOverwritten()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    const int name = d.table.fieldByName(QStringLiteral("название"));
    const int phone = d.table.fieldByName(QStringLiteral("тел"));

    db.exec(QStringLiteral("UPDATE \"главная\" SET \"название\"='Чужое' WHERE \"Код\"=1"));
    d.table.edit();
    d.table.setValue(name, QStringLiteral("Моё"));
    QCOMPARE(errorOf([&] { d.table.post(); }), Store::rowNotFoundMessage());
    QCOMPARE(db.value(1, QStringLiteral("название")).toString(), QStringLiteral("Чужое"));
    QCOMPARE(d.table.state(), Table::State::Edit); // what was typed is still there
    QCOMPARE(d.table.text(name), QStringLiteral("Моё"));
    // Moving away tries again and is refused again; the cursor stays.
    QVERIFY(!errorOf([&] { d.table.next(); }).isEmpty());
    QCOMPARE(d.table.currentRow(), 0);
    d.table.cancel();

    // A change to another column of the same record goes through and keeps theirs.
    d.table.edit();
    d.table.setValue(phone, QStringLiteral("3-99-99"));
    d.table.post();
    QCOMPARE(db.value(1, QStringLiteral("название")).toString(), QStringLiteral("Чужое"));
    QCOMPARE(db.value(1, QStringLiteral("тел")).toString(), QStringLiteral("3-99-99"));
}

void TestTable::recordDeletedBySomeoneElse()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    db.exec(QStringLiteral("DELETE FROM \"главная\" WHERE \"Код\"=1"));
    d.table.edit();
    d.table.setValue(d.table.fieldByName(QStringLiteral("тел")), QStringLiteral("1"));
    QCOMPARE(errorOf([&] { d.table.post(); }), Store::rowNotFoundMessage());
    QCOMPARE(db.count(), 4);
}

void TestTable::deleteRecord()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    DataSource source;
    source.setDataSet(&d.table);
    QSignalSpy removed(&source, &DataSource::recordRemoved);
    d.table.moveTo(1);
    d.table.deleteRecord();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(0).toInt(), 1);
    QCOMPARE(db.count(), 4);
    QVERIFY(!db.value(2, QStringLiteral("название")).isValid());
    QCOMPARE(d.table.recordCount(), 4);
    QCOMPARE(d.table.currentRow(), 1); // the next record takes its place
    QCOMPARE(d.table.text(1), QStringLiteral("ООО 'Ромашка'"));
    d.table.last();
    d.table.deleteRecord();
    QCOMPARE(d.table.currentRow(), 2); // at the end, the one before
}

void TestTable::staleDeleteIsRefused()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    db.exec(QStringLiteral("UPDATE \"главная\" SET \"пояснение\"='новое' WHERE \"Код\"=1"));
    QCOMPARE(errorOf([&] { d.table.deleteRecord(); }), Store::rowNotFoundMessage());
    QCOMPARE(db.count(), 5);
    QCOMPARE(d.table.recordCount(), 5);
}

void TestTable::readOnlyFileReportsAndKeepsData()
{
    TestDatabase db;
    Directory d(QStringLiteral("Data Source=%1;Mode=Read").arg(db.path()));
    d.table.open();
    d.table.edit();
    d.table.setValue(1, QStringLiteral("Новое имя"));
    const QString message = errorOf([&] { d.table.post(); });
    QVERIFY2(message.contains(QStringLiteral("readonly")) && message.contains(db.path()), qPrintable(message));
    QCOMPARE(db.value(1, QStringLiteral("название")).toString(), QStringLiteral("Аптека №1"));
    QCOMPARE(db.exec(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    d.table.cancel();
    QVERIFY(!errorOf([&] { d.table.deleteRecord(); }).isEmpty());
    QCOMPARE(db.count(), 5);
}

void TestTable::insertVetoChangesNothing()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.onBeforeInsert = [](Table&) { throw SilentAbort(); };
    d.table.open();
    d.table.moveTo(2);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, d.table.insert());
    QVERIFY_THROWS_EXCEPTION(SilentAbort, d.table.append());
    QCOMPARE(d.table.state(), Table::State::Browse);
    QCOMPARE(d.table.currentRow(), 2);
    QCOMPARE(d.table.displayRowCount(), 5);
    QCOMPARE(db.count(), 5);
}

void TestTable::appendWithoutVetoWritesRecord()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    DataSource source;
    source.setDataSet(&d.table);
    QSignalSpy inserted(&source, &DataSource::recordInserted);
    d.table.append();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(d.table.state(), Table::State::Insert);
    QCOMPARE(d.table.displayRowCount(), 6);
    QCOMPARE(d.table.currentRow(), 5);
    // An untouched new record is dropped when the cursor moves on.
    d.table.prior();
    QCOMPARE(d.table.displayRowCount(), 5);
    QCOMPARE(db.count(), 5);

    d.table.append();
    d.table.setValue(1, QStringLiteral("Новая фирма"));
    d.table.post();
    QCOMPARE(db.count(), 6);
    QCOMPARE(db.exec(QStringLiteral("SELECT \"название\" FROM \"главная\" WHERE \"Код\"=6")).toString(),
             QStringLiteral("Новая фирма"));
    QCOMPARE(d.table.keyAt(5), 6);
}

void TestTable::disabledControlsHearOneSummary()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();
    DataSource source;
    source.setDataSet(&d.table);
    QSignalSpy scrolled(&source, &DataSource::scrolled);
    QSignalSpy reset(&source, &DataSource::dataSetChanged);

    d.table.disableControls();
    d.table.next();
    d.table.prior();
    d.table.enableControls();
    QCOMPARE(scrolled.count(), 0); // back where it was: nothing to repaint
    QCOMPARE(reset.count(), 0);

    d.table.disableControls();
    d.table.disableControls();
    d.table.next();
    d.table.enableControls();
    QCOMPARE(scrolled.count(), 0); // still disabled once
    d.table.enableControls();
    QCOMPARE(scrolled.count(), 1);
    QCOMPARE(scrolled.at(0).at(0).toInt(), 1);
}

void TestTable::writeWaitsForAnotherProgramsLock()
{
    TestDatabase db;
    Directory d(db.path());
    d.table.open();

    // Another program holds the write lock for a while.
    std::atomic<bool> locked{false};
    std::thread other([path = db.path().toStdString(), &locked] {
        sqlite3* handle = nullptr;
        sqlite3_open(path.c_str(), &handle);
        sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_exec(handle, "UPDATE \"главная\" SET \"тел\"='другой' WHERE \"Код\"=5", nullptr, nullptr, nullptr);
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(handle);
    });
    while (!locked)
        std::this_thread::yield();
    d.table.edit();
    d.table.setValue(1, QStringLiteral("Дождались"));
    const QString message = errorOf([&] { d.table.post(); });
    other.join();
    QVERIFY2(message.isEmpty(), qPrintable(message));
    QCOMPARE(db.value(1, QStringLiteral("название")).toString(), QStringLiteral("Дождались"));
    QCOMPARE(db.value(5, QStringLiteral("тел")).toString(), QStringLiteral("другой"));
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
