#include "data/SortedOrder.h"

#include "data/Collation.h"
#include "data/Hash.h"
#include "data/RowSet.h"

#include <QtGlobal>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Between two looks at the stop flag: rows taken in, bytes of two values
// compared.
constexpr int StopCheckRows = 256;
constexpr std::size_t StopCheckBytes = std::size_t(1) << 20;
// A longer value is known by its length and the bytes at both ends.
constexpr std::size_t HashedBytes = std::size_t(1) << 13;

void checkStop(const std::atomic<bool>& stop)
{
    if (stop.load(std::memory_order_relaxed))
        throw SortedOrder::Stopped();
}

std::uint64_t mixed(std::uint64_t id)
{
    id ^= id >> 33;
    id *= 0xFF51AFD7ED558CCDull;
    id ^= id >> 33;
    id *= 0xC4CEB9FE1A85EC53ull;
    return id ^ (id >> 33);
}

// A value's hash; a huge one hashed by its length and its ends (HashedBytes).
std::uint64_t hashOf(std::string_view v)
{
    std::uint64_t h = hashing::begin(v.size());
    if (v.size() <= 2 * HashedBytes) {
        h = hashing::take(h, v);
    } else {
        h = hashing::take(h, v.substr(0, HashedBytes));
        h = hashing::take(h, v.substr(v.size() - HashedBytes));
    }
    return hashing::end(h);
}

// Whether two values hold the same bytes; huge ones are compared a stretch
// at a time, with a look at the stop flag after each.
bool sameBytes(std::string_view a, std::string_view b, const std::atomic<bool>& stop)
{
    if (a.size() <= StopCheckBytes || a.size() != b.size())
        return a == b;
    for (std::size_t at = 0; at < a.size(); at += StopCheckBytes) {
        if (a.substr(at, StopCheckBytes) != b.substr(at, StopCheckBytes))
            return false;
        checkStop(stop);
    }
    return true;
}

} // namespace

// The collation keys of the values, one after another in one buffer, packed
// as they come in: a column uses few distinct key units, so each unit is
// kept as a short code (one byte while there are at most 255 units, two while
// at most 65535) numbered as the units are met. finish() renumbers the codes
// in the units' order, so the packed keys order as the keys do. With more
// units than that the keys stay as they are.
struct OrderBuilder::ValueKeys {
    std::string bytes;
    std::vector<std::uint32_t> start { 0, 0 }; // value i's key is [start[i], start[i+1]); value 0 (NULL) has none
    // The values whose keys were cut at KeyHeadBytes, each with a row
    // holding it, by value.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cut;
    bool isCut(std::uint32_t value) const
    {
        const auto at = std::lower_bound(cut.begin(), cut.end(), std::make_pair(value, std::uint32_t(0)));
        return at != cut.end() && at->first == value;
    }
    std::uint32_t rowOf(std::uint32_t value) const
    {
        return std::lower_bound(cut.begin(), cut.end(), std::make_pair(value, std::uint32_t(0)))->second;
    }
    int width = 1; // bytes per unit: 1, 2 or 4 (unpacked)
    std::vector<std::uint32_t> units; // code - 1 -> unit
    static constexpr std::size_t TableSize = 1 << 17;
    std::vector<std::uint64_t> table = std::vector<std::uint64_t>(TableSize, 0); // unit << 32 | code, 0 free

    std::string_view of(std::uint32_t value) const
    {
        return std::string_view(bytes).substr(start[value], start[value + 1] - start[value]);
    }

    void append(const std::string& key);
    // Gives the codes the order of their units; the keys stay packed.
    void finish();

private:
    std::uint32_t codeOf(std::uint32_t unit);
    void widen(int to);
    std::uint32_t codeAt(std::size_t at) const
    {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        return width == 1 ? b[0] : std::uint32_t(b[0]) << 8 | b[1];
    }
    void put(std::uint32_t code)
    {
        if (width == 2)
            bytes.push_back(char(code >> 8));
        bytes.push_back(char(code & 0xFF));
    }
};

namespace {

std::uint32_t unitAt(const std::string& bytes, std::size_t at)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

void appendPackedUnit(std::string& bytes, std::uint32_t unit)
{
    bytes.push_back(char(unit >> 24));
    bytes.push_back(char(unit >> 16));
    bytes.push_back(char(unit >> 8));
    bytes.push_back(char(unit));
}

} // namespace

// The code of a unit, numbered now when it is new; 0 when there are too
// many units for codes.
std::uint32_t OrderBuilder::ValueKeys::codeOf(std::uint32_t unit)
{
    std::size_t at = (std::uint64_t(unit) * 0x9E3779B97F4A7C15ull) >> (64 - 17);
    for (;; at = (at + 1) & (TableSize - 1)) {
        const std::uint64_t entry = table[at];
        if (entry == 0)
            break;
        if (std::uint32_t(entry >> 32) == unit)
            return std::uint32_t(entry);
    }
    if (units.size() >= 65535)
        return 0;
    units.push_back(unit);
    const auto code = std::uint32_t(units.size());
    table[at] = std::uint64_t(unit) << 32 | code;
    return code;
}

void OrderBuilder::ValueKeys::widen(int to)
{
    std::string wide;
    wide.reserve(bytes.size() * std::size_t(to / width) + 64);
    for (std::size_t value = 0; value + 1 < start.size(); ++value) {
        const std::size_t from = start[value], end = start[value + 1];
        start[value] = std::uint32_t(wide.size());
        for (std::size_t at = from; at < end; at += std::size_t(width)) {
            const std::uint32_t code = codeAt(at);
            if (to == 4) {
                appendPackedUnit(wide, units[code - 1]);
            } else {
                wide.push_back(char(code >> 8));
                wide.push_back(char(code & 0xFF));
            }
        }
    }
    start.back() = std::uint32_t(wide.size());
    bytes.swap(wide);
    width = to;
    if (to == 4) {
        units = {};
        table = {};
    }
}

void OrderBuilder::ValueKeys::append(const std::string& key)
{
    for (std::size_t at = 0; at + 4 <= key.size(); at += 4) {
        const std::uint32_t unit = unitAt(key, at);
        if (width == 4) {
            appendPackedUnit(bytes, unit);
            continue;
        }
        const std::uint32_t code = codeOf(unit);
        if (code == 0 || (code > 255 && width == 1)) {
            // The key so far stays out of the conversion: it is added again.
            const std::size_t kept = start.back();
            bytes.resize(kept);
            widen(code == 0 ? 4 : 2);
            append(key);
            return;
        }
        put(code);
    }
}

void OrderBuilder::ValueKeys::finish()
{
    if (width == 4)
        return;
    std::vector<std::uint32_t> byUnit(units.size());
    for (std::uint32_t i = 0; i < byUnit.size(); ++i)
        byUnit[i] = i;
    std::sort(byUnit.begin(), byUnit.end(), [&](std::uint32_t a, std::uint32_t b) { return units[a] < units[b]; });
    std::vector<std::uint16_t> ordered(units.size() + 1, 0); // code -> code in the units' order
    for (std::size_t i = 0; i < byUnit.size(); ++i)
        ordered[byUnit[i] + 1] = std::uint16_t(i + 1);
    // Two-byte codes become one byte when few enough: the keys only shrink,
    // so they are rewritten in place.
    const int to = units.size() <= 255 ? 1 : width;
    std::size_t out = 0;
    for (std::size_t value = 0; value + 1 < start.size(); ++value) {
        const std::size_t from = start[value], end = start[value + 1];
        start[value] = std::uint32_t(out);
        for (std::size_t at = from; at < end; at += std::size_t(width)) {
            const std::uint32_t code = ordered[codeAt(at)];
            if (to == 2)
                bytes[out++] = char(code >> 8);
            bytes[out++] = char(code & 0xFF);
        }
    }
    start.back() = std::uint32_t(out);
    bytes.resize(out);
    bytes.shrink_to_fit();
    width = to;
    units = {};
    table = {};
}

namespace {

// Keys left unpacked (too many units to number as they came): a column
// uses few distinct key units all the same: numbered in their order, one or two
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

// Eight bytes of a key from a place on as one number (missing bytes count as
// 0, which no key unit starts with, so a shorter key sorts first).
std::uint64_t wordOf(std::string_view key, std::size_t from)
{
    std::uint64_t value = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        value = value << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return value;
}

// Each value's rank: equal keys share one, NULL (value 0) comes first.
// tie: <0, 0, >0 as two values whose keys were cut and agree so far
// compare in full.
template <typename Tie>
std::vector<std::uint32_t> rankValues(const OrderBuilder::ValueKeys& keys, const std::atomic<bool>& stop, Tie tie)
{
    // Most keys differ in their first sixteen bytes, which the items carry,
    // so the sort seldom reads the keys themselves.
    struct Item {
        std::uint64_t head, next;
        std::uint32_t value;
    };
    auto compare = [&](const Item& a, const Item& b) {
        if (a.head != b.head)
            return a.head < b.head ? -1 : 1;
        if (a.next != b.next)
            return a.next < b.next ? -1 : 1;
        const std::string_view ka = keys.of(a.value), kb = keys.of(b.value);
        if (ka.size() <= 16 && kb.size() <= 16)
            return 0;
        const int c = ka.compare(kb);
        if (c != 0 || keys.cut.empty() || !(keys.isCut(a.value) || keys.isCut(b.value)))
            return c;
        return tie(a.value, b.value);
    };
    const std::size_t count = keys.start.size() - 1;
    std::vector<Item> items(count);
    for (std::uint32_t i = 0; i < count; ++i)
        items[i] = { wordOf(keys.of(i), 0), wordOf(keys.of(i), 8), i };
    // A change waits for a stopped build to give up: the sort looks at the
    // stop flag as it goes (leaving the items in some order when it stops).
    std::uint32_t comparisons = 0;
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if ((++comparisons & 0xFFFF) == 0)
            checkStop(stop);
        const int c = compare(a, b);
        return c != 0 ? c < 0 : a.value < b.value; // NULL (0) before an empty text
    });
    Q_ASSERT(count >= 1 && items.front().value == 0); // NULL first of all
    std::vector<std::uint32_t> rank(count, 0);
    std::uint32_t current = 0;
    for (std::size_t i = 1; i < count; ++i) {
        if (compare(items[i], items[i - 1]) != 0)
            ++current;
        rank[items[i].value] = current;
    }
    return rank;
}

// The rows by the ranks of their values, ties in stored order: a counting sort.
// The rows' values are let go once their ranks are taken.
SortedOrder sortByRank(std::vector<std::uint32_t>&& valueOf, const std::vector<std::uint32_t>& valueRank)
{
    const std::size_t n = valueOf.size();
    SortedOrder order;
    const std::uint32_t top = valueRank.empty() ? 0 : *std::max_element(valueRank.begin(), valueRank.end());
    std::vector<std::uint32_t> start(std::size_t(top) + 2, 0);
    // Kept in as few bytes a row as the ranks need: a byte for a field of
    // a few hundred values, three for a million.
    {
        std::vector<std::uint32_t> values = std::move(valueOf);
        for (std::uint32_t& value : values) {
            value = valueRank[value];
            ++start[value + 1];
        }
        order.rank = PackedNumbers(values, top);
    }
    for (std::size_t r = 1; r < start.size(); ++r)
        start[r] += start[r - 1];
    order.sorted.resize(n);
    for (std::size_t row = 0; row < n; ++row)
        order.sorted[start[order.rank[row]]++] = std::uint32_t(row);
    // Every rank's run ends where the next begins: each row placed once.
    Q_ASSERT(start[top] == n);
#ifndef QT_NO_DEBUG
    for (std::size_t i = 1; i < n; ++i) {
        const std::uint32_t a = order.sorted[i - 1], b = order.sorted[i];
        Q_ASSERT(order.rank[a] < order.rank[b] || (order.rank[a] == order.rank[b] && a < b));
    }
#endif
    return order;
}

} // namespace

OrderBuilder::OrderBuilder(const RowSet& rows, int column)
    : m_rows(rows)
    , m_column(column)
    , m_buckets(1024, 0)
    , m_valueRow { 0 }
    , m_keys(std::make_unique<ValueKeys>())
{
}

OrderBuilder::~OrderBuilder() = default;

namespace {

// A bucket holds a value's id + 1 in its high half (0: free) and the low half
// of the value's hash in its low half: the bucket's place comes from those
// bits, so growing never reads the values again, and a probe compares bytes
// only when they agree.
std::uint64_t bucketOf(std::uint32_t value, std::uint64_t hash)
{
    return std::uint64_t(value + 1) << 32 | (hash & 0xFFFFFFFFull);
}

bool sameHash(std::uint64_t bucket, std::uint64_t hash)
{
    return std::uint32_t(bucket) == std::uint32_t(hash);
}

std::uint32_t valueIn(std::uint64_t bucket)
{
    return std::uint32_t(bucket >> 32) - 1;
}

} // namespace

// The distinct values (NULL is value 0), which value each row holds, and the
// key of each new value as it is met. While the rows share each value's
// cell, a value is told by its cell and its bytes are read only for its key;
// otherwise by its bytes.
void OrderBuilder::add(int upTo, const std::atomic<bool>& stop)
{
    Q_ASSERT(upTo >= rowsTaken() && upTo <= m_rows.rowCount());
    if (m_byCell && !m_rows.sharesValues(m_column))
        rehashByBytes();
    m_valueOf.reserve(std::size_t(upTo));
    for (int row = rowsTaken(); row < upTo; ++row) {
        if (row % StopCheckRows == 0)
            checkStop(stop);
        take(row, stop);
    }
}

void OrderBuilder::addRows(const std::vector<std::uint32_t>& rows, const std::atomic<bool>& stop)
{
    Q_ASSERT(rowsTaken() == 0);
    if (m_byCell && !m_rows.sharesValues(m_column))
        rehashByBytes();
    m_valueOf.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i % StopCheckRows == 0)
            checkStop(stop);
        take(int(rows[i]), stop);
    }
}

// One row's value: found among those met before, or added with its key.
void OrderBuilder::take(int row, const std::atomic<bool>& stop)
{
    const Collation& collation = Collation::instance();
    if (m_rows.isNull(row, m_column)) {
        m_valueOf.push_back(0);
        return;
    }
    std::string_view v;
    std::uint64_t hash = 0;
    const std::size_t mask = m_buckets.size() - 1;
    std::size_t at = 0;
    if (m_byCell) {
        const std::uint64_t id = m_rows.cellId(row, m_column);
        hash = mixed(id);
        at = hash & mask;
        while (m_buckets[at] != 0
            && !(sameHash(m_buckets[at], hash)
                && m_rows.cellId(int(m_valueRow[valueIn(m_buckets[at])]), m_column) == id))
            at = (at + 1) & mask;
    } else {
        v = m_rows.utf8(row, m_column);
        hash = hashOf(v);
        at = hash & mask;
        while (m_buckets[at] != 0
            && !(sameHash(m_buckets[at], hash)
                && sameBytes(m_rows.utf8(int(m_valueRow[valueIn(m_buckets[at])]), m_column), v, stop)))
            at = (at + 1) & mask;
    }
    std::uint32_t value = valueIn(m_buckets[at]);
    if (m_buckets[at] == 0) {
        if (m_byCell)
            v = m_rows.utf8(row, m_column);
        value = std::uint32_t(m_valueRow.size());
        m_buckets[at] = bucketOf(value, hash);
        m_valueRow.push_back(std::uint32_t(row));
        // The key's head only: values that agree that far are told
        // apart when sorted (KeyHeadBytes).
        m_key.clear();
        collation.appendKeyHead(v, KeyHeadBytes, m_key);
        if (m_key.size() >= KeyHeadBytes)
            m_keys->cut.emplace_back(value, std::uint32_t(row));
        m_keys->append(m_key);
        m_keys->start.push_back(std::uint32_t(m_keys->bytes.size()));
        // Up to three quarters full: the buckets are much of a build's
        // memory, and a probe seldom reads a value's bytes.
        if (m_valueRow.size() * 4 > m_buckets.size() * 3)
            grow();
    }
    m_valueOf.push_back(value);
}

// The column no longer shares every value: the values met so far are found
// by their bytes from now on (two of them may hold the same bytes, which
// their keys then rank alike).
void OrderBuilder::rehashByBytes()
{
    m_byCell = false;
    std::fill(m_buckets.begin(), m_buckets.end(), 0);
    const std::size_t mask = m_buckets.size() - 1;
    for (std::uint32_t value = 1; value < m_valueRow.size(); ++value) {
        const std::uint64_t hash = hashOf(m_rows.utf8(int(m_valueRow[value]), m_column));
        std::size_t at = hash & mask;
        while (m_buckets[at] != 0)
            at = (at + 1) & mask;
        m_buckets[at] = bucketOf(value, hash);
    }
}

void OrderBuilder::grow()
{
    std::vector<std::uint64_t> buckets(m_buckets.size() * 2, 0);
    const std::size_t mask = buckets.size() - 1;
    for (const std::uint64_t bucket : m_buckets) {
        if (bucket == 0)
            continue;
        std::size_t at = bucket & mask;
        while (buckets[at] != 0)
            at = (at + 1) & mask;
        buckets[at] = bucket;
    }
    m_buckets.swap(buckets);
}

SortedOrder OrderBuilder::finish(const std::atomic<bool>& stop)
{
    checkStop(stop);
    m_buckets = {};
    m_valueRow = {};
    m_keys->finish();
    if (m_keys->width == 4)
        packKeys(*m_keys);
    // Values whose key heads agree, both cut, are compared in full, each
    // pair once.
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> compared;
    auto tie = [&](std::uint32_t a, std::uint32_t b) {
        const bool swapped = b < a;
        const auto pair = swapped ? std::make_pair(b, a) : std::make_pair(a, b);
        auto known = compared.find(pair);
        if (known == compared.end()) {
            // Equal keys have the same length: both were cut.
            Q_ASSERT(m_keys->isCut(a) && m_keys->isCut(b));
            const std::optional<int> c
                = Collation::instance().compareKeys(m_rows.utf8(int(m_keys->rowOf(pair.first)), m_column),
                    m_rows.utf8(int(m_keys->rowOf(pair.second)), m_column), stop);
            if (!c)
                throw SortedOrder::Stopped();
            known = compared.emplace(pair, *c).first;
        }
        return swapped ? -known->second : known->second;
    };
    const std::vector<std::uint32_t> valueRank = rankValues(*m_keys, stop, tie);
    // The keys are done with: what is left is the rows' counting sort.
    compared.clear();
    m_keys.reset();
    checkStop(stop);
    return sortByRank(std::move(m_valueOf), valueRank);
}

SortedOrder SortedOrder::build(const RowSet& rows, int column, const std::atomic<bool>& stop)
{
    OrderBuilder builder(rows, column);
    builder.add(rows.rowCount(), stop);
    return builder.finish(stop);
}
