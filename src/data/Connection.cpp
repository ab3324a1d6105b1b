#include "data/Connection.h"

#include "data/DataError.h"

#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

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

// The pairs of a "keyword=value;..." connection string, in order; a part
// without "=" is a pair without a keyword. A value may stand in double
// quotes, and then holds ";" as it is.
std::vector<std::pair<QString, QString>> keywordPairs(const QString& text)
{
    std::vector<std::pair<QString, QString>> pairs;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), at);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), at);
        if (eq < 0 || (semicolon >= 0 && semicolon < eq)) {
            const QString part = text.mid(at, semicolon < 0 ? -1 : semicolon - at).trimmed();
            if (!part.isEmpty())
                pairs.emplace_back(QString(), part);
            if (semicolon < 0)
                break;
            at = semicolon + 1;
            continue;
        }
        const QString key = text.mid(at, eq - at).trimmed();
        qsizetype from = eq + 1;
        while (from < text.size() && text.at(from).isSpace())
            ++from;
        QString value;
        qsizetype next;
        const qsizetype close
            = from < text.size() && text.at(from) == QLatin1Char('"') ? text.indexOf(QLatin1Char('"'), from + 1) : -1;
        if (close > from) {
            value = text.mid(from + 1, close - from - 1);
            next = text.indexOf(QLatin1Char(';'), close);
        } else {
            next = text.indexOf(QLatin1Char(';'), from);
            value = text.mid(from, next < 0 ? -1 : next - from).trimmed();
        }
        pairs.emplace_back(key, value);
        if (next < 0)
            break;
        at = next + 1;
    }
    return pairs;
}

// Whether a keyword is one a connection string of this program's kind uses.
bool isKnownKeyword(const QString& key)
{
    static const char* const known[]
        = { "Provider", "Data Source", "Mode", "Password", "User ID", "Extended Properties", "Persist Security Info" };
    for (const char* k : known) {
        if (key.compare(QLatin1String(k), Qt::CaseInsensitive) == 0)
            return true;
    }
    return key.startsWith(QLatin1String("Jet OLEDB:"), Qt::CaseInsensitive);
}

// Only a list of such keywords' pairs is taken for a keyword list; anything
// else is a path, whatever characters it holds ("/opt/app=1/Sarvino.mdb").
bool isKeywordList(const QString& text)
{
    const auto pairs = keywordPairs(text);
    return !pairs.empty()
        && std::all_of(pairs.begin(), pairs.end(), [](const auto& pair) { return isKnownKeyword(pair.first); });
}

// The value of one keyword of a "keyword=value;..." connection string.
QString keywordValue(const QString& connectionString, QLatin1String keyword)
{
    for (const auto& [key, value] : keywordPairs(connectionString)) {
        if (key.compare(keyword, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

} // namespace

QString Connection::databasePath() const
{
    if (!isKeywordList(m_connectionString))
        return m_connectionString.trimmed();
    return keywordValue(m_connectionString, QLatin1String("Data Source"));
}

bool Connection::readOnly() const
{
    return isKeywordList(m_connectionString)
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
