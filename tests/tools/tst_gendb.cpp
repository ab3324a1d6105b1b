// Tests of gendb, the generator of the sample directory database: the table
// it writes, the determinism of its output, the presence of every category
// value and of the awkward cases real directory data has, and its handling
// of bad arguments.

#include "data/Catalogue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

const QString kTable = QStringLiteral("главная");

struct Row {
    qint64 code = 0;
    QString name, address, phone, kind;
    std::optional<QString> note;
};

QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString quoted(const QString& identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

bool hasCyrillic(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF)
            return true;
    return false;
}

} // namespace

class TestGendb : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void schema_data();
    void schema();
    void noOtherTablesOrIndexes();
    void recordCount_data();
    void recordCount();

    void sameSeedSameBytes_data();
    void sameSeedSameBytes();
    void defaultsAreSeedOneAnd2500();
    void otherSeedDiffers();
    void replacesExistingFile();

    void everyCategoryValuePresent_data();
    void everyCategoryValuePresent();
    void commonCategoriesFrequent_data();
    void commonCategoriesFrequent();
    void fewForeignCategories();
    void nameAndKindNeverEmpty();

    void fieldSizes_data();
    void fieldSizes();
    void awkwardNames_data();
    void awkwardNames();
    void emptyNotesBothWays();
    void duplicateNames();

    void badArguments_data();
    void badArguments();
    void badArgumentsKeepExistingFile();

private:
    // Runs the generator; returns its exit code (-1 when it did not run).
    int runGendb(const QStringList& args, QString* errorOutput = nullptr);
    QString generate(const QString& fileName, const QStringList& args);
    QByteArray fileHash(const QString& path);
    qint64 countWhere(const QString& condition, const QVariantList& values = {});

    QTemporaryDir m_dir;
    QString m_defaultDb;
    QSqlDatabase m_db;
    QList<Row> m_rows;
};

int TestGendb::runGendb(const QStringList& args, QString* errorOutput)
{
    QProcess p;
    p.start(QString::fromUtf8(GENDB_PATH), args);
    if (!p.waitForStarted(30000) || !p.waitForFinished(120000))
        return -1;
    if (errorOutput)
        *errorOutput = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString TestGendb::generate(const QString& fileName, const QStringList& args)
{
    const QString path = m_dir.filePath(fileName);
    QString err;
    const int rc = runGendb(QStringList { QStringLiteral("--out"), path } + args, &err);
    if (rc != 0) {
        qWarning("gendb failed with %d: %s", rc, qPrintable(err));
        return {};
    }
    return path;
}

QByteArray TestGendb::fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

qint64 TestGendb::countWhere(const QString& condition, const QVariantList& values)
{
    QSqlQuery q(m_db);
    if (!q.prepare(QStringLiteral("SELECT COUNT(*) FROM ") + quoted(kTable) + QStringLiteral(" WHERE ") + condition))
        return -1;
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

void TestGendb::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFileInfo::exists(QString::fromUtf8(GENDB_PATH)));

    // The default database, as the build writes it: no --records, no --seed.
    m_defaultDb = generate(QStringLiteral("default.mdb"), {});
    QVERIFY(!m_defaultDb.isEmpty());
    QVERIFY(!QFileInfo::exists(m_defaultDb + QStringLiteral(".tmp")));

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tst_gendb"));
    m_db.setDatabaseName(m_defaultDb);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    QVERIFY2(m_db.open(), qPrintable(m_db.lastError().text()));

    QSqlQuery q(m_db);
    QVERIFY(q.exec(QStringLiteral("SELECT \"Код\", \"название\", \"адрес\", \"тел\", \"вид_деят\", \"пояснение\" FROM ")
        + quoted(kTable) + QStringLiteral(" ORDER BY \"Код\"")));
    while (q.next()) {
        Row r;
        r.code = q.value(0).toLongLong();
        r.name = q.value(1).toString();
        r.address = q.value(2).toString();
        r.phone = q.value(3).toString();
        r.kind = q.value(4).toString();
        if (!q.isNull(5))
            r.note = q.value(5).toString();
        m_rows.append(r);
    }
}

void TestGendb::cleanupTestCase()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("tst_gendb"));
}

// ---------------------------------------------------------------------------
// The table

void TestGendb::schema_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("primaryKey");

    QTest::newRow("Код") << 0 << QStringLiteral("Код") << QStringLiteral("INTEGER") << true;
    QTest::newRow("название") << 1 << QStringLiteral("название") << QStringLiteral("VARCHAR(100)") << false;
    QTest::newRow("адрес") << 2 << QStringLiteral("адрес") << QStringLiteral("VARCHAR(50)") << false;
    QTest::newRow("тел") << 3 << QStringLiteral("тел") << QStringLiteral("VARCHAR(50)") << false;
    QTest::newRow("вид_деят") << 4 << QStringLiteral("вид_деят") << QStringLiteral("VARCHAR(150)") << false;
    QTest::newRow("пояснение") << 5 << QStringLiteral("пояснение") << QStringLiteral("VARCHAR(200)") << false;
}

void TestGendb::schema()
{
    QFETCH(int, column);
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(bool, primaryKey);

    QSqlQuery q(m_db);
    QVERIFY(q.exec(QStringLiteral("PRAGMA table_info(") + quoted(kTable) + QLatin1Char(')')));
    int columns = 0;
    bool seen = false;
    while (q.next()) {
        ++columns;
        if (q.value(0).toInt() != column)
            continue;
        seen = true;
        QCOMPARE(q.value(1).toString(), name);
        QCOMPARE(q.value(2).toString(), type);
        QCOMPARE(q.value(5).toInt() != 0, primaryKey);
    }
    QCOMPARE(columns, 6);
    QVERIFY(seen);

    if (primaryKey) {
        QSqlQuery s(m_db);
        QVERIFY(s.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '") + kTable + QLatin1Char('\'')));
        QVERIFY(s.next());
        QVERIFY(s.value(0).toString().contains(QStringLiteral("\"Код\" INTEGER PRIMARY KEY AUTOINCREMENT")));
    }
}

void TestGendb::noOtherTablesOrIndexes()
{
    QSqlQuery q(m_db);
    QVERIFY(q.exec(QStringLiteral("SELECT type, name FROM sqlite_master ORDER BY name")));
    QStringList own;
    while (q.next()) {
        const QString type = q.value(0).toString();
        const QString name = q.value(1).toString();
        QVERIFY2(type == QStringLiteral("table"), qPrintable(type + QLatin1Char(' ') + name));
        if (!name.startsWith(QStringLiteral("sqlite_")))
            own << name;
    }
    QCOMPARE(own, QStringList { kTable });
}

void TestGendb::recordCount_data()
{
    QTest::addColumn<QString>("records");
    QTest::addColumn<int>("expected");

    QTest::newRow("default") << QString() << 2500;
    QTest::newRow("none") << QStringLiteral("0") << 0;
    QTest::newRow("one") << QStringLiteral("1") << 1;
    QTest::newRow("fewer than the planned cases") << QStringLiteral("40") << 40;
    QTest::newRow("some hundreds") << QStringLiteral("700") << 700;
}

void TestGendb::recordCount()
{
    QFETCH(QString, records);
    QFETCH(int, expected);

    QString path = m_defaultDb;
    if (!records.isEmpty()) {
        path = generate(QStringLiteral("count-%1.mdb").arg(records), { QStringLiteral("--records"), records });
        QVERIFY(!path.isEmpty());
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT \"Код\"), MIN(\"Код\"), MAX(\"Код\") FROM ")
            + quoted(kTable)));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), expected);
        QCOMPARE(q.value(1).toInt(), expected);
        if (expected > 0) {
            QCOMPARE(q.value(2).toInt(), 1);
            QCOMPARE(q.value(3).toInt(), expected);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
}

// ---------------------------------------------------------------------------
// Determinism

void TestGendb::sameSeedSameBytes_data()
{
    QTest::addColumn<QString>("records");
    QTest::addColumn<QString>("seed");

    QTest::newRow("default size, seed 1") << QStringLiteral("2500") << QStringLiteral("1");
    QTest::newRow("small, seed 0") << QStringLiteral("25") << QStringLiteral("0");
    QTest::newRow("larger, big seed") << QStringLiteral("20000") << QStringLiteral("18446744073709551615");
}

void TestGendb::sameSeedSameBytes()
{
    QFETCH(QString, records);
    QFETCH(QString, seed);

    const QStringList args { QStringLiteral("--records"), records, QStringLiteral("--seed"), seed };
    const QString a = generate(QStringLiteral("same-a.mdb"), args);
    const QString b = generate(QStringLiteral("same-b.mdb"), args);
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    QVERIFY(QFileInfo(a).size() > 0);
    QCOMPARE(QFileInfo(a).size(), QFileInfo(b).size());
    QCOMPARE(fileHash(a), fileHash(b));
}

void TestGendb::defaultsAreSeedOneAnd2500()
{
    const QString explicitArgs = generate(QStringLiteral("explicit.mdb"),
        { QStringLiteral("--seed"), QStringLiteral("1"), QStringLiteral("--records"), QStringLiteral("2500") });
    QVERIFY(!explicitArgs.isEmpty());
    QCOMPARE(fileHash(explicitArgs), fileHash(m_defaultDb));

    // The "--name=value" spelling means the same.
    const QString inlineArgs
        = generate(QStringLiteral("inline.mdb"), { QStringLiteral("--seed=1"), QStringLiteral("--records=2500") });
    QVERIFY(!inlineArgs.isEmpty());
    QCOMPARE(fileHash(inlineArgs), fileHash(m_defaultDb));
}

void TestGendb::otherSeedDiffers()
{
    const QString other = generate(QStringLiteral("seed2.mdb"), { QStringLiteral("--seed"), QStringLiteral("2") });
    QVERIFY(!other.isEmpty());
    QVERIFY(fileHash(other) != fileHash(m_defaultDb));
}

void TestGendb::replacesExistingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("replace.mdb"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database");
    }
    QCOMPARE(runGendb({ QStringLiteral("--out"), path, QStringLiteral("--records"), QStringLiteral("10") }), 0);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".tmp")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(16), QByteArray("SQLite format 3\0", 16));
}

// ---------------------------------------------------------------------------
// Categories

void TestGendb::everyCategoryValuePresent_data()
{
    QTest::addColumn<QString>("value");
    const std::vector<std::string_view> values = catalogue::distinctCategoryValues();
    QVERIFY(!values.empty());
    for (std::string_view v : values) {
        const QString value = fromUtf8(v);
        QTest::newRow(qPrintable(value)) << value;
    }
}

void TestGendb::everyCategoryValuePresent()
{
    QFETCH(QString, value);
    QVERIFY2(countWhere(QStringLiteral("\"вид_деят\" = ?"), { value }) >= 1, qPrintable(value));
}

void TestGendb::commonCategoriesFrequent_data()
{
    QTest::addColumn<QString>("value");
    for (const char* v : { "Продукты", "Аптека", "Магазины", "Парикмахерская", "кафе, рестораны, таверны", "Одежда" })
        QTest::newRow(v) << QString::fromUtf8(v);
}

void TestGendb::commonCategoriesFrequent()
{
    QFETCH(QString, value);
    const qint64 n = countWhere(QStringLiteral("\"вид_деят\" = ?"), { value });
    QVERIFY2(n >= 24, qPrintable(QStringLiteral("%1: %2").arg(value).arg(n)));
}

void TestGendb::fewForeignCategories()
{
    QSet<QString> known;
    for (std::string_view v : catalogue::distinctCategoryValues())
        known.insert(fromUtf8(v));
    int foreign = 0;
    for (const Row& r : std::as_const(m_rows))
        if (!known.contains(r.kind))
            ++foreign;
    QVERIFY(foreign >= 1);
    QVERIFY2(foreign <= 10, qPrintable(QString::number(foreign)));
}

void TestGendb::nameAndKindNeverEmpty()
{
    QCOMPARE(countWhere(QStringLiteral("\"название\" IS NULL OR \"название\" = ''")), qint64(0));
    QCOMPARE(countWhere(QStringLiteral("\"вид_деят\" IS NULL OR \"вид_деят\" = ''")), qint64(0));
    QCOMPARE(countWhere(QStringLiteral("\"адрес\" IS NULL OR \"тел\" IS NULL")), qint64(0));
}

// ---------------------------------------------------------------------------
// Field contents

void TestGendb::fieldSizes_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("cyrillicAtFullSize");

    QTest::newRow("название") << 0 << 100 << true;
    QTest::newRow("адрес") << 1 << 50 << true;
    QTest::newRow("тел") << 2 << 50 << false;
    QTest::newRow("вид_деят") << 3 << 150 << true;
    QTest::newRow("пояснение") << 4 << 200 << true;
}

void TestGendb::fieldSizes()
{
    QFETCH(int, field);
    QFETCH(int, size);
    QFETCH(bool, cyrillicAtFullSize);

    int atSize = 0;
    bool cyrillic = false;
    qsizetype longest = 0;
    for (const Row& r : std::as_const(m_rows)) {
        const QString value = field == 0 ? r.name
            : field == 1                 ? r.address
            : field == 2                 ? r.phone
            : field == 3                 ? r.kind
                                         : r.note.value_or(QString());
        longest = std::max(longest, value.size());
        if (value.size() == size) {
            ++atSize;
            cyrillic = cyrillic || hasCyrillic(value);
        }
    }
    QVERIFY2(longest <= size, qPrintable(QStringLiteral("longest %1").arg(longest)));
    QVERIFY(atSize >= 1);
    if (cyrillicAtFullSize)
        QVERIFY(cyrillic);
}

void TestGendb::awkwardNames_data()
{
    QTest::addColumn<QString>("awkwardness");
    QTest::newRow("apostrophe") << QStringLiteral("apostrophe");
    QTest::newRow("straight double quote") << QStringLiteral("doubleQuote");
    QTest::newRow("double quote first") << QStringLiteral("doubleQuoteFirst");
    QTest::newRow("Latin only") << QStringLiteral("latin");
    QTest::newRow("digit first") << QStringLiteral("digit");
    QTest::newRow("lower-case first") << QStringLiteral("lower");
    QTest::newRow("capital Ё") << QStringLiteral("capitalYo");
    QTest::newRow("small ё") << QStringLiteral("smallYo");
    QTest::newRow("Ё first") << QStringLiteral("yoFirst");
    QTest::newRow("guillemets") << QStringLiteral("guillemets");
    QTest::newRow("percent and underscore") << QStringLiteral("wildcards");
}

void TestGendb::awkwardNames()
{
    QFETCH(QString, awkwardness);

    auto isLatinOnly = [](const QString& s) {
        bool letter = false;
        for (QChar c : s) {
            if (c.unicode() >= 0x80)
                return false;
            letter = letter || c.isLetter();
        }
        return letter;
    };

    int matches = 0;
    for (const Row& r : std::as_const(m_rows)) {
        const QString& n = r.name;
        bool hit = false;
        if (awkwardness == QStringLiteral("apostrophe"))
            hit = n.contains(QLatin1Char('\''));
        else if (awkwardness == QStringLiteral("doubleQuote"))
            hit = n.contains(QLatin1Char('"'));
        else if (awkwardness == QStringLiteral("doubleQuoteFirst"))
            hit = n.startsWith(QLatin1Char('"'));
        else if (awkwardness == QStringLiteral("latin"))
            hit = isLatinOnly(n);
        else if (awkwardness == QStringLiteral("digit"))
            hit = n.at(0).isDigit();
        else if (awkwardness == QStringLiteral("lower"))
            hit = n.at(0).isLower();
        else if (awkwardness == QStringLiteral("capitalYo"))
            hit = n.contains(QChar(0x0401));
        else if (awkwardness == QStringLiteral("smallYo"))
            hit = n.contains(QChar(0x0451));
        else if (awkwardness == QStringLiteral("yoFirst"))
            hit = n.at(0) == QChar(0x0401) || n.at(0) == QChar(0x0451);
        else if (awkwardness == QStringLiteral("guillemets"))
            hit = n.contains(QChar(0x00AB)) && n.contains(QChar(0x00BB));
        else if (awkwardness == QStringLiteral("wildcards"))
            hit = n.contains(QLatin1Char('%')) || n.contains(QLatin1Char('_'));
        else
            QFAIL("unknown case");
        if (hit)
            ++matches;
    }
    QVERIFY2(matches >= 1, qPrintable(awkwardness));

    // The well-known examples themselves.
    if (awkwardness == QStringLiteral("apostrophe")) {
        QVERIFY(countWhere(QStringLiteral("\"название\" LIKE ?"), { QStringLiteral("%O'Neil%") }) >= 1);
        QVERIFY(countWhere(QStringLiteral("\"название\" LIKE ?"), { QStringLiteral("%Д'Артаньян%") }) >= 1);
    } else if (awkwardness == QStringLiteral("latin")) {
        QVERIFY(countWhere(QStringLiteral("\"название\" = ?"), { QStringLiteral("Computer Service") }) == 1);
    } else if (awkwardness == QStringLiteral("digit")) {
        QVERIFY(countWhere(QStringLiteral("\"название\" = ?"), { QStringLiteral("1000 мелочей") }) == 1);
    } else if (awkwardness == QStringLiteral("lower")) {
        QVERIFY(countWhere(QStringLiteral("\"название\" = ?"), { QStringLiteral("кафе «Уют»") }) >= 1);
    }
}

void TestGendb::emptyNotesBothWays()
{
    int nulls = 0, empties = 0, texts = 0;
    for (const Row& r : std::as_const(m_rows)) {
        if (!r.note)
            ++nulls;
        else if (r.note->isEmpty())
            ++empties;
        else
            ++texts;
    }
    QVERIFY(nulls >= 1);
    QVERIFY(empties >= 1);
    QVERIFY(texts >= m_rows.size() / 4);
    QVERIFY(countWhere(QStringLiteral("\"пояснение\" = ?"), { QStringLiteral("Круглосуточно") }) >= 1);
}

void TestGendb::duplicateNames()
{
    QHash<QString, int> byName;
    QHash<QString, int> byRecord;
    for (const Row& r : std::as_const(m_rows)) {
        ++byName[r.name];
        const QString whole
            = QStringList { r.name, r.address, r.phone, r.kind, r.note ? *r.note : QStringLiteral("<null>") }.join(
                QChar(0x1F));
        ++byRecord[whole];
    }
    int repeatedNames = 0;
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        if (it.value() > 1)
            ++repeatedNames;
    QVERIFY(repeatedNames >= 1);

    bool repeatedRecord = false;
    for (auto it = byRecord.cbegin(); it != byRecord.cend(); ++it)
        repeatedRecord = repeatedRecord || it.value() > 1;
    QVERIFY2(repeatedRecord, "no record entered twice");
}

// ---------------------------------------------------------------------------
// Bad arguments

void TestGendb::badArguments_data()
{
    // "@OUT" stands for the output path of the row.
    QTest::addColumn<QStringList>("args");
    const QString out = QStringLiteral("@OUT");
    const QString records = QStringLiteral("--records");
    const QString seed = QStringLiteral("--seed");

    QTest::newRow("no arguments") << QStringList {};
    QTest::newRow("no --out") << QStringList { records, QStringLiteral("10") };
    QTest::newRow("--out without value") << QStringList { QStringLiteral("--out") };
    QTest::newRow("--out empty") << QStringList { QStringLiteral("--out"), QString() };
    QTest::newRow("--out twice") << QStringList { QStringLiteral("--out"), out, QStringLiteral("--out"), out };
    QTest::newRow("--records without value") << QStringList { QStringLiteral("--out"), out, records };
    QTest::newRow("--records not a number")
        << QStringList { QStringLiteral("--out"), out, records, QStringLiteral("abc") };
    QTest::newRow("--records negative") << QStringList { QStringLiteral("--out"), out, records, QStringLiteral("-5") };
    QTest::newRow("--records too many") << QStringList { QStringLiteral("--out"), out, records,
        QStringLiteral("100000001") };
    QTest::newRow("--records trailing junk")
        << QStringList { QStringLiteral("--out"), out, records, QStringLiteral("12x") };
    QTest::newRow("--records fraction") << QStringList { QStringLiteral("--out"), out, records, QStringLiteral("2.5") };
    QTest::newRow("--records empty") << QStringList { QStringLiteral("--out"), out, QStringLiteral("--records=") };
    QTest::newRow("--seed not a number") << QStringList { QStringLiteral("--out"), out, seed, QStringLiteral("x") };
    QTest::newRow("--seed too big") << QStringList { QStringLiteral("--out"), out, seed,
        QStringLiteral("18446744073709551616") };
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--out"), out, QStringLiteral("--bogus") };
    QTest::newRow("stray word") << QStringList { QStringLiteral("--out"), out, QStringLiteral("extra") };
    QTest::newRow("missing folder") << QStringList { QStringLiteral("--out"), QStringLiteral("@MISSING") };
}

void TestGendb::badArguments()
{
    QFETCH(QStringList, args);

    const QString out = m_dir.filePath(QStringLiteral("bad.mdb"));
    const QString missing = m_dir.filePath(QStringLiteral("no-such-folder/bad.mdb"));
    for (QString& a : args) {
        if (a == QStringLiteral("@OUT"))
            a = out;
        else if (a == QStringLiteral("@MISSING"))
            a = missing;
    }

    QString err;
    const int rc = runGendb(args, &err);
    QVERIFY2(rc > 0, qPrintable(QStringLiteral("exit code %1").arg(rc)));
    QVERIFY(!err.trimmed().isEmpty());
    for (const QString& p : { out, missing }) {
        QVERIFY2(!QFileInfo::exists(p), qPrintable(p));
        QVERIFY2(!QFileInfo::exists(p + QStringLiteral(".tmp")), qPrintable(p));
    }
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("no-such-folder"))));
}

void TestGendb::badArgumentsKeepExistingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("keep.mdb"));
    QVERIFY(QFile::copy(m_defaultDb, path));
    const QByteArray before = fileHash(path);

    QVERIFY(runGendb({ QStringLiteral("--out"), path, QStringLiteral("--records"), QStringLiteral("many") }) > 0);
    QCOMPARE(fileHash(path), before);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".tmp")));
}

QTEST_GUILESS_MAIN(TestGendb)
#include "tst_gendb.moc"
