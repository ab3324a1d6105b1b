#include "data/SortedOrder.h"

#include "data/Collation.h"
#include "data/Hash.h"
#include "data/RowSet.h"

#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

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
    // Appends the keys of another's values from 1 on, and the ones cut,
    // as values following these.
    void appendAll(const ValueKeys& other);
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

void OrderBuilder::ValueKeys::appendAll(const ValueKeys& other)
{
    // The other's codes as codes here, while both number their units and
    // all of them fit; otherwise every key is kept as it is.
    bool coded = width != 4 && other.width != 4;
    std::vector<std::uint32_t> code(coded ? other.units.size() + 1 : 0, 0);
    for (std::size_t i = 0; coded && i < other.units.size(); ++i) {
        code[i + 1] = codeOf(other.units[i]);
        coded = code[i + 1] != 0;
    }
    if (!coded && width != 4)
        widen(4);
    else if (coded && width == 1 && units.size() > 255)
        widen(2);
    const auto offset = std::uint32_t(start.size() - 2); // the other's value 1 follows the last one here
    bytes.reserve(bytes.size() + other.bytes.size() / std::size_t(other.width) * std::size_t(width));
    start.reserve(start.size() + other.start.size() - 2);
    for (std::size_t value = 1; value + 1 < other.start.size(); ++value) {
        for (std::size_t at = other.start[value]; at < other.start[value + 1]; at += std::size_t(other.width)) {
            if (width != 4)
                put(code[other.codeAt(at)]);
            else if (other.width == 4)
                bytes.append(other.bytes, at, 4);
            else
                appendPackedUnit(bytes, other.units[other.codeAt(at) - 1]);
        }
        start.push_back(std::uint32_t(bytes.size()));
    }
    for (const auto& [value, row] : other.cut)
        cut.emplace_back(value + offset, row);
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
// 0, so a key that ends sorts before the keys it begins).
std::uint64_t wordOf(std::string_view key, std::size_t from)
{
    if (from >= key.size())
        return 0;
    const std::size_t end = std::min(from + 8, key.size());
    std::uint64_t value = 0;
    for (std::size_t i = from; i < end; ++i)
        value = value << 8 | static_cast<unsigned char>(key[i]);
    return value << (8 * (from + 8 - end));
}

// Puts the values in the order of their keys: a multikey quicksort on eight
// bytes of the keys at a time, each value carrying its eight bytes at the
// depth reached, so a key is read again only once all before agree. Keys of
// a street's addresses agree on their first dozens of bytes, where sorting
// by comparing whole keys read both keys at every comparison.
class KeySort {
public:
    struct Item {
        std::uint64_t word; // the key's eight bytes at the depth reached
        std::uint32_t value;
    };

    // same[i] tells of base[i]; two sorts may share them, on two threads,
    // each over items of its own.
    KeySort(const OrderBuilder::ValueKeys& keys, const std::atomic<bool>& stop, const Item* base, std::uint8_t* same)
        : m_keys(keys)
        , m_stop(stop)
        , m_base(base)
        , m_same(same)
    {
    }

    // Equal keys end up next to each other, in the order of their values;
    // same[i] is set where the key at i equals the one before (within
    // items).
    void sort(Item* items, std::size_t count, std::size_t depth)
    {
        // Pivots that split badly this many times in a row hand the part
        // over to a sort that cannot go quadratic.
        int budget = 2 * std::bit_width(count);
        while (count > 1) {
            if ((m_steps += count) >= StopCheckItems) {
                m_steps = 0;
                checkStop(m_stop);
            }
            if (count <= 12 || --budget < 0) {
                smallSort(items, count, depth);
                return;
            }
            const std::uint64_t pivot = medianWord(items, count);
            // Three ways: [0, lt) below the pivot, [lt, gt) equal, [gt, count) above.
            std::size_t lt = 0, i = 0, gt = count;
            while (i < gt) {
                if (items[i].word < pivot)
                    std::swap(items[lt++], items[i++]);
                else if (items[i].word > pivot)
                    std::swap(items[i], items[--gt]);
                else
                    ++i;
            }
            sortEqual(items + lt, gt - lt, depth);
            // The smaller side by recursion, the larger in this loop: the
            // stack stays shallow.
            if (lt < count - gt) {
                sort(items, lt, depth);
                items += gt;
                count -= gt;
            } else {
                sort(items + gt, count - gt, depth);
                count = lt;
            }
        }
    }

private:
    static constexpr std::size_t StopCheckItems = std::size_t(1) << 20;

    std::string_view key(std::uint32_t value) const { return m_keys.of(value); }

    // Items whose eight bytes at depth agree: the keys that end there come
    // first, the shorter first (equal ones in the order of their values),
    // then the rest by their next eight bytes.
    void sortEqual(Item* items, std::size_t count, std::size_t depth)
    {
        if (count <= 1)
            return;
        const std::size_t next = depth + 8;
        Item* rest
            = std::partition(items, items + count, [&](const Item& item) { return key(item.value).size() <= next; });
        std::sort(items, rest, [&](const Item& a, const Item& b) {
            const std::size_t la = key(a.value).size(), lb = key(b.value).size();
            return la != lb ? la < lb : a.value < b.value;
        });
        // Ended at the same length, after the same bytes all along: equal.
        for (Item* item = items + 1; item < rest; ++item)
            m_same[std::size_t(item - m_base)] = key(item[-1].value).size() == key(item->value).size();
        // The keys are far apart in memory: each is asked for a few items
        // ahead, its place in the keys' table a few more ahead.
        Item* const end = items + count;
        for (Item* item = rest; item != end; ++item) {
            if (end - item > 16)
                __builtin_prefetch(&m_keys.start[item[16].value]);
            if (end - item > 8)
                __builtin_prefetch(m_keys.bytes.data() + m_keys.start[item[8].value] + next);
            item->word = wordOf(key(item->value), next);
        }
        sort(rest, std::size_t(items + count - rest), next);
    }

    // A few items, or a part the pivots split badly: by comparison.
    void smallSort(Item* items, std::size_t count, std::size_t depth)
    {
        auto compare = [&](const Item& a, const Item& b) {
            if (a.word != b.word)
                return a.word < b.word ? -1 : 1;
            const std::string_view ka = key(a.value), kb = key(b.value);
            return ka.substr(std::min(depth, ka.size())).compare(kb.substr(std::min(depth, kb.size())));
        };
        // A big part the pivots split badly takes a while: the flag is
        // looked at as it goes (leaving the part in some order when raised).
        std::uint32_t comparisons = 0;
        std::sort(items, items + count, [&](const Item& a, const Item& b) {
            if ((++comparisons & 0xFFFF) == 0)
                checkStop(m_stop);
            const int c = compare(a, b);
            return c != 0 ? c < 0 : a.value < b.value;
        });
        for (std::size_t i = 1; i < count; ++i)
            m_same[std::size_t(items + i - m_base)] = compare(items[i - 1], items[i]) == 0;
    }

    static std::uint64_t medianWord(const Item* items, std::size_t count)
    {
        const std::uint64_t a = items[0].word, b = items[count / 2].word, c = items[count - 1].word;
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    }

    const OrderBuilder::ValueKeys& m_keys;
    const std::atomic<bool>& m_stop;
    const Item* const m_base;
    std::uint8_t* const m_same;
    std::size_t m_steps = 0;
};

// Runs work on a thread of its own while the caller goes on, then waits
// for it (a failure there is the caller's). With no thread to be had, it
// is run on the caller's thread at once.
class Helper {
public:
    template <typename Work> explicit Helper(Work work)
    {
        try {
            m_thread = std::thread([this, work] {
                try {
                    work();
                } catch (...) {
                    m_error = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            work();
        }
    }
    ~Helper()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    std::thread m_thread;
    std::exception_ptr m_error;
};

// Values this many and more are put in order on two threads when asked.
constexpr std::size_t TwoThreadValues = std::size_t(1) << 14;

// The items split at the median of a sample of their first words: each
// side has keys of its own, put in order by a thread of its own.
void sortOnTwoThreads(const OrderBuilder::ValueKeys& keys, const std::atomic<bool>& stop, KeySort::Item* items,
    std::size_t count, std::uint8_t* same)
{
    constexpr std::size_t Samples = 255;
    std::vector<std::uint64_t> sample(Samples);
    for (std::size_t i = 0; i < Samples; ++i)
        sample[i] = items[i * count / Samples].word;
    std::nth_element(sample.begin(), sample.begin() + Samples / 2, sample.end());
    const std::uint64_t pivot = sample[Samples / 2];
    KeySort::Item* const split
        = std::partition(items, items + count, [pivot](const KeySort::Item& item) { return item.word < pivot; });
    const auto below = std::size_t(split - items);
    KeySort low(keys, stop, items, same), high(keys, stop, items, same);
    Helper helper([&] { low.sort(items, below, 0); });
    high.sort(split, count - below, 0);
    helper.join();
}

// Each value's rank: equal keys share one, NULL (value 0) comes first.
// tie: <0, 0, >0 as two values whose keys were cut and agree so far
// compare in full.
template <typename Tie>
std::vector<std::uint32_t> rankValues(
    const OrderBuilder::ValueKeys& keys, const std::atomic<bool>& stop, Tie tie, bool twoThreads)
{
    const std::size_t count = keys.start.size() - 1;
    std::vector<KeySort::Item> items(count);
    for (std::uint32_t i = 0; i < count; ++i)
        items[i] = { wordOf(keys.of(i), 0), i };
    std::vector<std::uint8_t> same(count, 0);
    if (twoThreads && count >= TwoThreadValues)
        sortOnTwoThreads(keys, stop, items.data(), count, same.data());
    else
        KeySort(keys, stop, items.data(), same.data()).sort(items.data(), count, 0);
    Q_ASSERT(count >= 1 && items.front().value == 0); // NULL first of all
    std::vector<std::uint32_t> rank(count, 0);
    std::uint32_t current = 0;
    for (std::size_t i = 0; i < count;) {
        // A run of equal keys shares a rank, unless its keys were cut: those
        // are put in order by their values in full.
        std::size_t end = i + 1;
        while (end < count && same[end])
            ++end;
        if (i > 0)
            ++current;
        if (end - i > 1 && !keys.cut.empty() && keys.isCut(items[i].value)) {
            std::stable_sort(items.begin() + std::ptrdiff_t(i), items.begin() + std::ptrdiff_t(end),
                [&](const KeySort::Item& a, const KeySort::Item& b) { return tie(a.value, b.value) < 0; });
            for (std::size_t j = i; j < end; ++j) {
                if (j > i && tie(items[j - 1].value, items[j].value) != 0)
                    ++current;
                rank[items[j].value] = current;
            }
        } else {
            for (std::size_t j = i; j < end; ++j)
                rank[items[j].value] = current;
        }
        i = end;
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

OrderBuilder::OrderBuilder(const RowSet& rows, int column, int firstRow)
    : m_rows(rows)
    , m_column(column)
    , m_firstRow(firstRow)
    , m_buckets(1024, 0)
    , m_valueRow { 0 }
    , m_valueCell { 0 }
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
    Q_ASSERT(!m_buckets.empty()); // not after absorb()
    if (m_byCell && !m_rows.sharesValues(m_column))
        rehashByBytes();
    // Taken in a stretch at a time while the rows are read: the room grows
    // by half each time it is short, not by the stretch, which would copy
    // every row's value again for each stretch.
    const auto count = std::size_t(upTo - m_firstRow);
    if (m_valueOf.capacity() < count)
        m_valueOf.reserve(std::max(count, m_valueOf.capacity() + m_valueOf.capacity() / 2));
    const int from = rowsTaken();
    takeRows(
        std::size_t(upTo - from), [from](std::size_t i) { return from + int(i); }, stop);
}

void OrderBuilder::addRows(const std::vector<std::uint32_t>& rows, const std::atomic<bool>& stop)
{
    Q_ASSERT(rowsTaken() == 0);
    if (m_byCell && !m_rows.sharesValues(m_column))
        rehashByBytes();
    m_valueOf.reserve(rows.size());
    takeRows(
        rows.size(), [&rows](std::size_t i) { return int(rows[i]); }, stop);
}

// A row's hash, told by its cell or by its bytes; its bucket is asked of
// memory at once, as it is taken in a few rows later.
std::uint64_t OrderBuilder::hashAhead(int row) const
{
    const std::uint64_t hash = m_byCell ? mixed(m_rows.cellId(row, m_column)) : hashOf(m_rows.utf8(row, m_column));
    __builtin_prefetch(&m_buckets[hash & (m_buckets.size() - 1)]);
    return hash;
}

template <typename RowAt> void OrderBuilder::takeRows(std::size_t count, RowAt rowAt, const std::atomic<bool>& stop)
{
    // The buckets of a column of a million values are far bigger than the
    // cache: each row's is asked for this many rows before it is read.
    constexpr std::size_t Ahead = 8;
    std::uint64_t hashes[Ahead];
    for (std::size_t i = 0; i < std::min(count, Ahead); ++i)
        hashes[i] = hashAhead(rowAt(i));
    for (std::size_t i = 0; i < count; ++i) {
        if (i % StopCheckRows == 0)
            checkStop(stop);
        const std::uint64_t hash = hashes[i % Ahead];
        if (i + Ahead < count)
            hashes[i % Ahead] = hashAhead(rowAt(i + Ahead));
        take(rowAt(i), hash, stop);
    }
}

// One row's value: found among those met before, or added with its key.
void OrderBuilder::take(int row, std::uint64_t hash, const std::atomic<bool>& stop)
{
    const Collation& collation = Collation::instance();
    if (m_rows.isNull(row, m_column)) {
        m_valueOf.push_back(0);
        return;
    }
    std::string_view v;
    const std::size_t mask = m_buckets.size() - 1;
    std::size_t at = hash & mask;
    if (m_byCell) {
        const std::uint64_t id = m_rows.cellId(row, m_column);
        while (m_buckets[at] != 0 && !(sameHash(m_buckets[at], hash) && m_valueCell[valueIn(m_buckets[at])] == id))
            at = (at + 1) & mask;
    } else {
        v = m_rows.utf8(row, m_column);
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
        if (m_byCell)
            m_valueCell.push_back(m_rows.cellId(row, m_column));
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
    m_valueCell = {};
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

void OrderBuilder::absorb(OrderBuilder& later)
{
    Q_ASSERT(later.m_firstRow == rowsTaken());
    // Neither builder looks for values any more.
    m_buckets = {};
    m_valueCell = {};
    later.m_buckets = {};
    later.m_valueRow = {};
    later.m_valueCell = {};
    // The later builder's value v (NULL aside) follows the last one here.
    const auto offset = std::uint32_t(m_keys->start.size() - 2);
    m_keys->appendAll(*later.m_keys);
    later.m_keys.reset();
    m_valueOf.reserve(m_valueOf.size() + later.m_valueOf.size());
    for (const std::uint32_t value : later.m_valueOf)
        m_valueOf.push_back(value == 0 ? 0 : value + offset);
    later.m_valueOf = {};
}

SortedOrder OrderBuilder::finish(const std::atomic<bool>& stop, bool twoThreads)
{
    Q_ASSERT(m_firstRow == 0);
    checkStop(stop);
    m_buckets = {};
    m_valueRow = {};
    m_valueCell = {};
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
    const std::vector<std::uint32_t> valueRank = rankValues(*m_keys, stop, tie, twoThreads);
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
