// Filtering and sorting of the rows in memory, checked against a plain
// reading of each filter on random data, so the fast paths can never
// disagree with what a filter means.
#include "data/DataError.h"
#include "data/Filter.h"
#include "data/NameSearch.h"
#include "data/OrderCache.h"
#include "data/RowSelection.h"
#include "data/RowSet.h"
#include "data/SortedOrder.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/ucol.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

// The straightforward meaning of a filter: ICU's comparison applied to each
// row, one comparison at a time, and a stable sort.
class Reference {
public:
    explicit Reference(const RowSet& rows)
        : m_rows(rows)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_icu = ucol_open("ru", &status);
        ucol_setStrength(m_icu, UCOL_PRIMARY);
        ucol_setReorderCodes(m_icu, nullptr, 0, &status);
    }
    ~Reference() { ucol_close(m_icu); }

    int compare(const QString& a, const QString& b) const
    {
        return ucol_strcoll(m_icu, reinterpret_cast<const UChar*>(a.utf16()), int(a.size()),
            reinterpret_cast<const UChar*>(b.utf16()), int(b.size()));
    }

    bool beginsWith(const QString& text, const QString& prefix) const
    {
        for (qsizetype n = 0; n <= text.size(); ++n) {
            if (compare(text.left(n), prefix) == 0)
                return true;
        }
        return false;
    }

    bool contains(const QString& text, const QString& part) const
    {
        for (qsizetype from = 0; from <= text.size(); ++from) {
            if (beginsWith(text.mid(from), part))
                return true;
        }
        return false;
    }

    bool holds(int row, const Comparison& c) const
    {
        using Op = Comparison::Op;
        if (c.field == 0) {
            if (!c.value)
                return c.op == Op::NotEqual;
            const qint64 a = m_rows.key(row), b = c.value->toLongLong();
            switch (c.op) {
            case Op::Equal:
                return a == b;
            case Op::NotEqual:
                return a != b;
            case Op::Less:
                return a < b;
            case Op::Greater:
                return a > b;
            case Op::LessEqual:
                return a <= b;
            case Op::GreaterEqual:
                return a >= b;
            default:
                return false;
            }
        }
        const TextValue v = m_rows.value(row, c.field - 1);
        if (!c.value)
            return c.op == Op::Equal ? !v : bool(v);
        if (!v)
            return false;
        const int order = compare(*v, *c.value);
        switch (c.op) {
        case Op::Equal:
            return order == 0;
        case Op::NotEqual:
            return order != 0;
        case Op::Less:
            return order < 0;
        case Op::Greater:
            return order > 0;
        case Op::LessEqual:
            return order <= 0;
        case Op::GreaterEqual:
            return order >= 0;
        case Op::Like:
            switch (c.pattern) {
            case Comparison::Pattern::Whole:
                return order == 0;
            case Comparison::Pattern::Prefix:
                return beginsWith(*v, *c.value);
            case Comparison::Pattern::Contains:
                return contains(*v, *c.value);
            }
        }
        return false;
    }

    std::vector<std::uint32_t> select(const Filter& filter, const std::vector<SortKey>& keys) const
    {
        std::vector<std::uint32_t> result;
        for (int row = 0; row < m_rows.rowCount(); ++row) {
            if (m_rows.isDeleted(row))
                continue;
            bool any = filter.admitsAll();
            for (const auto& alternative : filter.alternatives) {
                any = any || std::all_of(alternative.begin(), alternative.end(), [&](const Comparison& c) {
                    return holds(row, c);
                });
            }
            if (any)
                result.push_back(std::uint32_t(row));
        }
        std::stable_sort(result.begin(), result.end(), [&](std::uint32_t a, std::uint32_t b) {
            for (const SortKey& key : keys) {
                int order;
                if (key.field == 0)
                    order = m_rows.key(int(a)) < m_rows.key(int(b)) ? -1 : m_rows.key(int(a)) > m_rows.key(int(b));
                else
                    order = compare(m_rows.text(int(a), key.field - 1), m_rows.text(int(b), key.field - 1));
                if (order != 0)
                    return key.descending ? order > 0 : order < 0;
            }
            return false;
        });
        return result;
    }

private:
    const RowSet& m_rows;
    UCollator* m_icu = nullptr;
};

const std::vector<FieldDef>& fields()
{
    return directoryFields();
}

} // namespace

class TestSelection : public QObject {
    Q_OBJECT

private slots:
    void agreesWithPlainReading();
    void editsAndDeletionsAreSeen();
    void malformedInputIsRefused();
    void repeatedValuesAreStoredOnce();
    void columnPackedAnewKeepsEveryValue();
    void keysOfAnySizeAreKept();
    void orderHoldsForAnyAlphabet_data();
    void orderHoldsForAnyAlphabet();
    void substringOfALongValue_data();
    void substringOfALongValue();
    void fewRowsOfMuchTextAreSortedByAWorker();
    void bothWorkersShareTheLastBuild();
    void longValuesSortAsWhole_data();
    void longValuesSortAsWhole();
    void orderTakenInWhileSharingStops();
    void searchTypedOnLooksAtWhatWasFound();

private:
    void verifyOrder(const RowSet& rows);
    QRandomGenerator m_random { 20261207 };
    QString randomText(int maxLength);
    QString randomFilter(const RowSet& rows);
};

QString TestSelection::randomText(int maxLength)
{
    // A small alphabet, so that texts share beginnings and are often equal.
    static const QString alphabet = QStringLiteral("аАбБеЁёяЯ 1'\"z-Z");
    QString s;
    const int n = int(m_random.bounded(maxLength + 1));
    for (int i = 0; i < n; ++i)
        s += alphabet.at(m_random.bounded(alphabet.size()));
    return s;
}

QString TestSelection::randomFilter(const RowSet& rows)
{
    static const char* const ops[] = { "=", "<>", "<", ">", "<=", ">=", "like" };
    static const char* const names[] = { "Код", "название", "АДРЕС", "[тел]", "вид_деят", "пояснение" };
    QStringList alternatives;
    const int alternativeCount = 1 + int(m_random.bounded(3));
    for (int a = 0; a < alternativeCount; ++a) {
        QStringList comparisons;
        const int comparisonCount = 1 + int(m_random.bounded(3));
        for (int c = 0; c < comparisonCount; ++c) {
            const int field = m_random.bounded(10) == 0 ? 0 : 1 + int(m_random.bounded(5));
            int op = int(m_random.bounded(7));
            QString value;
            if (field == 0) {
                op = int(m_random.bounded(6));
                value = QString::number(m_random.bounded(rows.rowCount() + 2));
            } else {
                // Often a value that occurs, or the beginning of one.
                QString text = randomText(3);
                if (m_random.bounded(2) && rows.rowCount() > 0) {
                    const int row = int(m_random.bounded(rows.rowCount()));
                    text = rows.text(row, field - 1).left(int(m_random.bounded(4)));
                }
                text.remove(QLatin1Char('*')).remove(QLatin1Char('%'));
                if (op == 6) {
                    const int form = int(m_random.bounded(3));
                    text = form == 0 ? text
                        : form == 1  ? text + QLatin1Char('*')
                                     : QLatin1Char('%') + text + QLatin1Char('%');
                }
                value = QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
                if (op < 2 && m_random.bounded(12) == 0)
                    value = QStringLiteral("NULL");
            }
            comparisons << QString::fromUtf8(names[field]) + QLatin1Char(' ') + QString::fromLatin1(ops[op])
                    + QLatin1Char(' ') + value;
        }
        QString group = comparisons.join(m_random.bounded(2) ? QStringLiteral(" and ") : QStringLiteral(" AND  "));
        if (alternativeCount > 1 && comparisons.size() > 1)
            group = QLatin1Char('(') + group + QLatin1Char(')');
        alternatives << group;
    }
    return alternatives.join(QStringLiteral(" Or "));
}

void TestSelection::agreesWithPlainReading()
{
    int nonTrivial = 0; // results that are neither empty nor everything
    int scanned = 0; // of them, also found without the orders
    const std::atomic<bool> stop { false };
    for (int round = 0; round < 6; ++round) {
        RowSet rows(5);
        const int n = 50 + int(m_random.bounded(150 * (round + 1)));
        for (int i = 0; i < n; ++i) {
            const int row = rows.appendRow(i + 1);
            for (int c = 0; c < 5; ++c) {
                if (m_random.bounded(8) == 0)
                    continue; // no value
                rows.setValue(row, c, randomText(c == 0 ? 14 : 5));
            }
            if (m_random.bounded(30) == 0)
                rows.markDeleted(row);
        }
        OrderCache orders(rows, fields());
        RowSelection selection(rows, fields(), orders);
        if (round % 2)
            orders.buildInBackground();
        const Reference reference(rows);
        static const char* const sorts[]
            = { "", "название", "адрес DESC", "тел", "вид_деят,название desc", "Код desc", "пояснение" };
        for (int i = 0; i < 150; ++i) {
            const QString filter = i == 0 ? QString() : randomFilter(rows);
            const QString sort = QString::fromUtf8(sorts[m_random.bounded(7)]);
            const std::vector<std::uint32_t> expected
                = reference.select(Filter::parse(filter, fields()), parseSortFields(sort, fields()));
            const std::vector<std::uint32_t> actual = selection.select(filter, sort);
            nonTrivial += !expected.empty() && expected.size() < std::size_t(n) * 9 / 10;
            // Looking at every row finds the same, where it answers.
            const std::optional<std::vector<std::uint32_t>> scan
                = selection.scan(Selection::parse(filter, sort, fields()), std::size_t(n), stop);
            scanned += scan && !expected.empty() && expected.size() < std::size_t(n) * 9 / 10;
            for (const auto& [how, got] :
                { std::pair { "", &actual }, std::pair { " (scanned)", scan ? &*scan : &expected } }) {
                if (*got != expected) {
                    QFAIL(qPrintable(QStringLiteral("filter «%1», sort «%2»%3: %4 rows instead of %5")
                                         .arg(filter, sort, QString::fromUtf8(how))
                                         .arg(got->size())
                                         .arg(expected.size())));
                }
            }
        }
    }
    QVERIFY2(nonTrivial > 300, qPrintable(QString::number(nonTrivial)));
    QVERIFY2(scanned > 100, qPrintable(QString::number(scanned)));
}

void TestSelection::editsAndDeletionsAreSeen()
{
    RowSet rows(5);
    for (const char* name : { "Бета", "Альфа", "Гамма" }) {
        const int row = rows.appendRow(rows.rowCount() + 1);
        rows.setValue(row, 0, QString::fromUtf8(name));
    }
    OrderCache orders(rows, fields());
    RowSelection selection(rows, fields(), orders);
    QCOMPARE(selection.select(QString(), QStringLiteral("название")), (std::vector<std::uint32_t> { 1, 0, 2 }));
    orders.hold(1);
    rows.setValue(0, 0, QStringLiteral("Ярус"));
    orders.release(1);
    QCOMPARE(selection.select(QString(), QStringLiteral("название")), (std::vector<std::uint32_t> { 1, 2, 0 }));
    // A view of every row, in stored order or one field's, holds no list
    // of its own, and says the same as the list would.
    for (const char* sort : { "", "название", "название desc" }) {
        const Selection all = Selection::parse(QString(), QString::fromUtf8(sort), fields());
        QCOMPARE(selection.view(all), RowView(selection.select(all)));
    }
    rows.markDeleted(1);
    QCOMPARE(selection.view(Selection::parse(QString(), QStringLiteral("название"), fields())),
        RowView(std::vector<std::uint32_t> { 2, 0 }));
    QCOMPARE(selection.select(QStringLiteral("название<'Я'"), QStringLiteral("название")),
        (std::vector<std::uint32_t> { 2 }));
    orders.holdAll();
    rows.appendRow(9);
    rows.setValue(3, 0, QStringLiteral("Ау"));
    orders.releaseAll(rows.rowCount());
    QCOMPARE(selection.select(QStringLiteral("название like 'а*'"), QString()), (std::vector<std::uint32_t> { 3 }));
}

void TestSelection::malformedInputIsRefused()
{
    RowSet rows(5);
    OrderCache orders(rows, fields());
    RowSelection selection(rows, fields(), orders);
    QVERIFY_THROWS_EXCEPTION(DataError, selection.select(QStringLiteral("название='О'Нил'"), QString()));
    QVERIFY_THROWS_EXCEPTION(DataError, selection.select(QString(), QStringLiteral("улица")));
}

// A column of few distinct values keeps each once, and so does a column of
// many that mostly repeat (a town's names); a value keeps its kind, and a
// column of values that mostly differ goes on storing each as it comes.
void TestSelection::repeatedValuesAreStoredOnce()
{
    RowSet rows(3);
    const std::string_view kind = "Аптеки и аптечные пункты";
    // 18,000 names drawn at random: by the 16,384th distinct one, more
    // than half of the names read were met before, as in a town's file.
    constexpr int n = 200000, names = 18000;
    std::vector<std::uint32_t> drawn(n);
    std::mt19937 random(42);
    for (std::uint32_t& name : drawn)
        name = std::uint32_t(random() % names);
    const auto nameOf = [&](int i) { return "ООО «Ромашка-" + std::to_string(drawn[std::size_t(i)]) + "»"; };
    for (int i = 0; i < n; ++i) {
        const int row = rows.appendRow(i);
        const StoredType type = i % 3 == 0 ? StoredType::Integer : StoredType::Text;
        rows.setUtf8(row, 0, i % 2 ? kind : std::string_view("5"), type);
        const std::string unique = std::to_string(i);
        rows.setUtf8(row, 1, unique, StoredType::Text);
        rows.setUtf8(row, 2, nameOf(i));
    }
    for (int row : { 0, 1, 2, 3, n - 1 }) {
        QCOMPARE(rows.stored(row, 0).type, row % 3 == 0 ? StoredType::Integer : StoredType::Text);
        QCOMPARE(rows.stored(row, 0).bytes, row % 2 ? kind : std::string_view("5"));
        QCOMPARE(rows.stored(row, 1).bytes, std::string_view(std::to_string(row)));
        QCOMPARE(rows.stored(row, 2).bytes, std::string_view(nameOf(row)));
    }
    QVERIFY(rows.sharesValues(0));
    QVERIFY(!rows.sharesValues(1));
    QVERIFY(rows.sharesValues(2));
    // The names, about 30 bytes each, are kept once: half a megabyte, not 6.
    QVERIFY2(rows.columnBytes(2) < std::size_t(names) * 32, qPrintable(QString::number(rows.columnBytes(2))));
    // The second column's texts, about 5.9 bytes each, the names, the cells
    // (in chunks of 65,536 rows; the keys follow each other and take none)
    // and a block being filled per column: the first column's texts, 4.6 MB
    // one by one, take next to nothing.
    const std::size_t cells = std::size_t(4 << 16) * (1 + 3 * 8);
    QVERIFY2(rows.memoryUsage() < cells + std::size_t(n) * 7 + std::size_t(names) * 32 + (3u << 20),
        qPrintable(QString::number(rows.memoryUsage())));
}

// A column packed anew holds every value, with the kind it was stored as,
// each distinct value once; one left unfinished by a change holds them too,
// and the next packing lets both the old and the unfinished blocks go. A
// column of shared values is numbered the same way. Changes and new rows
// after it are kept.
void TestSelection::columnPackedAnewKeepsEveryValue()
{
    constexpr int n = 150000;
    constexpr std::uint32_t groupCount = 10;
    const std::string big(300000, 'z'); // a block of its own
    std::vector<std::optional<std::string>> values(n);
    std::vector<StoredType> types(n);
    std::vector<std::uint32_t> groupOf(n, 0u);
    const std::string_view kinds[] = { "Аптеки", "5", "" };
    RowSet rows(3);
    for (int i = 0; i < n; ++i) {
        const int row = rows.appendRow(i);
        if (i % 7)
            rows.setUtf8(row, 2, kinds[i % 3], StoredType(i % 4));
        if (i % 97 == 0)
            values[std::size_t(i)] = std::nullopt;
        else if (i % 89 == 0)
            values[std::size_t(i)] = std::string();
        else if (i % 50000 == 7)
            values[std::size_t(i)] = big;
        else
            values[std::size_t(i)] = "Общество с ограниченной ответственностью «" + std::to_string(i % 700) + "»";
        // Groups hold several values, as equal keys may hold different bytes.
        groupOf[std::size_t(i)] = std::uint32_t(i % 700 % groupCount);
        types[std::size_t(i)] = i % 5 == 0 ? StoredType::Integer : StoredType::Text;
        if (values[std::size_t(i)])
            rows.setUtf8(row, 0, *values[std::size_t(i)], types[std::size_t(i)]);
        rows.setUtf8(row, 1, std::to_string(i));
    }
    const auto verifyValues = [&] {
        for (int row = 0; row < n; ++row) {
            const std::optional<std::string>& value = values[std::size_t(row)];
            QCOMPARE(rows.isNull(row, 0), !value);
            if (value) {
                QCOMPARE(rows.stored(row, 0).bytes, std::string_view(*value));
                QCOMPARE(rows.stored(row, 0).type, types[std::size_t(row)]);
            }
            QCOMPARE(rows.utf8(row, 1), std::string_view(std::to_string(row)));
            QCOMPARE(rows.isNull(row, 2), row % 7 == 0);
            if (row % 7) {
                QCOMPARE(rows.stored(row, 2).type, StoredType(row % 4));
                QCOMPARE(rows.stored(row, 2).bytes, kinds[row % 3]);
            }
        }
    };
    const auto groups = std::make_shared<const PackedNumbers>(groupOf, groupCount - 1);
    const std::size_t before = rows.memoryUsage();
    const std::size_t columnBefore = rows.columnBytes(0);

    auto unfinished = rows.beginSqueeze(0, groups, groupCount);
    QVERIFY(!rows.squeezeSome(*unfinished, n / 3));
    unfinished.reset();
    verifyValues();
    rows.setValue(5, 0, QStringLiteral("другое"));
    values[5] = "другое";
    types[5] = StoredType::Text;

    auto squeeze = rows.beginSqueeze(0, groups, groupCount);
    while (!rows.squeezeSome(*squeeze, 10000)) { }
    QVERIFY(rows.squeezeSome(*squeeze, 1)); // done stays done
    verifyValues();
    // 701 values of about 80 bytes are left of 12 MB, in one block.
    QVERIFY2(rows.columnBytes(0) < 60000, qPrintable(QString::number(rows.columnBytes(0))));
    QCOMPARE(rows.columnBytesSqueezed(0), rows.columnBytes(0));
    QVERIFY(rows.sharesValues(2));
    auto shared = rows.beginSqueeze(2, nullptr, 0);
    QVERIFY(rows.squeezeSome(*shared, n));
    verifyValues();
    // Both columns' rows hold numbers now instead of 8-byte cells: two
    // bytes for the 705 values of the first, one for the few of the third.
    const std::size_t numbered = std::size_t(3) * (6 + 7) * 65536;
    QVERIFY2(rows.memoryUsage() + columnBefore + numbered - (1u << 20) <= before,
        qPrintable(QStringLiteral("%1 of %2").arg(rows.memoryUsage()).arg(before)));

    rows.setValue(9, 0, QStringLiteral("ещё"));
    rows.place(10, 2, rows.prepare(2, std::nullopt));
    rows.place(11, 2, rows.prepare(2, QStringLiteral("Кафе")));
    const int added = rows.appendRow(n);
    rows.place(added, 0, rows.prepare(0, QStringLiteral("новое")));
    QCOMPARE(rows.text(9, 0), QStringLiteral("ещё"));
    QVERIFY(rows.isNull(10, 2));
    QCOMPARE(rows.text(11, 2), QStringLiteral("Кафе"));
    QCOMPARE(rows.text(added, 0), QStringLiteral("новое"));
    QVERIFY(rows.isNull(added, 2));
    QCOMPARE(rows.text(12, 0), QString::fromStdString(*values[12]));

    // Enough new kinds that their numbers no longer fit a byte, then two:
    // the rows changed and their neighbours all keep their values.
    std::vector<std::pair<int, QString>> changed;
    for (int i = 0; i < 70000; ++i) {
        const int row = int((std::uint64_t(i) * 7919) % n);
        const QString kind = QStringLiteral("вид %1").arg(i);
        rows.place(row, 2, rows.prepare(2, kind));
        changed.emplace_back(row, kind);
    }
    std::vector<std::optional<QString>> kindOf(n);
    for (int row = 0; row < n; ++row) {
        if (row % 7)
            kindOf[std::size_t(row)] = QString::fromUtf8(kinds[row % 3].data(), qsizetype(kinds[row % 3].size()));
    }
    kindOf[10] = std::nullopt;
    kindOf[11] = QStringLiteral("Кафе");
    for (const auto& [row, kind] : changed)
        kindOf[std::size_t(row)] = kind;
    for (int row = 0; row < n; ++row) {
        QCOMPARE(rows.isNull(row, 2), !kindOf[std::size_t(row)]);
        if (kindOf[std::size_t(row)])
            QCOMPARE(rows.text(row, 2), *kindOf[std::size_t(row)]);
    }
}

// Keys are kept exactly however far apart they lie, also once the rows of a
// second reading follow the first's.
void TestSelection::keysOfAnySizeAreKept()
{
    constexpr qint64 lowest = std::numeric_limits<qint64>::min(), highest = std::numeric_limits<qint64>::max();
    std::vector<qint64> keys;
    for (int i = 0; i < 70000; ++i)
        keys.push_back(i + 1);
    for (qint64 far : { highest, lowest, qint64(-5), qint64(1) << 40, lowest + 1, qint64(3) })
        keys.insert(keys.begin() + std::ptrdiff_t(keys.size() / 7 * (keys.size() % 5)), far);
    keys.insert(keys.begin() + 65536, lowest); // a chunk's first row
    RowSet rows(1), second(1);
    for (std::size_t i = 0; i < keys.size(); ++i)
        (i < keys.size() / 2 ? rows : second).appendRow(keys[i]);
    rows.appendRowsOf(second);
    QCOMPARE(rows.rowCount(), int(keys.size()));
    for (int row = 0; row < rows.rowCount(); ++row)
        QCOMPARE(rows.key(row), keys[std::size_t(row)]);
    QCOMPARE(rows.rowsSharingKeys().size(), std::size_t(4)); // 3 and the lowest, twice each

    // Whole chunks of keys that follow each other, the second beginning
    // with the first's last key.
    RowSet runs(1);
    for (qint64 key = 1; key <= 65536; ++key)
        runs.appendRow(key);
    for (qint64 key = 65536; key < 70000; ++key)
        runs.appendRow(key);
    QCOMPARE(runs.rowsSharingKeys(), (std::vector<std::uint32_t> { 65535, 65536 }));

    // Keys that follow each other, then one that does not, mid-chunk and
    // at the seam of the second reading; a row added after reserving room.
    RowSet dense(1), rest(1);
    std::vector<qint64> expected;
    for (qint64 key = 100; key < 100 + 70000; ++key) {
        const qint64 k = key == 30000 ? 5 : key;
        (expected.size() < 40000 ? dense : rest).appendRow(k);
        expected.push_back(k);
    }
    dense.appendRowsOf(rest);
    dense.reserveRow();
    const qint64 far = qint64(1) << 50;
    dense.appendRow(far);
    expected.push_back(far);
    for (int row = 0; row < dense.rowCount(); ++row)
        QCOMPARE(dense.key(row), expected[std::size_t(row)]);
}

// A substring is looked for a piece of a long value at a time: found
// wherever it lies, across the pieces too, as the collation compares.
void TestSelection::substringOfALongValue_data()
{
    QTest::addColumn<int>("at"); // where the part goes into 200,000 letters "б"; -1: nowhere
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("found");
    const QString part = QStringLiteral("ёЛка");
    QTest::newRow("at the start") << 0 << part << QStringLiteral("*ёлка*") << true;
    QTest::newRow("across the first piece's end") << 16383 << part << QStringLiteral("*ЕЛКА*") << true;
    QTest::newRow("in a later piece") << 120000 << part << QStringLiteral("*елка*") << true;
    QTest::newRow("at the end") << 200000 << part << QStringLiteral("*елка*") << true;
    QTest::newRow("nowhere") << -1 << part << QStringLiteral("*елка*") << false;
    QTest::newRow("one letter short at the end")
        << 200000 << QStringLiteral("ёлк") << QStringLiteral("*елка*") << false;
    // A character whose weight depends on its neighbour takes the whole value.
    QTest::newRow("a combining mark") << 100000 << QStringLiteral("и\u0306ка") << QStringLiteral("*йка*") << true;
}

void TestSelection::substringOfALongValue()
{
    QFETCH(int, at);
    QFETCH(QString, part);
    QFETCH(QString, pattern);
    QFETCH(bool, found);
    QString text(200000, QChar(0x0431));
    if (at >= 0)
        text.insert(at, part);
    RowSet rows(5);
    rows.setValue(rows.appendRow(1), 0, text);
    rows.setValue(rows.appendRow(2), 0, QStringLiteral("кот"));
    OrderCache orders(rows, fields());
    RowSelection selection(rows, fields(), orders);
    const auto expected = found ? std::vector<std::uint32_t> { 0 } : std::vector<std::uint32_t> {};
    QCOMPARE(selection.select(QStringLiteral("название like '%1'").arg(pattern), QString()), expected);
}

// A few rows holding much text are no small table: their order is never
// built by whoever asks (the window), only by a worker; and not while the
// workers are paused (a search looking through the rows has the cores).
void TestSelection::fewRowsOfMuchTextAreSortedByAWorker()
{
    RowSet rows(5);
    rows.setValue(rows.appendRow(1), 0, QString(int(OrderCache::SmallTextBytes) + 1, QLatin1Char('b')));
    rows.setValue(rows.appendRow(2), 0, QStringLiteral("a"));
    OrderCache orders(rows, fields());
    QVERIFY(!orders.tryOrder(1));
    orders.pause(true);
    orders.buildInBackground();
    QTest::qWait(300);
    QVERIFY(!orders.builtOrder(1));
    orders.pause(false);
    QTRY_VERIFY(orders.builtOrder(1));
    QCOMPARE(orders.order(1).sorted, (std::vector<std::uint32_t> { 1, 0 }));
}

// The one build left is shared by the two workers, each taking in half the
// rows: the order is the one built alone, and a change to the field while
// it is built stops the build, halves and all.
void TestSelection::bothWorkersShareTheLastBuild()
{
    RowSet rows(5);
    for (int i = 0; i < 200000; ++i) {
        const int row = rows.appendRow(i + 1);
        if (i % 97 != 3)
            rows.setUtf8(row, 0, std::to_string(m_random.bounded(150000)) + (i % 3 ? "-а" : "-Б"));
    }
    const std::atomic<bool> stop { false };
    const SortedOrder alone = SortedOrder::build(rows, 0, stop);
    OrderCache orders(rows, fields());
    orders.buildInBackground(); // names go first: most likely still under way
    orders.hold(1);
    QVERIFY(!orders.building(1) && !orders.builtOrder(1));
    orders.release(1);
    const SortedOrder& shared = orders.order(1);
    QVERIFY(!orders.building(1)); // no half taken in again
    QVERIFY(shared.sorted == alone.sorted);
    QVERIFY(shared.rank == alone.rank);
}

// A search typed on ("Ап" after "А") chooses among the rows the one before
// found, in their order; whether one narrows another is told by their bounds.
void TestSelection::searchTypedOnLooksAtWhatWasFound()
{
    RowSet rows(5);
    for (const char* name : { "Аптека", "Апельсин", "Ах", "Банк", "аптечный пункт", "Ап", "Б", "А", "аптека", "Аптёка",
             "АПТЕКА №2", "Апт", "Аптека" })
        rows.setValue(rows.appendRow(rows.rowCount() + 1), 0, QString::fromUtf8(name));
    rows.setNull(rows.appendRow(rows.rowCount() + 1), 0);
    OrderCache orders(rows, fields());
    RowSelection selection(rows, fields(), orders);
    const std::atomic<bool> stop { false };
    auto search = [&](const QString& text, const char* sort = "название") {
        return Selection::parse(
            namesearch::prefixFilter(text, namesearch::upperBound(text)), QString::fromUtf8(sort), fields());
    };
    const Selection a = search(QStringLiteral("А")), ap = search(QStringLiteral("Ап")),
                    apt = search(QStringLiteral("Апт")), b = search(QStringLiteral("Б"));
    QVERIFY(RowSelection::narrows(a, ap) && RowSelection::narrows(ap, apt) && RowSelection::narrows(a, apt));
    QVERIFY(RowSelection::narrows(ap, ap));
    QVERIFY(!RowSelection::narrows(ap, a) && !RowSelection::narrows(a, b) && !RowSelection::narrows(b, a));
    QVERIFY(!RowSelection::narrows(a, search(QStringLiteral("Ап"), "адрес")));
    QVERIFY(!RowSelection::narrows(a, search(QStringLiteral("Ап"), "название desc")));
    const Selection orWise = Selection::parse(QStringLiteral("название='Ап' or название='Б'"), QString(), fields());
    QVERIFY(!RowSelection::narrows(orWise, ap) && !RowSelection::narrows(a, orWise));
    // Sorted by name, the narrower answer is a stretch of the wider one;
    // sorted otherwise, it is chosen row by row.
    const Selection aptByAddress = search(QStringLiteral("Апт"), "адрес"),
                    exact = Selection::parse(QStringLiteral("название='аптека'"), QStringLiteral("название"), fields());
    for (const auto& [wide, narrower] : { std::pair(a, ap), std::pair(a, apt), std::pair(a, a), std::pair(ap, exact),
             std::pair(search(QStringLiteral("А"), "адрес"), aptByAddress) }) {
        const std::vector<std::uint32_t> found = selection.select(wide);
        const auto within = selection.scan(narrower, std::size_t(rows.rowCount()), stop, &found);
        QCOMPARE(within, std::optional(selection.select(narrower)));
    }
}

QTEST_GUILESS_MAIN(TestSelection)

// The order build packs the keys by the characters a column uses: a column
// of a few of them, of hundreds, and of tens of thousands.
void TestSelection::orderHoldsForAnyAlphabet_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("values");
    QTest::addColumn<QString>("beginning"); // texts begin with a part of it
    QString wide, wider;
    for (char16_t c = 0x0370; c < 0x0590; ++c)
        wide += QChar(c);
    for (char16_t c = 0x00C0; c < 0x0250; ++c)
        wide += QChar(c);
    for (char16_t c = 0x4E00; c < 0x9FA0; ++c)
        wider += QChar(c);
    for (char16_t c = 0xAC00; c < 0xD7A0; ++c)
        wider += QChar(c);
    QTest::newRow("few") << QStringLiteral("аАбБеЁёяЯ 1z-Z") << 3000 << QString();
    QTest::newRow("hundreds") << wide << 3000 << QString();
    QTest::newRow("tens of thousands") << wider << 40000 << QString();
    // Keys agreeing on dozens of bytes, ending at every length in between.
    QTest::newRow("long shared beginnings")
        << QStringLiteral("аАбБеЁёяЯ 1z-Z") << 20000 << QStringLiteral("ул. Профсоюзная, д. 1, кв. ");
}

void TestSelection::orderHoldsForAnyAlphabet()
{
    QFETCH(QString, alphabet);
    QFETCH(int, values);
    QFETCH(QString, beginning);
    RowSet rows(1);
    for (int i = 0; i < values; ++i) {
        const int row = rows.appendRow(i + 1);
        QString text;
        // Every character at least once, then random texts sharing beginnings.
        if (i < alphabet.size())
            text = QString(alphabet.at(i)) + alphabet.at(int(m_random.bounded(alphabet.size())));
        else
            text = beginning.left(int(m_random.bounded(beginning.size() + 1)));
        for (int n = i < alphabet.size() ? 0 : int(m_random.bounded(6)); n > 0; --n)
            text += alphabet.at(m_random.bounded(alphabet.size()));
        if (i % 50 != 7)
            rows.setValue(row, 0, text);
    }
    verifyOrder(rows);
}

// The first column's order is the collation's, equal values sharing a rank
// in stored order.
void TestSelection::verifyOrder(const RowSet& rows)
{
    const std::atomic<bool> stop { false };
    const SortedOrder order = SortedOrder::build(rows, 0, stop);
    QCOMPARE(order.sorted.size(), std::size_t(rows.rowCount()));
    const Reference reference(rows);
    for (std::size_t i = 1; i < order.sorted.size(); ++i) {
        const std::uint32_t a = order.sorted[i - 1], b = order.sorted[i];
        // No value sorts as the empty text does.
        const int expected = reference.compare(rows.text(int(a), 0), rows.text(int(b), 0));
        QVERIFY2(expected <= 0 && (expected == 0) == (order.rank[a] == order.rank[b]) && (expected != 0 || a < b),
            qPrintable(QStringLiteral("rows %1 / %2").arg(a).arg(b)));
    }
    // The same order from two builders over two parts of the rows, one
    // taking the other's values over, put in order on two threads: parts
    // of few rows and of many, so of few key units and of many.
    const int count = rows.rowCount();
    for (const int split : { count / 2, std::min(count, 10), std::max(count - 10, 0) }) {
        OrderBuilder first(rows, 0), later(rows, 0, split);
        first.add(split, stop);
        later.add(count, stop);
        first.absorb(later);
        const SortedOrder joined = first.finish(stop, true);
        QVERIFY(joined.sorted == order.sorted);
        QVERIFY(joined.rank == order.rank);
    }
}

// Values longer than a key's head are ordered by the head and, where heads
// agree, by the whole values, exactly as the collation orders them.
void TestSelection::longValuesSortAsWhole_data()
{
    QTest::addColumn<QStringList>("values");
    using namespace Qt::StringLiterals;
    const int head = int(OrderBuilder::KeyHeadBytes / 4); // characters whose key the head holds
    const QString same(head + 100, QChar(0x0431)); // "б"s
    const QString before = same.left(head - 1);
    const QString far = QString(2047, QChar(0x0431)) + QStringLiteral("и"); // 4,096 bytes
    const QString tail(3000, QLatin1Char('q'));
    QTest::newRow("a shared beginning longer than the head") << QStringList { same + u"в"_s, same + u"а"_s, same,
        same + u"аа"_s, same.left(head) + u"а"_s + same, u"я"_s, same + u"б"_s, u""_s };
    QTest::newRow("equal long values") << QStringList { same + u"x"_s, same + u"x"_s, same, same + u"x"_s, same };
    QTest::newRow("case and accents after the head") << QStringList { same + u"Б"_s, same + u"б"_s, same + u"е"_s,
        same + u"Ё"_s, same + u"ё"_s, same + u"е\u0301"_s, same + u"É"_s, same + u"e"_s, u"Ж"_s + same + u"в"_s,
        u"ж"_s + same.mid(1) + u"ба"_s, u"Ж"_s + same + u"в"_s };
    QTest::newRow("a combining mark where the head ends") << QStringList { before + u"и\u0306а"_s, before + u"йб"_s,
        before + u"иа"_s, before + u"и"_s, before + u"й"_s, before + u"й"_s };
    QTest::newRow("a combining mark where a piece of a comparison ends") << QStringList { far + u"\u0306"_s + tail,
        far + u"\u0306"_s + tail + u"б"_s, far + tail, u"Й"_s + far.mid(1) + tail, far.chopped(1) + u"й"_s + tail };
    QTest::newRow("differences far apart") << QStringList { same + tail + u"а"_s + same,
        same + tail + u"а"_s + same + u"a"_s, same + tail + u"А"_s + same, same + tail + u"б"_s + same,
        same.toUpper() + tail + u"а"_s + same, same + tail + u"а"_s + same.chopped(1) };
}

void TestSelection::longValuesSortAsWhole()
{
    QFETCH(QStringList, values);
    RowSet rows(1);
    for (const QString& value : values)
        rows.setValue(rows.appendRow(rows.rowCount() + 1), 0, value);
    verifyOrder(rows);
    // Put in order without the order, by the values' keys: the same.
    OrderCache orders(rows, fields());
    RowSelection selection(rows, fields(), orders);
    const std::atomic<bool> stop { false };
    for (const char* sort : { "название", "название desc" }) {
        const Selection wanted = Selection::parse(QStringLiteral("название >= ''"), QString::fromUtf8(sort), fields());
        QCOMPARE(selection.scan(wanted, values.size(), stop), selection.select(wanted));
    }
}

// An order that takes rows in while a column's values are shared, then no
// longer (too many different ones come), is the one built over all at once;
// a changed cell holding a shared value's bytes ranks with it.
void TestSelection::orderTakenInWhileSharingStops()
{
    RowSet rows(1);
    const auto append = [&](int count, auto valueOf) {
        for (int i = 0; i < count; ++i) {
            const int row = rows.appendRow(rows.rowCount() + 1);
            const std::string value = valueOf(i);
            rows.setUtf8(row, 0, value);
        }
    };
    append(30000, [](int i) { return "v" + std::to_string(i % 300); });
    rows.setValue(5, 0, QStringLiteral("v7"));
    QVERIFY(rows.sharesValues(0));
    const std::atomic<bool> stop { false };
    OrderBuilder builder(rows, 0);
    builder.add(rows.rowCount(), stop);
    // Three values in four new: sharing goes on for a while, then stops.
    append(200000, [](int i) { return i % 4 ? "u" + std::to_string(i) : "v" + std::to_string(i % 300); });
    QVERIFY(!rows.sharesValues(0));
    builder.add(rows.rowCount(), stop);
    const SortedOrder taken = builder.finish(stop);
    const SortedOrder whole = SortedOrder::build(rows, 0, stop);
    QVERIFY(taken.sorted == whole.sorted);
    QVERIFY(taken.rank == whole.rank);
    QCOMPARE(taken.rank[5], taken.rank[7]);
}

#include "tst_selection.moc"
