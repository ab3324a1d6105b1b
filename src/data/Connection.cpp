#include "data/Connection.h"

#include "data/DataError.h"

#include <QStringList>

Connection::Connection()
    : m_connectionString(designTimeConnectionString())
{
}

Connection::~Connection() = default;

void Connection::setConnectionString(const QString& value)
{
    if (value == m_connectionString)
        return;
    close();
    m_connectionString = value;
}

namespace {

// The value of one keyword of a "keyword=value;..." connection string.
QString keywordValue(const QString& connectionString, QLatin1String keyword)
{
    const QStringList pairs = connectionString.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (pair.left(eq).trimmed().compare(keyword, Qt::CaseInsensitive) == 0) {
            QString value = pair.mid(eq + 1).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

} // namespace

QString Connection::databasePath() const
{
    if (!m_connectionString.contains(QLatin1Char('=')))
        return m_connectionString.trimmed();
    return keywordValue(m_connectionString, QLatin1String("Data Source"));
}

bool Connection::readOnly() const
{
    return m_connectionString.contains(QLatin1Char('='))
        && keywordValue(m_connectionString, QLatin1String("Mode")).compare(QLatin1String("Read"), Qt::CaseInsensitive)
        == 0;
}

void Connection::open()
{
    if (m_store)
        return;
    const QString path = databasePath();
    if (path.isEmpty())
        throw DataError(QStringLiteral("Не указан файл базы данных."));
    m_store = Store::open(path, readOnly());
}

void Connection::close()
{
    m_store.reset();
}

Store& Connection::store()
{
    open();
    return *m_store;
}

QString Connection::designTimeConnectionString()
{
    static const char* const pairs[][2] = {
        { "Provider", "Microsoft.Jet.OLEDB.4.0" },
        { "Password", "\"\"" },
        { "User ID", "Admin" },
        { "Data Source", "C:\\SarvinoNew\\Sarvino.mdb" },
        { "Mode", "Share Deny None" },
        { "Extended Properties", "\"\"" },
        { "Jet OLEDB:System database", "\"\"" },
        { "Jet OLEDB:Registry Path", "\"\"" },
        { "Jet OLEDB:Database Password", "\"\"" },
        { "Jet OLEDB:Engine Type", "5" },
        { "Jet OLEDB:Database Locking Mode", "1" },
        { "Jet OLEDB:Global Partial Bulk Ops", "2" },
        { "Jet OLEDB:Global Bulk Transactions", "1" },
        { "Jet OLEDB:New Database Password", "\"\"" },
        { "Jet OLEDB:Create System Database", "False" },
        { "Jet OLEDB:Encrypt Database", "False" },
        { "Jet OLEDB:Don't Copy Locale on Compact", "False" },
        { "Jet OLEDB:Compact Without Replica Repair", "False" },
        { "Jet OLEDB:SFP", "False" },
    };
    QStringList joined;
    for (const auto& pair : pairs)
        joined << QString::fromLatin1(pair[0]) + QLatin1Char('=') + QString::fromLatin1(pair[1]);
    return joined.join(QLatin1Char(';'));
}
