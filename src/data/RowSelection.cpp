#include "data/RowSelection.h"

#include "data/Collation.h"
#include "data/DataError.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>

namespace {

// The first eight bytes of a key as one number (missing bytes count as 0,
// which no key unit starts with, so a shorter key sorts first).
std::uint64_t prefixOf(std::string_view key, std::size_t offset)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value <<= 8;
        if (offset + i < key.size())
            value |= static_cast<unsigned char>(key[offset + i]);
    }
    return value;
}

struct Item
{
    std::uint64_t prefix;
    std::uint32_t row;
};

// Keys of the shape "the text of the key starts with prefix": [prefix, end).
std::string prefixEnd(std::string prefix)
{
    while (!prefix.empty()) {
        auto& last = reinterpret_cast<unsigned char&>(prefix.back());
        if (last != 0xFF) {
            ++last;
            return prefix;
        }
        prefix.pop_back();
    }
    return prefix; // empty: no end
}

} // namespace

struct RowSelection::Prepared
{
    Comparison comparison;
    std::string key;       // of the value, for text fields
    qint64 number = 0;     // of the value, for the key field
    // The keys the comparison admits: [low, high), each end possibly open.
    bool ranged = false;
    bool hasLow = false, lowInclusive = true, hasHigh = false, highInclusive = false;
    std::string low, high;
};

RowSelection::RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields)
    : m_rows(rows)
    , m_fields(fields)
    , m_orders(fields.size())
    , m_builds(fields.size())
{
}

RowSelection::~RowSelection()
{
    waitForBackgroundWork();
}

void RowSelection::check(const QString& filter, const QString& sortFields) const
{
    Filter::parse(filter, m_fields);
    parseSortFields(sortFields, m_fields);
}

std::string RowSelection::keyOf(int row, int field) const
{
    std::string key;
    if (!m_rows.isNull(row, field - 1))
        Collation::instance().appendKey(m_rows.utf8(row, field - 1), key);
    return key;
}

// Orders --------------------------------------------------------------------

RowSelection::Order RowSelection::buildOrder(int field) const
{
    const int n = m_rows.rowCount();
    const int column = field - 1;
    const Collation& collation = Collation::instance();

    // 1. The distinct values (by their bytes; NULL is value 0).
    std::vector<std::uint32_t> valueOf(std::size_t(n), 0);
    std::vector<std::string_view> values{std::string_view()};
    std::size_t capacity = 1024;
    while (capacity < std::size_t(n) * 2)
        capacity *= 2;
    std::vector<std::uint32_t> buckets(capacity, 0); // value id + 1, 0 free
    auto hashOf = [](std::string_view v) {
        std::uint64_t h = 1469598103934665603ull;
        for (unsigned char c : v)
            h = (h ^ c) * 1099511628211ull;
        return h ^ (h >> 29);
    };
    for (int row = 0; row < n; ++row) {
        if (m_rows.isNull(row, column))
            continue;
        const std::string_view v = m_rows.utf8(row, column);
        std::size_t at = hashOf(v) & (capacity - 1);
        while (true) {
            const std::uint32_t slot = buckets[at];
            if (slot == 0) {
                buckets[at] = std::uint32_t(values.size()) + 1;
                valueOf[std::size_t(row)] = std::uint32_t(values.size());
                values.push_back(v);
                break;
            }
            if (values[slot - 1] == v) {
                valueOf[std::size_t(row)] = slot - 1;
                break;
            }
            at = (at + 1) & (capacity - 1);
        }
    }
    buckets = {};

    // 2. Their keys, in one buffer, and their order.
    const std::size_t count = values.size();
    std::string keys;
    std::vector<std::uint32_t> keyStart(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        keyStart[i] = std::uint32_t(keys.size());
        if (i > 0)
            collation.appendKey(values[i], keys);
    }
    keyStart[count] = std::uint32_t(keys.size());

    // The column uses few distinct key units: numbered in their order, one
    // or two bytes each, they make shorter keys that order the same, and
    // eight bytes of them tell most values apart.
    if (keys.size() % 4 == 0) {
        auto unitAt = [&](std::size_t at) {
            const auto* b = reinterpret_cast<const unsigned char*>(keys.data() + at);
            return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
        };
        constexpr std::size_t TableSize = 1 << 16;
        std::vector<std::uint32_t> seen(TableSize, 0);
        std::vector<std::uint32_t> units;
        bool tooMany = false;
        auto slotOf = [&](std::uint32_t unit) {
            std::size_t at = (unit * 2654435761u) >> 16;
            while (seen[at] != 0 && seen[at] != unit)
                at = (at + 1) & (TableSize - 1);
            return at;
        };
        for (std::size_t at = 0; at < keys.size() && !tooMany; at += 4) {
            const std::uint32_t unit = unitAt(at);
            const std::size_t slot = slotOf(unit);
            if (seen[slot] == 0) {
                seen[slot] = unit;
                units.push_back(unit);
                tooMany = units.size() > 65535 / 2;
            }
        }
        if (!tooMany) {
            std::sort(units.begin(), units.end());
            std::vector<std::uint16_t> code(TableSize, 0);
            for (std::size_t i = 0; i < units.size(); ++i)
                code[slotOf(units[i])] = std::uint16_t(i + 1);
            const bool narrow = units.size() <= 255;
            std::string packed;
            packed.reserve(keys.size() / (narrow ? 4 : 2));
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t from = keyStart[i], to = keyStart[i + 1];
                keyStart[i] = std::uint32_t(packed.size());
                for (std::size_t at = from; at < to; at += 4) {
                    const std::uint16_t c = code[slotOf(unitAt(at))];
                    if (!narrow)
                        packed.push_back(char(c >> 8));
                    packed.push_back(char(c & 0xFF));
                }
            }
            keyStart[count] = std::uint32_t(packed.size());
            keys.swap(packed);
        }
    }

    auto keyOfValue = [&](std::uint32_t i) {
        return std::string_view(keys).substr(keyStart[i], keyStart[i + 1] - keyStart[i]);
    };
    std::vector<Item> items(count);
    for (std::size_t i = 0; i < count; ++i)
        items[i] = {prefixOf(keyOfValue(std::uint32_t(i)), 0), std::uint32_t(i)};
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = keyOfValue(a.row).compare(keyOfValue(b.row));
        return c != 0 ? c < 0 : a.row < b.row; // NULL (0) before an empty text
    });
    std::vector<std::uint32_t> valueRank(count, 0);
    std::uint32_t rank = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && (items[i].prefix != items[i - 1].prefix || keyOfValue(items[i].row) != keyOfValue(items[i - 1].row)))
            ++rank;
        valueRank[items[i].row] = rank;
    }

    // 3. The rows by the ranks of their values, ties in stored order.
    Order result;
    result.rank.resize(std::size_t(n));
    result.sorted.resize(std::size_t(n));
    std::vector<std::uint32_t> start(std::size_t(rank) + 2, 0);
    for (int row = 0; row < n; ++row) {
        const std::uint32_t r = valueRank[valueOf[std::size_t(row)]];
        result.rank[std::size_t(row)] = r;
        ++start[r + 1];
    }
    for (std::size_t r = 1; r < start.size(); ++r)
        start[r] += start[r - 1];
    for (int row = 0; row < n; ++row)
        result.sorted[start[result.rank[std::size_t(row)]]++] = std::uint32_t(row);
    return result;
}

// Each text field's order is built once, by whichever thread claims it
// first: the background worker, or the thread that needs it right now.
struct RowSelection::Build
{
    std::atomic<bool> claimed{false};
    std::promise<std::unique_ptr<Order>> promise;
    std::future<std::unique_ptr<Order>> future = promise.get_future();
};

void RowSelection::runBuild(Build& build, int field) const
{
    try {
        build.promise.set_value(std::make_unique<Order>(buildOrder(field)));
    } catch (...) {
        build.promise.set_exception(std::current_exception());
    }
}

const RowSelection::Order& RowSelection::order(int field)
{
    auto& slot = m_orders[std::size_t(field)];
    if (!slot) {
        Build* build = m_builds[std::size_t(field)].get();
        if (build && build->future.valid()) {
            // A worker may still look at this build: it stays until the
            // workers have finished.
            if (!build->claimed.exchange(true))
                runBuild(*build, field);
            slot = build->future.get();
        } else {
            slot = std::make_unique<Order>(buildOrder(field));
        }
    }
    return *slot;
}

void RowSelection::prepareInBackground()
{
    waitForBackgroundWork();
    // In field order; a field needed before its turn is built by the
    // thread that needs it.
    std::vector<int> fields;
    for (std::size_t field = 1; field < m_fields.size(); ++field) {
        if (m_fields[field].type == FieldType::WideString && !m_orders[field])
            fields.push_back(int(field));
    }
    for (int field : fields)
        m_builds[std::size_t(field)] = std::make_unique<Build>();
    if (fields.empty())
        return;
    std::vector<std::pair<int, Build*>> jobs;
    for (int field : fields)
        jobs.emplace_back(field, m_builds[std::size_t(field)].get());
    // Two workers share the fields; each takes the next one nobody has
    // claimed yet.
    const unsigned workers = std::min<unsigned>(2, unsigned(jobs.size()));
    for (unsigned w = 0; w < workers; ++w) {
        m_workers.emplace_back([this, jobs] {
            for (const auto& [field, build] : jobs) {
                if (!build->claimed.exchange(true))
                    runBuild(*build, field);
            }
        });
    }
}

void RowSelection::waitForBackgroundWork()
{
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}

void RowSelection::valueChanged(int row, int field)
{
    Q_UNUSED(row);
    waitForBackgroundWork();
    if (field > 0 && field < int(m_orders.size())) {
        m_builds[std::size_t(field)].reset();
        m_orders[std::size_t(field)].reset();
    }
}

void RowSelection::rowAdded(int row)
{
    Q_UNUSED(row);
    waitForBackgroundWork();
    for (std::size_t field = 1; field < m_orders.size(); ++field) {
        m_builds[field].reset();
        m_orders[field].reset();
    }
}

// The rows of an order, all or only those chosen, ascending or descending;
// equal values keep their stored order either way.
std::vector<std::uint32_t> RowSelection::walk(const Order& o, bool descending, const std::vector<bool>* chosen) const
{
    std::vector<std::uint32_t> rows;
    const bool all = !chosen && m_rows.deletedCount() == 0;
    if (all && !descending)
        return o.sorted;
    rows.reserve(chosen ? 0 : o.sorted.size());
    auto take = [&](std::uint32_t row) {
        if (chosen ? (*chosen)[row] : !m_rows.isDeleted(int(row)))
            rows.push_back(row);
    };
    if (!descending) {
        for (std::uint32_t row : o.sorted)
            take(row);
        return rows;
    }
    for (std::size_t end = o.sorted.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && o.rank[o.sorted[begin - 1]] == o.rank[o.sorted[end - 1]])
            --begin;
        for (std::size_t i = begin; i < end; ++i)
            take(o.sorted[i]);
        end = begin;
    }
    return rows;
}

// Selecting -----------------------------------------------------------------

bool RowSelection::matches(std::uint32_t row, const Prepared& p) const
{
    const Comparison& c = p.comparison;
    using Op = Comparison::Op;
    if (c.field == 0) {
        if (!c.value)
            return c.op == Op::NotEqual;
        const qint64 key = m_rows.key(int(row));
        switch (c.op) {
        case Op::Equal: return key == p.number;
        case Op::NotEqual: return key != p.number;
        case Op::Less: return key < p.number;
        case Op::Greater: return key > p.number;
        case Op::LessEqual: return key <= p.number;
        case Op::GreaterEqual: return key >= p.number;
        case Op::Like: return false;
        }
        return false;
    }
    const bool null = m_rows.isNull(int(row), c.field - 1);
    if (!c.value)
        return c.op == Op::Equal ? null : !null;
    if (null)
        return false; // no value compares with nothing
    const std::string key = keyOf(int(row), c.field);
    const int order = key.compare(p.key);
    switch (c.op) {
    case Op::Equal: return order == 0;
    case Op::NotEqual: return order != 0;
    case Op::Less: return order < 0;
    case Op::Greater: return order > 0;
    case Op::LessEqual: return order <= 0;
    case Op::GreaterEqual: return order >= 0;
    case Op::Like:
        switch (c.pattern) {
        case Comparison::Pattern::Whole:
            return order == 0;
        case Comparison::Pattern::Prefix:
            return key.compare(0, p.key.size(), p.key) == 0;
        case Comparison::Pattern::Contains:
            for (std::size_t at = 0; at + p.key.size() <= key.size(); at += 4) {
                if (key.compare(at, p.key.size(), p.key) == 0)
                    return true;
            }
            return false;
        }
    }
    return false;
}

RowSelection::Candidates RowSelection::evaluate(const std::vector<Comparison>& alternative)
{
    using Op = Comparison::Op;
    std::vector<Prepared> prepared;
    for (const Comparison& c : alternative) {
        Prepared p;
        p.comparison = c;
        if (c.field == 0) {
            p.number = c.value ? c.value->toLongLong() : 0;
        } else if (c.value) {
            p.key = Collation::instance().key(*c.value);
            p.ranged = true;
            switch (c.op) {
            case Op::Equal: p.hasLow = p.hasHigh = p.highInclusive = true; p.low = p.high = p.key; break;
            case Op::Less: p.hasHigh = true; p.high = p.key; break;
            case Op::LessEqual: p.hasHigh = p.highInclusive = true; p.high = p.key; break;
            case Op::Greater: p.hasLow = true; p.lowInclusive = false; p.low = p.key; break;
            case Op::GreaterEqual: p.hasLow = true; p.low = p.key; break;
            case Op::Like:
                if (c.pattern == Comparison::Pattern::Whole) {
                    p.hasLow = p.hasHigh = p.highInclusive = true;
                    p.low = p.high = p.key;
                } else if (c.pattern == Comparison::Pattern::Prefix) {
                    p.hasLow = true;
                    p.low = p.key;
                    p.high = prefixEnd(p.key);
                    p.hasHigh = !p.high.empty();
                } else {
                    p.ranged = false;
                }
                break;
            case Op::NotEqual: p.ranged = false; break;
            }
        }
        prepared.push_back(std::move(p));
    }

    // Per field, the stretch of its order that every bounding comparison
    // allows; the shortest stretch gives the candidates.
    int bestField = -1;
    std::size_t bestLow = 0, bestHigh = 0;
    for (const Prepared& p : prepared) {
        if (!p.ranged)
            continue;
        const int field = p.comparison.field;
        if (field == bestField)
            continue;
        const Order& o = order(field);
        std::size_t low = 0, high = o.sorted.size();
        for (const Prepared& q : prepared) {
            if (!q.ranged || q.comparison.field != field)
                continue;
            if (q.hasLow) {
                const auto it = std::partition_point(o.sorted.begin() + std::ptrdiff_t(low), o.sorted.begin() + std::ptrdiff_t(high),
                                                     [&](std::uint32_t row) {
                                                         const int c = keyOf(int(row), field).compare(q.low);
                                                         return q.lowInclusive ? c < 0 : c <= 0;
                                                     });
                low = std::size_t(it - o.sorted.begin());
            }
            if (q.hasHigh) {
                const auto it = std::partition_point(o.sorted.begin() + std::ptrdiff_t(low), o.sorted.begin() + std::ptrdiff_t(high),
                                                     [&](std::uint32_t row) {
                                                         const int c = keyOf(int(row), field).compare(q.high);
                                                         return q.highInclusive ? c <= 0 : c < 0;
                                                     });
                high = std::size_t(it - o.sorted.begin());
            }
        }
        if (bestField < 0 || high - low < bestHigh - bestLow) {
            bestField = field;
            bestLow = low;
            bestHigh = high;
        }
    }

    // What the stretch does not already guarantee is checked row by row.
    std::vector<const Prepared*> checks;
    // A stretch whose lower bound is above the empty key holds no NULL.
    bool nullsPossible = bestField >= 0;
    for (const Prepared& p : prepared) {
        if (p.ranged && p.comparison.field == bestField) {
            if (p.hasLow && !p.low.empty())
                nullsPossible = false;
            continue;
        }
        checks.push_back(&p);
    }

    Candidates result;
    auto consider = [&](std::uint32_t row) {
        if (m_rows.isDeleted(int(row)))
            return;
        if (nullsPossible && m_rows.isNull(int(row), bestField - 1))
            return;
        for (const Prepared* p : checks) {
            if (!matches(row, *p))
                return;
        }
        result.rows.push_back(row);
    };
    if (bestField >= 0) {
        const Order& o = order(bestField);
        result.rows.reserve(bestHigh - bestLow);
        for (std::size_t i = bestLow; i < bestHigh; ++i)
            consider(o.sorted[i]);
        result.orderedBy = bestField;
    } else {
        for (int row = 0; row < m_rows.rowCount(); ++row)
            consider(std::uint32_t(row));
    }
    return result;
}

std::vector<std::uint32_t> RowSelection::sortRows(Candidates candidates, const std::vector<SortKey>& keys)
{
    std::vector<std::uint32_t>& rows = candidates.rows;
    const bool stored = candidates.orderedBy < 0;
    if (keys.empty()) {
        if (!stored)
            std::sort(rows.begin(), rows.end());
        return std::move(rows);
    }
    for (const SortKey& key : keys) {
        if (key.field > 0)
            order(key.field);
    }
    const SortKey& first = keys.front();
    if (keys.size() == 1 && first.field > 0) {
        const Order& o = order(first.field);
        if (candidates.orderedBy == first.field && !first.descending)
            return std::move(rows);
        if (candidates.orderedBy == first.field || rows.size() > m_rows.rowCount() / 16u) {
            // Many rows: walk the field's order and keep the chosen ones.
            std::vector<bool> chosen(std::size_t(m_rows.rowCount()), false);
            for (std::uint32_t row : rows)
                chosen[row] = true;
            return walk(o, first.descending, &chosen);
        }
    }
    if (keys.size() == 1 && first.field > 0 && !first.descending) {
        // Few rows: by their ranks, ties in stored order, a digit at a time.
        const Order& o = order(first.field);
        if (!std::is_sorted(rows.begin(), rows.end()))
            std::sort(rows.begin(), rows.end());
        std::vector<std::uint32_t> buffer(rows.size());
        const std::uint32_t top = std::uint32_t(o.sorted.empty() ? 0 : o.rank[o.sorted.back()]);
        for (int shift = 0; shift < 32 && (top >> shift) != 0; shift += 11) {
            std::vector<std::uint32_t> count(2049, 0);
            for (std::uint32_t row : rows)
                ++count[((o.rank[row] >> shift) & 2047) + 1];
            for (std::size_t d = 1; d < count.size(); ++d)
                count[d] += count[d - 1];
            for (std::uint32_t row : rows)
                buffer[count[(o.rank[row] >> shift) & 2047]++] = row;
            rows.swap(buffer);
        }
        return std::move(rows);
    }
    std::sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (const SortKey& key : keys) {
            std::int64_t va, vb;
            if (key.field == 0) {
                va = m_rows.key(int(a));
                vb = m_rows.key(int(b));
            } else {
                const Order& o = *m_orders[std::size_t(key.field)];
                va = o.rank[a];
                vb = o.rank[b];
            }
            if (va != vb)
                return key.descending ? va > vb : va < vb;
        }
        return a < b;
    });
    return std::move(rows);
}

std::vector<std::uint32_t> RowSelection::select(const QString& filterText, const QString& sortFields)
{
    const Filter filter = Filter::parse(filterText, m_fields);
    const std::vector<SortKey> keys = parseSortFields(sortFields, m_fields);

    Candidates candidates;
    if (filter.admitsAll() && keys.size() == 1 && keys.front().field > 0)
        return walk(order(keys.front().field), keys.front().descending, nullptr);
    if (filter.admitsAll()) {
        candidates.rows.reserve(std::size_t(m_rows.rowCount()));
        for (int row = 0; row < m_rows.rowCount(); ++row) {
            if (!m_rows.isDeleted(row))
                candidates.rows.push_back(std::uint32_t(row));
        }
    } else if (filter.alternatives.size() == 1) {
        candidates = evaluate(filter.alternatives.front());
    } else {
        std::vector<bool> chosen(std::size_t(m_rows.rowCount()), false);
        for (const auto& alternative : filter.alternatives) {
            for (std::uint32_t row : evaluate(alternative).rows)
                chosen[row] = true;
        }
        for (int row = 0; row < m_rows.rowCount(); ++row) {
            if (chosen[std::size_t(row)])
                candidates.rows.push_back(std::uint32_t(row));
        }
    }
    return sortRows(std::move(candidates), keys);
}
