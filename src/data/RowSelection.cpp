#include "data/RowSelection.h"

#include "data/Collation.h"
#include "data/DataError.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// The first eight bytes of a key as one number (missing bytes count as 0,
// which no key unit starts with, so a shorter key sorts first).
std::uint64_t prefixOf(const std::string& key, std::size_t offset)
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

// Stable sort by prefix, one byte at a time from the lowest; bytes that are
// the same everywhere cost one counting pass and nothing more.
void radixSort(std::vector<Item>& items)
{
    std::vector<Item> buffer(items.size());
    for (int shift = 0; shift < 64; shift += 8) {
        std::size_t count[256] = {};
        for (const Item& item : items)
            ++count[(item.prefix >> shift) & 0xFF];
        if (std::find(std::begin(count), std::end(count), items.size()) != std::end(count))
            continue;
        std::size_t start = 0;
        for (std::size_t& c : count) {
            const std::size_t n = c;
            c = start;
            start += n;
        }
        for (const Item& item : items)
            buffer[count[(item.prefix >> shift) & 0xFF]++] = item;
        items.swap(buffer);
    }
}

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
    , m_pending(fields.size())
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
    const Collation& collation = Collation::instance();
    std::vector<Item> items(static_cast<std::size_t>(n));
    std::string key;
    std::size_t longest = 0;
    for (int row = 0; row < n; ++row) {
        key.clear();
        if (!m_rows.isNull(row, field - 1))
            collation.appendKey(m_rows.utf8(row, field - 1), key);
        longest = std::max(longest, key.size());
        items[std::size_t(row)] = {prefixOf(key, 0), std::uint32_t(row)};
    }
    radixSort(items);

    // Rows that agree in their first eight key bytes are put in order by
    // their whole keys; a rank goes up wherever two neighbours differ.
    std::vector<bool> differs(std::size_t(n), false);
    std::vector<std::string> keys;
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < items.size();) {
        std::size_t j = i + 1;
        while (j < items.size() && items[j].prefix == items[i].prefix)
            ++j;
        if (i > 0)
            differs[i] = true;
        if (j - i > 1 && longest > 8) {
            keys.resize(j - i);
            order.resize(j - i);
            for (std::size_t k = i; k < j; ++k) {
                keys[k - i] = keyOf(int(items[k].row), field);
                order[k - i] = std::uint32_t(k - i);
            }
            auto tail = [&](std::uint32_t k) { return std::string_view(keys[k]).substr(std::min<std::size_t>(8, keys[k].size())); };
            std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return tail(a) < tail(b); });
            std::vector<Item> run(items.begin() + std::ptrdiff_t(i), items.begin() + std::ptrdiff_t(j));
            for (std::size_t k = 0; k < run.size(); ++k) {
                items[i + k] = run[order[k]];
                if (k > 0 && keys[order[k]] != keys[order[k - 1]])
                    differs[i + k] = true;
            }
        }
        i = j;
    }

    Order result;
    result.sorted.resize(std::size_t(n));
    result.rank.resize(std::size_t(n));
    std::uint32_t rank = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        rank += differs[i] ? 1 : 0;
        result.sorted[i] = items[i].row;
        result.rank[items[i].row] = rank;
    }
    return result;
}

const RowSelection::Order& RowSelection::order(int field)
{
    auto& slot = m_orders[std::size_t(field)];
    if (!slot) {
        auto& pending = m_pending[std::size_t(field)];
        if (pending.valid()) {
            pending.wait();
            // The worker hands its result over through the shared future.
            slot = std::make_unique<Order>(std::move(*const_cast<std::unique_ptr<Order>&>(pending.get())));
            pending = {};
        } else {
            slot = std::make_unique<Order>(buildOrder(field));
        }
    }
    return *slot;
}

void RowSelection::prepareInBackground()
{
    waitForBackgroundWork();
    std::vector<std::pair<int, std::promise<std::unique_ptr<Order>>>> jobs;
    for (std::size_t field = 1; field < m_fields.size(); ++field) {
        if (m_fields[field].type != FieldType::WideString || m_orders[field])
            continue;
        std::promise<std::unique_ptr<Order>> promise;
        m_pending[field] = promise.get_future().share();
        jobs.emplace_back(int(field), std::move(promise));
    }
    if (jobs.empty())
        return;
    m_worker = std::thread([this, jobs = std::move(jobs)]() mutable {
        for (auto& [field, promise] : jobs) {
            try {
                promise.set_value(std::make_unique<Order>(buildOrder(field)));
            } catch (...) {
                promise.set_exception(std::current_exception());
            }
        }
    });
}

void RowSelection::waitForBackgroundWork()
{
    if (m_worker.joinable())
        m_worker.join();
}

void RowSelection::valueChanged(int row, int field)
{
    Q_UNUSED(row);
    waitForBackgroundWork();
    if (field > 0 && field < int(m_orders.size())) {
        m_pending[std::size_t(field)] = {};
        m_orders[std::size_t(field)].reset();
    }
}

void RowSelection::rowAdded(int row)
{
    Q_UNUSED(row);
    waitForBackgroundWork();
    for (std::size_t field = 1; field < m_orders.size(); ++field) {
        m_pending[field] = {};
        m_orders[field].reset();
    }
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
    bool nullsPossible = false;
    for (const Prepared& p : prepared) {
        if (p.ranged && p.comparison.field == bestField) {
            nullsPossible = nullsPossible || !p.hasLow || p.low.empty();
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
        if (candidates.orderedBy != first.field && rows.size() > m_rows.rowCount() / 16u) {
            // Many rows: walk the field's order and keep the chosen ones.
            std::vector<bool> chosen(std::size_t(m_rows.rowCount()), false);
            for (std::uint32_t row : rows)
                chosen[row] = true;
            rows.clear();
            for (std::uint32_t row : o.sorted) {
                if (chosen[row])
                    rows.push_back(row);
            }
            candidates.orderedBy = first.field;
        }
        if (candidates.orderedBy == first.field) {
            if (first.descending) {
                // Equal values keep their stored order in either direction.
                std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
                    return o.rank[a] > o.rank[b];
                });
            }
            return std::move(rows);
        }
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
