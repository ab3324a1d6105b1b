// Small directory databases for tests, written into a temporary folder, and
// a second connection to read or change a file behind the program's back.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVector>

#include <memory>

struct TestRecord {
    QVariant name, address, phone, kind, note;
};

class TestDatabase {
public:
    // Creates <temporary folder>/Sarvino.mdb with the directory table.
    explicit TestDatabase(const QVector<TestRecord>& records = defaultRecords());
    // A copy of an existing database file (cheaper than writing many records again).
    static std::unique_ptr<TestDatabase> copyOf(const QString& path);
    ~TestDatabase();

    QString folder() const { return m_dir.path(); }
    QString path() const { return m_dir.filePath(QStringLiteral("Sarvino.mdb")); }

    // Runs one statement on the file through its own connection.
    QVariant exec(const QString& sql, const QVariantList& values = {});
    // The value of one field of the record with this key, straight from the file.
    QVariant value(qint64 key, const QString& field);
    int count();

    static QVector<TestRecord> defaultRecords();
    // n numbered records "Фирма 0001" … with the kind "Аптека".
    static QVector<TestRecord> numbered(int n);

private:
    struct CopyTag { };
    TestDatabase(CopyTag, const QString& path);
    void connect();
    QSqlDatabase db();
    QTemporaryDir m_dir;
    QString m_connection;
};
