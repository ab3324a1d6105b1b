#include "data/SortedOrder.h"

#include "data/Collation.h"
#include "data/RowSet.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// Between two looks at the stop flag.
constexpr int StopCheckRows = 1 << 16;

void checkStop(const std::atomic<bool>& stop)
{
    if (stop.load(std::memory_order_relaxed))
        throw SortedOrder::Stopped();
}

std::uint64_t hashOf(std::string_view v)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : v)
        h = (h ^ c) * 1099511628211ull;
    return h ^ (h >> 29);
}

} // namespace

// The collation keys of the values, one after another in one buffer.
struct OrderBuilder::ValueKeys
{
    std::string bytes;
    std::vector<std::uint32_t> start{0, 0}; // value i's key is [start[i], start[i+1]); value 0 (NULL) has none

    std::string_view of(std::uint32_t value) const
    {
        return std::string_view(bytes).substr(start[value], start[value + 1] - start[value]);
    }
};

namespace {

std::uint32_t unitAt(const std::string& bytes, std::size_t at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// A column uses few distinct key units: numbered in their order, one or two
// bytes each, they make shorter keys that order the same. Leaves the keys as
// they are when there are too many units.
void packKeys(OrderBuilder::ValueKeys& keys)
{
    if (keys.bytes.size() % 4 != 0)
        return;
    constexpr std::size_t TableSize = 1 << 16;
    std::vector<std::uint32_t> seen(TableSize, 0);
    auto slotOf = [&](std::uint32_t unit) {
        std::size_t at = (unit * 2654435761u) >> 16;
        while (seen[at] != 0 && seen[at] != unit)
            at = (at + 1) & (TableSize - 1);
        return at;
    };
    std::vector<std::uint32_t> units;
    for (std::size_t at = 0; at < keys.bytes.size(); at += 4) {
        const std::uint32_t unit = unitAt(keys.bytes, at);
        const std::size_t slot = slotOf(unit);
        if (seen[slot] == 0) {
            seen[slot] = unit;
            units.push_back(unit);
            if (units.size() > 65535 / 2)
                return;
        }
    }
    std::sort(units.begin(), units.end());
    std::vector<std::uint16_t> code(TableSize, 0);
    for (std::size_t i = 0; i < units.size(); ++i)
        code[slotOf(units[i])] = std::uint16_t(i + 1);
    const bool narrow = units.size() <= 255;
    std::string packed;
    packed.reserve(keys.bytes.size() / (narrow ? 4 : 2));
    for (std::size_t value = 0; value + 1 < keys.start.size(); ++value) {
        const std::size_t from = keys.start[value], to = keys.start[value + 1];
        keys.start[value] = std::uint32_t(packed.size());
        for (std::size_t at = from; at < to; at += 4) {
            const std::uint16_t c = code[slotOf(unitAt(keys.bytes, at))];
            if (!narrow)
                packed.push_back(char(c >> 8));
            packed.push_back(char(c & 0xFF));
        }
    }
    keys.start.back() = std::uint32_t(packed.size());
    keys.bytes.swap(packed);
}

// The first eight bytes of a key as one number (missing bytes count as 0,
// which no key unit starts with, so a shorter key sorts first).
std::uint64_t prefixOf(std::string_view key)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value = value << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return value;
}

// Each value's rank: equal keys share one, NULL (value 0) comes first.
std::vector<std::uint32_t> rankValues(const OrderBuilder::ValueKeys& keys)
{
    struct Item {
        std::uint64_t prefix;
        std::uint32_t value;
    };
    const std::size_t count = keys.start.size() - 1;
    std::vector<Item> items(count);
    for (std::uint32_t i = 0; i < count; ++i)
        items[i] = { prefixOf(keys.of(i)), i };
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = keys.of(a.value).compare(keys.of(b.value));
        return c != 0 ? c < 0 : a.value < b.value; // NULL (0) before an empty text
    });
    std::vector<std::uint32_t> rank(count, 0);
    std::uint32_t current = 0;
    for (std::size_t i = 1; i < count; ++i) {
        if (items[i].prefix != items[i - 1].prefix || keys.of(items[i].value) != keys.of(items[i - 1].value))
            ++current;
        rank[items[i].value] = current;
    }
    return rank;
}

// The rows by the ranks of their values, ties in stored order: a counting sort.
SortedOrder sortByRank(const std::vector<std::uint32_t>& valueOf, const std::vector<std::uint32_t>& valueRank)
{
    const std::size_t n = valueOf.size();
    SortedOrder order;
    order.rank.resize(n);
    order.sorted.resize(n);
    const std::uint32_t top = valueRank.empty() ? 0 : *std::max_element(valueRank.begin(), valueRank.end());
    std::vector<std::uint32_t> start(std::size_t(top) + 2, 0);
    for (std::size_t row = 0; row < n; ++row) {
        const std::uint32_t r = valueRank[valueOf[row]];
        order.rank[row] = r;
        ++start[r + 1];
    }
    for (std::size_t r = 1; r < start.size(); ++r)
        start[r] += start[r - 1];
    for (std::size_t row = 0; row < n; ++row)
        order.sorted[start[order.rank[row]]++] = std::uint32_t(row);
    return order;
}

} // namespace

OrderBuilder::OrderBuilder(const RowSet& rows, int column)
    : m_rows(rows)
    , m_column(column)
    , m_buckets(1024, 0)
    , m_values{std::string_view()}
    , m_keys(std::make_unique<ValueKeys>())
{
}

OrderBuilder::~OrderBuilder() = default;

// The distinct values by their bytes (NULL is value 0), which value each row
// holds, and the key of each new value as it is met.
void OrderBuilder::add(int upTo, const std::atomic<bool>& stop)
{
    const Collation& collation = Collation::instance();
    m_valueOf.reserve(std::size_t(upTo));
    for (int row = rowsTaken(); row < upTo; ++row) {
        if (row % StopCheckRows == 0)
            checkStop(stop);
        if (m_rows.isNull(row, m_column)) {
            m_valueOf.push_back(0);
            continue;
        }
        const std::string_view v = m_rows.utf8(row, m_column);
        std::size_t at = hashOf(v) & (m_buckets.size() - 1);
        while (m_buckets[at] != 0 && m_values[m_buckets[at] - 1] != v)
            at = (at + 1) & (m_buckets.size() - 1);
        std::uint32_t value = m_buckets[at] - 1;
        if (m_buckets[at] == 0) {
            value = std::uint32_t(m_values.size());
            m_buckets[at] = value + 1;
            m_values.push_back(v);
            collation.appendKey(v, m_keys->bytes);
            m_keys->start.push_back(std::uint32_t(m_keys->bytes.size()));
            if (m_values.size() * 2 > m_buckets.size())
                grow();
        }
        m_valueOf.push_back(value);
    }
}

void OrderBuilder::grow()
{
    std::vector<std::uint32_t> buckets(m_buckets.size() * 2, 0);
    for (std::uint32_t value = 1; value < m_values.size(); ++value) {
        std::size_t at = hashOf(m_values[value]) & (buckets.size() - 1);
        while (buckets[at] != 0)
            at = (at + 1) & (buckets.size() - 1);
        buckets[at] = value + 1;
    }
    m_buckets.swap(buckets);
}

SortedOrder OrderBuilder::finish(const std::atomic<bool>& stop)
{
    checkStop(stop);
    m_buckets = {};
    packKeys(*m_keys);
    const std::vector<std::uint32_t> valueRank = rankValues(*m_keys);
    checkStop(stop);
    return sortByRank(m_valueOf, valueRank);
}

SortedOrder SortedOrder::build(const RowSet& rows, int column, const std::atomic<bool>& stop)
{
    OrderBuilder builder(rows, column);
    builder.add(rows.rowCount(), stop);
    return builder.finish(stop);
}
