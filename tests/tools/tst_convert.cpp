// sarwino-convert: an Access directory becomes an SQLite file with the same
// keys, texts and empty values; an existing file is never replaced and a
// failed run leaves nothing behind.
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

namespace {

QString jetFile(const QString& name)
{
    return QStringLiteral(SARWINO_JET_TESTDATA "/") + name;
}

struct Run {
    int exitCode = -1;
    QString errors;
};

Run convert(const QStringList& arguments)
{
    QProcess process;
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
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("target exists") << jetFile(QStringLiteral("sarvino-2500.mdb")) << true << 1 << "уже существует";
    QTest::newRow("no source") << QStringLiteral("/nonexistent/Sarvino.mdb") << false << 1 << "не найден";
    QTest::newRow("missing field") << jetFile(QStringLiteral("sarvino-missing-tel.mdb")) << false << 1
                                   << "Field 'тел' not found";
    QTest::newRow("no arguments") << QString() << false << 2 << "sarwino-convert";
}

void TestConvert::refusals()
{
    QFETCH(QString, source);
    QFETCH(bool, targetExists);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const QString target = m_dir->filePath(QStringLiteral("Sarvino.mdb"));
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

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
