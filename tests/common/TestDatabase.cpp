#include "TestDatabase.h"

#include "data/DirectorySchema.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

void TestDatabase::connect()
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    database.setDatabaseName(path());
    if (!database.open())
        throw std::runtime_error("cannot open test database");
}

std::unique_ptr<TestDatabase> TestDatabase::copyOf(const QString& path)
{
    return std::unique_ptr<TestDatabase>(new TestDatabase(CopyTag {}, path));
}

TestDatabase::TestDatabase(CopyTag, const QString& source)
    : m_connection(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!QFile::copy(source, path()))
        throw std::runtime_error("cannot copy test database");
    connect();
}

TestDatabase::TestDatabase(const QVector<TestRecord>& records)
    : m_connection(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    connect();
    QSqlDatabase database = db();
    exec(QString::fromStdString(schema::createTableSql()));
    database.transaction();
    for (const TestRecord& r : records) {
        exec(QString::fromStdString(schema::insertTextsSql()), { r.name, r.address, r.phone, r.kind, r.note });
    }
    database.commit();
}

TestDatabase::~TestDatabase()
{
    {
        QSqlDatabase database = QSqlDatabase::database(m_connection, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase TestDatabase::db()
{
    return QSqlDatabase::database(m_connection);
}

QVariant TestDatabase::exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery query(db());
    query.prepare(sql);
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        throw std::runtime_error(query.lastError().text().toStdString());
    if (query.next())
        return query.value(0);
    return query.numRowsAffected();
}

QVariant TestDatabase::value(qint64 key, const QString& field)
{
    QSqlQuery query(db());
    query.prepare(QStringLiteral("SELECT \"%1\" FROM \"главная\" WHERE \"Код\"=?").arg(field));
    query.addBindValue(key);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0);
}

int TestDatabase::count()
{
    return exec(QStringLiteral("SELECT count(*) FROM \"главная\"")).toInt();
}

QVector<TestRecord> TestDatabase::defaultRecords()
{
    const QVariant null { QMetaType(QMetaType::QString) };
    return {
        { QStringLiteral("Аптека №1"), QStringLiteral("ул. Ленина, 5"), QStringLiteral("3-12-45"),
            QStringLiteral("Аптека"), QStringLiteral("Круглосуточно") },
        { QStringLiteral("Магазин «Уют»"), QStringLiteral("пр. Шахтёров, 12"), QStringLiteral("3-44-10"),
            QStringLiteral("Продукты"), null },
        { QStringLiteral("ООО 'Ромашка'"), QStringLiteral("ул. Мира, 1"), QStringLiteral("8-905-123-45-67"),
            QStringLiteral("Магазины"), QString(QLatin1String("")) },
        { QStringLiteral("Computer Service"), QStringLiteral("ул. Советская, 40"), QStringLiteral("3-00-01"),
            QStringLiteral("Компьютеры"), QStringLiteral("Ремонт") },
        { QStringLiteral("ёлочка"), QStringLiteral("ул. Садовая, 2"), QStringLiteral("3-55-55"),
            QStringLiteral("Продукты"), null },
    };
}

QVector<TestRecord> TestDatabase::numbered(int n)
{
    QVector<TestRecord> records;
    for (int i = 0; i < n; ++i) {
        records.append(
            { QStringLiteral("Фирма %1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("ул. Ленина, %1").arg(i),
                QStringLiteral("3-%1").arg(i), QStringLiteral("Аптека"), QVariant() });
    }
    return records;
}
