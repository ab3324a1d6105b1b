// sarwino-convert: an Access directory becomes an SQLite file with the same
// keys, texts and empty values; a key that cannot be kept is refused; an
// existing file is never replaced, a failed run leaves nothing behind and a
// killed run's leftover is cleared by the next.
#include "Fixture.h"
#include "data/DataError.h"
#include "data/Field.h"
#include "data/RowSet.h"
#include "data/Store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/file.h>
#include <unistd.h>

namespace {

QString jetFile(const QString& name)
{
    return QStringLiteral(SARWINO_JET_TESTDATA "/") + name;
}

struct Run {
    int exitCode = -1;
    QString errors;
};

// Runs the converter; asAnotherUser: as a user who may not write where the
// test's own user may, even when the tests run as the superuser.
Run convert(const QStringList& arguments, bool asAnotherUser = false)
{
    QProcess process;
    if (asAnotherUser && ::geteuid() == 0)
        process.start(QStringLiteral("setpriv"),
            QStringList { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                QStringLiteral("--clear-groups"), QStringLiteral(CONVERT_PATH) }
                + arguments);
    else
        process.start(QStringLiteral(CONVERT_PATH), arguments);
    if (!process.waitForFinished(120000))
        qFatal("sarwino-convert did not finish");
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromLocal8Bit(process.readAllStandardError()) };
}

std::unique_ptr<RowSet> load(const QString& path)
{
    QStringList fields;
    for (const FieldDef& field : directoryFields())
        fields << field.name;
    auto rows = std::make_unique<RowSet>();
    Store::open(path, true)->load(directoryTableName(), fields, *rows);
    return rows;
}

// Runs SQL statements, separated by ";", on a new or existing SQLite file.
void sqlOn(const QString& path, const QString& script)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("source"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const QString& statement : script.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            QVERIFY2(query.exec(statement), qPrintable(statement));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("source"));
}

// The rows of a table as text: key, kind and bytes of every value.
QStringList dump(const QString& path)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dump"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("SELECT \"Код\", typeof(\"тел\"), hex(\"тел\"), typeof(\"пояснение\"), "
                                  "hex(\"пояснение\") FROM \"главная\" ORDER BY \"Код\""));
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < 5; ++i)
                row << query.value(i).toString();
            rows << row.join(QLatin1Char(' '));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("dump"));
    return rows;
}

const QString kUntypedTable = QStringLiteral(
    "CREATE TABLE \"главная\" (\"Код\", \"название\", \"адрес\", \"тел\", \"вид_деят\", \"пояснение\")");

QByteArray hashOf(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT

private slots:
    void init();
    void copiesEveryRecordExactly_data();
    void copiesEveryRecordExactly();
    void copyHasTheSampleDatabasesTable();
    void refusals_data();
    void refusals();
    void keysAndValuesOfAnSqliteFile();
    void leftoversOfEarlierRuns_data();
    void leftoversOfEarlierRuns();
    void walSourceInReadOnlyFolder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestConvert::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestConvert::copiesEveryRecordExactly_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("Access file") << jetFile(QStringLiteral("sarvino-2500.mdb"));
    QTest::newRow("long Memo notes") << jetFile(QStringLiteral("sarvino-2500-memo.mdb"));
    QTest::newRow("deleted rows") << jetFile(QStringLiteral("sarvino-deleted-rows.mdb"));
    QTest::newRow("extra fields") << jetFile(QStringLiteral("sarvino-extra-columns.mdb"));
}

void TestConvert::copiesEveryRecordExactly()
{
    QFETCH(QString, source);
    const QByteArray sourceHash = hashOf(source);
    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));

    const Run run = convert({ source, target });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(hashOf(source), sourceHash);
    // Nothing but the new file is left in its folder.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("Sarvino.mdb") });

    QByteArray head;
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        head = file.read(16);
    }
    QCOMPARE(head, QByteArray("SQLite format 3\0", 16));

    const auto expectedRows = load(source);
    const auto copiedRows = load(target);
    const RowSet& expected = *expectedRows;
    const RowSet& copied = *copiedRows;
    QCOMPARE(copied.rowCount(), expected.rowCount());
    for (int row = 0; row < expected.rowCount(); ++row) {
        QCOMPARE(copied.key(row), expected.key(row));
        for (int column = 0; column < expected.columnCount(); ++column) {
            QCOMPARE(copied.isNull(row, column), expected.isNull(row, column));
            QCOMPARE(copied.utf8(row, column), expected.utf8(row, column));
        }
    }
}

void TestConvert::copyHasTheSampleDatabasesTable()
{
    const QString copy = m_dir->filePath(QStringLiteral("copy.mdb"));
    const QString sample = m_dir->filePath(QStringLiteral("sample.mdb"));
    QCOMPARE(convert({ jetFile(QStringLiteral("sarvino-deleted-rows.mdb")), copy }).exitCode, 0);
    QCOMPARE(QProcess::execute(QStringLiteral(GENDB_PATH), { QStringLiteral("--out"), sample }), 0);

    const auto schemaAndCheck = [](const QString& path) {
        QStringList result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(path);
            db.open();
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE name='главная'"));
            while (query.next())
                result << query.value(0).toString();
            query.exec(QStringLiteral("PRAGMA integrity_check"));
            while (query.next())
                result << query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        return result;
    };
    const QStringList copied = schemaAndCheck(copy);
    QCOMPARE(copied.size(), 2);
    QCOMPARE(copied, schemaAndCheck(sample));
}

void TestConvert::refusals_data()
{
    QTest::addColumn<QString>("source"); // a file, or the records of an SQLite source to make
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("target exists") << jetFile(QStringLiteral("sarvino-2500.mdb")) << true << 1 << "уже существует";
    QTest::newRow("no source") << QStringLiteral("/nonexistent/Sarvino.mdb") << false << 1 << "не найден";
    QTest::newRow("missing field") << jetFile(QStringLiteral("sarvino-missing-tel.mdb")) << false << 1
                                   << "Field 'тел' not found";
    QTest::newRow("no arguments") << QString() << false << 2 << "sarwino-convert";

    // Keys that would change in the copy: the record is named, nothing is written.
    const QString first = QStringLiteral("(1,'Аптека','','','',''),");
    QTest::newRow("no key") << first + QStringLiteral("(NULL,'Банк','','','','')") << false << 1
                            << "запись № 2 («Банк») исходного файла не может быть скопирована: у неё нет значения "
                               "ключа «Код»";
    QTest::newRow("two without a key") << first
            + QStringLiteral("(NULL,'Банк','','','',''),(NULL,'Вокзал','','','','')")
                                       << false << 1 << "запись № 2 («Банк»)";
    QTest::newRow("text key") << first + QStringLiteral("('12abc','Банк','','','','')") << false << 1
                              << "запись № 2 («Банк») исходного файла не может быть скопирована: её ключ «Код» — "
                                 "не целое число";
    QTest::newRow("real key") << first + QStringLiteral("(3.7,'Банк','','','','')") << false << 1
                              << "запись № 2 («Банк») исходного файла не может быть скопирована: её ключ «Код» — "
                                 "не целое число";
    QTest::newRow("shared key") << first + QStringLiteral("(2,'Банк','','','',''),(1,'Вокзал','','','','')") << false
                                << 1
                                << "запись № 1 («Аптека») исходного файла не может быть скопирована: её ключ «Код» "
                                   "= 1 есть и у других записей (запись № 3 («Вокзал»))";
}

void TestConvert::refusals()
{
    QFETCH(QString, source);
    QFETCH(bool, targetExists);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
    QTemporaryDir sourceDir;
    if (source.startsWith(QLatin1Char('('))) {
        const QString rows = source;
        source = sourceDir.filePath(QStringLiteral("source.db"));
        FIXTURE_STEP(sqlOn(source, kUntypedTable + QStringLiteral("; INSERT INTO \"главная\" VALUES ") + rows));
    }
    if (targetExists) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("someone's file");
    }
    const Run run = convert(source.isEmpty() ? QStringList() : QStringList { source, target });
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    if (targetExists) {
        QCOMPARE(left, QStringList { QStringLiteral("Sarvino.mdb") });
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("someone's file"));
    } else {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }
}

void TestConvert::keysAndValuesOfAnSqliteFile()
{
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(QStringLiteral("source.db"));
    FIXTURE_STEP(sqlOn(source,
        kUntypedTable
            + QStringLiteral("; INSERT INTO \"главная\" VALUES (-5,'A','','3-12-45','',x'00ff41'),"
                             "(9223372036854775807,'B','','', '',CAST(x'33ff34' AS TEXT)),(7,'C','',NULL,'','')")));
    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
    const Run run = convert({ source, target });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(dump(target), dump(source));
}

void TestConvert::leftoversOfEarlierRuns_data()
{
    QTest::addColumn<bool>("held"); // a run going on now holds it
    QTest::newRow("left by a killed run") << false;
    QTest::newRow("held by a run going on") << true;
}

void TestConvert::leftoversOfEarlierRuns()
{
    QFETCH(bool, held);
    const QString leftover = m_dir->filePath(QStringLiteral(".Sarvino.mdb.99999.part"));
    QFile file(leftover);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("half a copy");
    file.flush();
    if (held)
        QCOMPARE(::flock(file.handle(), LOCK_EX | LOCK_NB), 0);

    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
    const Run run = convert({ jetFile(QStringLiteral("sarvino-2500.mdb")), target });
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QVERIFY2(run.errors.contains(leftover), qPrintable(run.errors));
    QCOMPARE(QFileInfo::exists(leftover), held);
    QCOMPARE(load(target)->rowCount(), 2500);
}

// A file kept in WAL mode, copied from a folder the converter may not write to.
void TestConvert::walSourceInReadOnlyFolder()
{
    QTemporaryDir sourceDir;
    const QString source = sourceDir.filePath(QStringLiteral("source.db"));
    FIXTURE_STEP(sqlOn(source, kUntypedTable + QStringLiteral("; INSERT INTO \"главная\" VALUES (1,'A','','','','')")));
    FIXTURE_STEP(
        sqlOn(source, QStringLiteral("PRAGMA journal_mode=WAL; INSERT INTO \"главная\" VALUES (2,'B','','','','')")));
    QVERIFY(!QFileInfo::exists(source + QStringLiteral("-wal")));
    const auto readOnly
        = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(sourceDir.path(), readOnly);
    QFile::setPermissions(source, readOnly);
    QFile::setPermissions(m_dir->path(), readOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));

    const Run run = convert({ source, target }, true);
    QFile::setPermissions(sourceDir.path(), readOnly | QFile::WriteOwner);
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    QCOMPARE(load(target)->rowCount(), 2);
    QCOMPARE(QDir(sourceDir.path()).entryList(QDir::Files), QStringList { QStringLiteral("source.db") });
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
