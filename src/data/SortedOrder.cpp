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

// The distinct values of a column (by their bytes; NULL is value 0) and
// which value each row holds.
struct DistinctValues {
    std::vector<std::uint32_t> valueOf; // per row
    std::vector<std::string_view> values; // values[0] stands for NULL
};

std::uint64_t hashOf(std::string_view v)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : v)
        h = (h ^ c) * 1099511628211ull;
    return h ^ (h >> 29);
}

DistinctValues distinctValues(const RowSet& rows, int column, const std::atomic<bool>& stop)
{
    const int n = rows.rowCount();
    DistinctValues d { std::vector<std::uint32_t>(std::size_t(n), 0), { std::string_view() } };
    std::size_t capacity = 1024;
    while (capacity < std::size_t(n) * 2)
        capacity *= 2;
    std::vector<std::uint32_t> buckets(capacity, 0); // value id + 1, 0 free
    for (int row = 0; row < n; ++row) {
        if (row % StopCheckRows == 0)
            checkStop(stop);
        if (rows.isNull(row, column))
            continue;
        const std::string_view v = rows.utf8(row, column);
        std::size_t at = hashOf(v) & (capacity - 1);
        while (buckets[at] != 0 && d.values[buckets[at] - 1] != v)
            at = (at + 1) & (capacity - 1);
        if (buckets[at] == 0) {
            buckets[at] = std::uint32_t(d.values.size()) + 1;
            d.values.push_back(v);
        }
        d.valueOf[std::size_t(row)] = buckets[at] - 1;
    }
    return d;
}

// The collation keys of the values, one after another in one buffer.
struct ValueKeys {
    std::string bytes;
    std::vector<std::uint32_t> start; // value i's key is [start[i], start[i+1])

    std::string_view of(std::uint32_t value) const
    {
        return std::string_view(bytes).substr(start[value], start[value + 1] - start[value]);
    }
};

ValueKeys keysOf(const std::vector<std::string_view>& values)
{
    const Collation& collation = Collation::instance();
    ValueKeys keys { {}, std::vector<std::uint32_t>(values.size() + 1, 0) };
    for (std::size_t i = 0; i < values.size(); ++i) {
        keys.start[i] = std::uint32_t(keys.bytes.size());
        if (i > 0) // value 0 is NULL: no key
            collation.appendKey(values[i], keys.bytes);
    }
    keys.start[values.size()] = std::uint32_t(keys.bytes.size());
    return keys;
}

std::uint32_t unitAt(const std::string& bytes, std::size_t at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// A column uses few distinct key units: numbered in their order, one or two
// bytes each, they make shorter keys that order the same. Leaves the keys as
// they are when there are too many units.
void packKeys(ValueKeys& keys)
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
std::vector<std::uint32_t> rankValues(const ValueKeys& keys)
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
SortedOrder sortByRank(const DistinctValues& d, const std::vector<std::uint32_t>& valueRank)
{
    const std::size_t n = d.valueOf.size();
    SortedOrder order;
    order.rank.resize(n);
    order.sorted.resize(n);
    const std::uint32_t top = valueRank.empty() ? 0 : *std::max_element(valueRank.begin(), valueRank.end());
    std::vector<std::uint32_t> start(std::size_t(top) + 2, 0);
    for (std::size_t row = 0; row < n; ++row) {
        const std::uint32_t r = valueRank[d.valueOf[row]];
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

SortedOrder SortedOrder::build(const RowSet& rows, int column, const std::atomic<bool>& stop)
{
    const DistinctValues distinct = distinctValues(rows, column, stop);
    checkStop(stop);
    ValueKeys keys = keysOf(distinct.values);
    checkStop(stop);
    packKeys(keys);
    const std::vector<std::uint32_t> valueRank = rankValues(keys);
    checkStop(stop);
    return sortByRank(distinct, valueRank);
}
