// Access files behind the directory: every record read exactly as the
// expected TSV lists it, changes refused without touching the file, and
// damaged files reported by name instead of crashing or hanging.
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/JetStore.h"
#include "data/RowSet.h"
#include "data/Table.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <array>
#include <functional>
#include <optional>

namespace {

using Record = std::array<TextValue, 5>;

QString testFile(const QString& name)
{
    return QStringLiteral(SARWINO_JET_TESTDATA "/") + name;
}

// The plain reading of a TSV: one record a line, \N for no value.
QVector<Record> expectedRecords(const QString& tsv)
{
    QFile file(testFile(tsv));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(tsv));
    QVector<Record> records;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> parts = line.split('\t');
        Q_ASSERT(parts.size() == 5);
        Record record;
        for (int i = 0; i < 5; ++i)
            record[std::size_t(i)] = parts[i] == "\\N" ? TextValue() : TextValue(QString::fromUtf8(parts[i]));
        records << record;
    }
    return records;
}

QStringList directoryFieldNames()
{
    QStringList names;
    for (const FieldDef& field : directoryFields())
        names << field.name;
    return names;
}

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const DataError& e) {
        return e.message();
    }
    return {};
}

// A data page of the directory table: a page of type 1 owned by the table
// whose definition page holds most rows (the directory's, in these files).
int someDataPage(const QByteArray& bytes, int skip)
{
    constexpr int pageSize = 4096;
    QHash<quint32, QVector<int>> pagesByOwner;
    for (int page = 1; page < bytes.size() / pageSize; ++page) {
        const char* p = bytes.constData() + page * pageSize;
        if (p[0] == 1)
            pagesByOwner[qFromLittleEndian<quint32>(p + 4)] << page;
    }
    QVector<int> best;
    for (const QVector<int>& pages : std::as_const(pagesByOwner)) {
        if (pages.size() > best.size())
            best = pages;
    }
    return best.value(skip, -1);
}

} // namespace

class TestJetStore : public QObject {
    Q_OBJECT

private slots:
    void init();

    void readsEveryRecordExactly_data();
    void readsEveryRecordExactly();
    void fieldsInAnyOrderAndCase();
    void missingFieldOrTable_data();
    void missingFieldOrTable();
    void filterTellsNullFromEmpty();
    void changesAreRefusedAndTheFileKeepsItsBytes();
    void damagedFilesAreReportedByName_data();
    void damagedFilesAreReportedByName();

private:
    // A private copy of a test file, so no test can change the originals.
    QString copyOf(const QString& name);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestJetStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestJetStore::copyOf(const QString& name)
{
    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
    QFile::remove(target);
    if (!QFile::copy(testFile(name), target))
        qFatal("cannot copy %s", qPrintable(name));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

void TestJetStore::readsEveryRecordExactly_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("tsv");
    QTest::addColumn<bool>("everyThirdDeleted");

    QTest::newRow("compressed texts") << "sarvino-2500.mdb"
                                      << "sarvino-2500.tsv" << false;
    QTest::newRow("uncompressed texts") << "sarvino-2500-uncompressed.mdb"
                                        << "sarvino-2500.tsv" << false;
    QTest::newRow("Access 2007 format") << "sarvino-2500-ace12.mdb"
                                        << "sarvino-2500.tsv" << false;
    QTest::newRow("long Memo notes") << "sarvino-2500-memo.mdb"
                                     << "sarvino-2500-memo.tsv" << false;
    QTest::newRow("deleted rows") << "sarvino-deleted-rows.mdb"
                                  << "sarvino-2500.tsv" << true;
    QTest::newRow("extra fields") << "sarvino-extra-columns.mdb"
                                  << "sarvino-2500.tsv" << false;
}

void TestJetStore::readsEveryRecordExactly()
{
    QFETCH(QString, file);
    QFETCH(QString, tsv);
    QFETCH(bool, everyThirdDeleted);

    const QVector<Record> all = expectedRecords(tsv);
    QVector<qint64> keys;
    for (qint64 key = 1; key <= all.size(); ++key) {
        if (!everyThirdDeleted || key % 3 != 1)
            keys << key;
    }

    const auto store = Store::open(copyOf(file));
    RowSet rows;
    store->load(directoryTableName(), directoryFieldNames(), rows);
    QCOMPARE(rows.columnCount(), 5);
    QCOMPARE(rows.rowCount(), int(keys.size()));
    for (int row = 0; row < rows.rowCount(); ++row) {
        QCOMPARE(rows.key(row), keys[row]);
        const Record& expected = all[int(keys[row] - 1)];
        for (int column = 0; column < 5; ++column) {
            if (rows.value(row, column) != expected[std::size_t(column)]) {
                QFAIL(qPrintable(QStringLiteral("key %1, column %2: «%3» instead of «%4»")
                                     .arg(keys[row])
                                     .arg(column)
                                     .arg(rows.value(row, column).value_or(QStringLiteral("NULL")),
                                         expected[std::size_t(column)].value_or(QStringLiteral("NULL")))));
            }
        }
    }
}

void TestJetStore::fieldsInAnyOrderAndCase()
{
    const QVector<Record> expected = expectedRecords(QStringLiteral("sarvino-2500.tsv"));
    JetStore store(copyOf(QStringLiteral("sarvino-extra-columns.mdb")));
    RowSet rows;
    store.load(
        QStringLiteral("ГЛАВНАЯ"), { QStringLiteral("код"), QStringLiteral("ПОЯСНЕНИЕ"), QStringLiteral("тел") }, rows);
    QCOMPARE(rows.rowCount(), expected.size());
    for (const int row : { 0, 1, 2, 1234, 2499 }) {
        QCOMPARE(rows.key(row), qint64(row + 1));
        QCOMPARE(rows.value(row, 0), expected[row][4]);
        QCOMPARE(rows.value(row, 1), expected[row][2]);
    }
}

void TestJetStore::missingFieldOrTable_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no тел") << "sarvino-missing-tel.mdb" << directoryTableName() << "Field 'тел' not found";
    QTest::newRow("no table") << "sarvino-2500.mdb"
                              << "главная2"
                              << "нет таблицы «главная2»";
}

void TestJetStore::missingFieldOrTable()
{
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(QString, expected);

    Connection connection;
    connection.setConnectionString(copyOf(file));
    Table t;
    t.setConnection(&connection);
    t.setTableName(table);
    t.setFields(directoryFields());
    QCOMPARE(errorOf([&] { t.open(); }).contains(expected), true);
    QVERIFY(!t.active());
}

void TestJetStore::filterTellsNullFromEmpty()
{
    int nulls = 0;
    int empties = 0;
    for (const Record& record : expectedRecords(QStringLiteral("sarvino-2500.tsv"))) {
        nulls += !record[4].has_value();
        empties += record[4] && record[4]->isEmpty();
    }
    QVERIFY(nulls > 0 && empties > 0);

    Connection connection;
    connection.setConnectionString(copyOf(QStringLiteral("sarvino-2500.mdb")));
    Table t;
    t.setConnection(&connection);
    t.setTableName(directoryTableName());
    t.setFields(directoryFields());
    t.open();
    t.setFilter(QStringLiteral("пояснение = NULL"));
    QCOMPARE(t.recordCount(), nulls);
    t.setFilter(QStringLiteral("пояснение = ''"));
    QCOMPARE(t.recordCount(), empties);
}

void TestJetStore::changesAreRefusedAndTheFileKeepsItsBytes()
{
    const QString path = copyOf(QStringLiteral("sarvino-2500.mdb"));
    const QByteArray before = fileHash(path);

    Connection connection;
    connection.setConnectionString(path);
    Table t;
    t.setConnection(&connection);
    t.setTableName(directoryTableName());
    t.setFields(directoryFields());
    t.open();
    const int name = t.fieldByName(QStringLiteral("название"));
    const QString original = t.text(name);

    // Refused at the first attempt, before anything is typed.
    QVERIFY(!t.canModify(0));
    const QString message = errorOf([&] { t.edit(); });
    QVERIFY2(message.contains(QStringLiteral("только для чтения")), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("sarwino-convert")));
    QVERIFY(message.contains(path));
    QCOMPARE(t.state(), Table::State::Browse);
    QCOMPARE(t.text(name), original);

    QCOMPARE(errorOf([&] { t.deleteRecord(); }), message);
    QCOMPARE(t.recordCount(), 2500);
    QCOMPARE(t.text(name), original);

    JetStore store(path);
    QVERIFY(!errorOf([&] { store.remove(directoryTableName(), QStringLiteral("Код"), 1, {}); }).isEmpty());
    QCOMPARE(fileHash(path), before);
}

void TestJetStore::damagedFilesAreReportedByName_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QFile file(testFile(QStringLiteral("sarvino-2500.mdb")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    constexpr int pageSize = 4096;

    QTest::newRow("cut in mid-page") << good.left(good.size() / 2 + 1000) << QStringLiteral("повреждён");
    QTest::newRow("cut at a page edge") << good.left(good.size() / 2 / pageSize * pageSize)
                                        << QStringLiteral("повреждён");
    QTest::newRow("header page only") << good.left(pageSize) << QStringLiteral("повреждён");
    QTest::newRow("signature only") << good.left(0x20) << QStringLiteral("повреждён");

    const int dataPage = someDataPage(good, 5);
    QVERIFY(dataPage > 0);
    QByteArray zeroed = good;
    zeroed.replace(dataPage * pageSize, pageSize, QByteArray(pageSize, '\0'));
    QTest::newRow("data page zeroed") << zeroed << QStringLiteral("повреждён");

    QRandomGenerator random(12);
    const auto noise = [&](int size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random.bounded(256));
        return bytes;
    };
    QByteArray scrambled = good;
    scrambled.replace(dataPage * pageSize + 14, pageSize - 14, noise(pageSize - 14));
    QTest::newRow("data page scrambled") << scrambled << QStringLiteral("повреждён");

    QByteArray rows = good;
    for (int i = 0; i < 8; ++i) // row offsets pointing past the page
        qToLittleEndian<quint16>(quint16(0x0ff0 + i), rows.data() + dataPage * pageSize + 14 + 2 * i);
    QTest::newRow("row offsets out of the page") << rows << QStringLiteral("повреждён");

    QTest::newRow("noise after the signature")
        << good.left(0x15) + noise(good.size() - 0x15) << QStringLiteral("повреждён");
    QTest::newRow("noise after the header page")
        << good.left(pageSize) + noise(good.size() - pageSize) << QStringLiteral("повреждён");

    QByteArray access97 = good;
    access97[0x14] = 0;
    QTest::newRow("Access 97 version") << access97 << QStringLiteral("Access 97");
}

void TestJetStore::damagedFilesAreReportedByName()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString path = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QString message = errorOf([&] {
        Connection connection;
        connection.setConnectionString(path);
        Table t;
        t.setConnection(&connection);
        t.setTableName(directoryTableName());
        t.setFields(directoryFields());
        t.open();
    });
    QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestJetStore)
#include "tst_jetstore.moc"
