#include "data/RowSelection.h"

#include "data/Collation.h"
#include "data/DataError.h"
#include "data/OrderCache.h"
#include "data/RowSet.h"
#include "data/SortedOrder.h"

#include <algorithm>
#include <array>
#include <thread>

namespace {

// Tables of this many rows or more are looked through by two threads.
constexpr int kScanHelperRows = 1 << 17;

} // namespace

RowSelection::RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields, OrderCache& orders)
    : m_rows(rows)
    , m_fields(fields)
    , m_orders(orders)
    , m_sorter(rows, orders)
{
}

std::string RowSelection::keyOf(int row, int field, std::size_t limit) const
{
    std::string key;
    if (!m_rows.isNull(row, field - 1))
        Collation::instance().appendKeyHead(m_rows.utf8(row, field - 1), limit, key);
    return key;
}

std::vector<std::uint32_t> RowSelection::select(const QString& filter, const QString& sortFields)
{
    return select(Selection::parse(filter, sortFields, m_fields));
}

RowView RowSelection::view(const Selection& selection)
{
    if (m_rows.deletedCount() == 0 && selection.filter.admitsAll()) {
        if (selection.keys.empty())
            return RowView::allRows(std::size_t(m_rows.rowCount()));
        const SortKey& key = selection.keys.front();
        if (selection.keys.size() == 1 && key.field > 0 && !key.descending) {
            std::shared_ptr<const SortedOrder> order = m_orders.sharedOrder(key.field);
            return RowView::shared(std::shared_ptr<const std::vector<std::uint32_t>>(order, &order->sorted));
        }
    }
    return RowView(select(selection));
}

std::vector<std::uint32_t> RowSelection::select(const Selection& selection)
{
    const Filter& filter = selection.filter;
    const std::vector<SortKey>& keys = selection.keys;

    if (filter.admitsAll() && keys.size() == 1 && keys.front().field > 0)
        return m_sorter.walk(m_orders.order(keys.front().field), keys.front().descending, nullptr);
    if (filter.admitsAll())
        return m_sorter.sort(everyRow(), keys);
    if (filter.alternatives.size() == 1)
        return m_sorter.sort(evaluate(filter.alternatives.front()), keys);

    // Several alternatives: the rows any of them admits, in stored order.
    std::vector<bool> chosen(std::size_t(m_rows.rowCount()), false);
    for (const auto& alternative : filter.alternatives) {
        for (std::uint32_t row : evaluate(alternative).rows)
            chosen[row] = true;
    }
    Q_ASSERT(chosen.size() == std::size_t(m_rows.rowCount()));
    Candidates candidates;
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (chosen[std::size_t(row)])
            candidates.rows.push_back(std::uint32_t(row));
    }
    return m_sorter.sort(std::move(candidates), keys);
}

namespace {

// The keys every range of one text field admits together, when every
// condition is a range on that one field.
std::optional<std::pair<int, KeyRange>> jointRange(const std::vector<Comparison>& conditions)
{
    std::optional<std::pair<int, KeyRange>> joint;
    for (const Comparison& c : conditions) {
        if (c.field <= 0 || !c.value)
            return std::nullopt;
        const std::optional<KeyRange> range = KeyRange::of(c.op, c.pattern, Collation::instance().key(*c.value));
        if (!range || (joint && joint->first != c.field))
            return std::nullopt;
        if (!joint) {
            joint.emplace(c.field, *range);
            continue;
        }
        KeyRange& r = joint->second;
        if (range->low && (!r.low || *range->low > *r.low || (*range->low == *r.low && !range->lowInclusive))) {
            r.low = range->low;
            r.lowInclusive = range->lowInclusive;
        }
        if (range->high && (!r.high || *range->high < *r.high || (*range->high == *r.high && !range->highInclusive))) {
            r.high = range->high;
            r.highInclusive = range->highInclusive;
        }
    }
    return joint;
}

} // namespace

bool RowSelection::narrows(const Selection& wide, const Selection& narrow)
{
    if (wide.filter.alternatives.size() != 1 || narrow.filter.alternatives.size() != 1
        || wide.keys.size() != narrow.keys.size())
        return false;
    for (std::size_t i = 0; i < wide.keys.size(); ++i) {
        if (wide.keys[i].field != narrow.keys[i].field || wide.keys[i].descending != narrow.keys[i].descending)
            return false;
    }
    const auto w = jointRange(wide.filter.alternatives.front());
    const auto n = jointRange(narrow.filter.alternatives.front());
    if (!w || !n || w->first != n->first)
        return false;
    const KeyRange &a = w->second, &b = n->second;
    const bool lowWithin
        = !a.low || (b.low && (*b.low > *a.low || (*b.low == *a.low && (a.lowInclusive || !b.lowInclusive))));
    const bool highWithin
        = !a.high || (b.high && (*b.high < *a.high || (*b.high == *a.high && (a.highInclusive || !b.highInclusive))));
    return lowWithin && highWithin;
}

bool RowSelection::canScan(const Selection& selection) const
{
    const Filter& filter = selection.filter;
    if (filter.alternatives.size() != 1 || selection.keys.size() > 1)
        return false;
    if (!selection.keys.empty()) {
        const int field = selection.keys.front().field;
        if (field <= 0 || m_fields[std::size_t(field)].type != FieldType::WideString)
            return false;
    }
    const std::vector<Comparison>& conditions = filter.alternatives.front();
    return std::none_of(conditions.begin(), conditions.end(),
        [](const Comparison& c) { return c.op == Comparison::Op::Like && c.pattern == Comparison::Pattern::Contains; });
}

std::optional<std::vector<std::uint32_t>> RowSelection::scan(const Selection& selection, std::size_t limit,
    const std::atomic<bool>& stop, const std::vector<std::uint32_t>* within) const
{
    if (!canScan(selection))
        return std::nullopt;
    const bool sorted = !selection.keys.empty();
    const std::vector<Condition> conditions = prepare(selection.filter.alternatives.front());
    // The ranges on one field are checked against one key head per row,
    // made as long as the longest of them needs; the rest one by one.
    struct Ranges {
        int column;
        std::size_t limit = 0;
        std::vector<const KeyRange*> ranges;
    };
    std::vector<Ranges> ranges;
    std::vector<const Condition*> others;
    for (const Condition& c : conditions) {
        if (!c.range) {
            others.push_back(&c);
            continue;
        }
        const int column = c.comparison.field - 1;
        auto on = std::find_if(ranges.begin(), ranges.end(), [&](const Ranges& r) { return r.column == column; });
        if (on == ranges.end())
            on = ranges.insert(ranges.end(), Ranges { column, 0, {} });
        on->limit = std::max(on->limit, c.range->keyBytesNeeded());
        on->ranges.push_back(&*c.range);
    }
    const Collation& collation = Collation::instance();
    // Most values are told by their first character: only those that begin
    // like an end of a range are read further.
    constexpr std::size_t kFirstUnit = 4;
    // first: the row's value of the first range's field, asked for ahead.
    auto admitted = [&](int row, const StoredValue& first, std::string& key) {
        for (const Ranges& r : ranges) {
            const StoredValue stored = &r == &ranges.front() ? first : m_rows.stored(row, r.column);
            if (stored.null)
                return false; // no value lies in a range
            const std::string_view value = stored.bytes;
            key.clear();
            collation.appendKeyHead(value, kFirstUnit, key);
            bool decided = key.size() < kFirstUnit; // the whole key: checked below
            if (!decided) {
                decided = true;
                for (const KeyRange* range : r.ranges) {
                    const std::optional<bool> all = range->admitsBeginning(key);
                    if (all == false)
                        return false;
                    decided = decided && all.has_value();
                }
                if (decided)
                    continue;
                key.clear();
                collation.appendKeyHead(value, r.limit, key);
            }
            for (const KeyRange* range : r.ranges) {
                if (!range->admits(key))
                    return false;
            }
        }
        return std::all_of(
            others.begin(), others.end(), [&](const Condition* c) { return matches(std::uint32_t(row), *c); });
    };
    // The rows rowAt(from) to rowAt(to - 1) that the filter admits; false
    // once stop is raised or more than limit are found.
    const bool anyDeleted = m_rows.deletedCount() > 0;
    // The values a row holds lie anywhere in memory (where each was first
    // read): the first range's value, and its bytes from memory, are asked
    // for a few rows ahead, and the value is kept until its row comes.
    const int aheadColumn = ranges.empty() ? -1 : ranges.front().column;
    auto choose = [&](std::size_t from, std::size_t to, auto rowAt, std::vector<std::uint32_t>& chosen) {
        std::string key;
        constexpr std::size_t Ahead = 8; // a power of two
        std::array<StoredValue, Ahead> ahead;
        const auto fetch = [&](std::size_t i) {
            if (aheadColumn < 0 || i >= to)
                return;
            StoredValue& value = ahead[i % Ahead];
            value = m_rows.stored(int(rowAt(i)), aheadColumn);
            __builtin_prefetch(value.bytes.data());
        };
        for (std::size_t i = from; i < from + Ahead; ++i)
            fetch(i);
        for (std::size_t i = from; i < to; ++i) {
            if (i % 4096 == 0 && stop.load(std::memory_order_relaxed))
                return false;
            const StoredValue first = ahead[i % Ahead];
            fetch(i + Ahead);
            const std::uint32_t row = rowAt(i);
            if ((anyDeleted && m_rows.isDeleted(int(row))) || !admitted(int(row), first, key))
                continue;
            if (chosen.size() >= limit)
                return false;
            chosen.push_back(row);
        }
        return true;
    };
    const auto stored = [](std::size_t i) { return std::uint32_t(i); };
    if (within && sorted && !selection.keys.front().descending && others.empty() && ranges.size() == 1
        && ranges.front().column == selection.keys.front().field - 1
        && std::any_of(ranges.front().ranges.begin(), ranges.front().ranges.end(),
            [](const KeyRange* range) { return range->excludesNull(); })) {
        // A narrower search on the field the rows are sorted by: what it
        // admits is one stretch of the wider one's rows, found by halving.
        const Ranges& on = ranges.front();
        std::size_t begin = 0, end = within->size();
        for (const KeyRange* range : on.ranges) {
            std::tie(begin, end) = range->within(
                *within, begin, end, [&](std::uint32_t row) { return keyOf(int(row), on.column + 1, on.limit); });
        }
        if (end - begin > limit)
            return std::nullopt;
        std::vector<std::uint32_t> rows;
        rows.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            if (!anyDeleted || !m_rows.isDeleted(int((*within)[i])))
                rows.push_back((*within)[i]);
        }
        return rows;
    }
    if (within) {
        // A narrower search: the rows of the wider one, in their order.
        std::vector<std::uint32_t> rows;
        if (!choose(
                0, within->size(), [&](std::size_t i) { return (*within)[i]; }, rows))
            return std::nullopt;
        return rows;
    }
    // A big table is looked through by two threads, a half each.
    const std::size_t count = std::size_t(m_rows.rowCount());
    std::vector<std::uint32_t> rows, upper;
    bool upperDone = true;
    std::thread helper;
    const std::size_t half = count >= std::size_t(kScanHelperRows) ? count / 2 : count;
    if (half < count)
        helper = std::thread([&] { upperDone = choose(half, count, stored, upper); });
    const bool done = choose(0, half, stored, rows);
    if (helper.joinable())
        helper.join();
    if (!done || !upperDone || rows.size() + upper.size() > limit)
        return std::nullopt;
    rows.insert(rows.end(), upper.begin(), upper.end());
    if (sorted && !sortByKeys(rows, selection.keys.front(), stop))
        return std::nullopt;
    return rows;
}

// Puts rows in the order of one text field as the field's sorted order
// would, equal values in stored order either way: an order built over these
// rows alone. False once stop is raised.
bool RowSelection::sortByKeys(std::vector<std::uint32_t>& rows, const SortKey& by, const std::atomic<bool>& stop) const
{
    SortedOrder order;
    try {
        OrderBuilder builder(m_rows, by.field - 1);
        builder.addRows(rows, stop);
        order = builder.finish(stop);
    } catch (const SortedOrder::Stopped&) {
        return false;
    }
    // The order is of places in rows, which ascend.
    std::vector<std::uint32_t> sorted;
    sorted.reserve(rows.size());
    if (!by.descending) {
        for (std::uint32_t at : order.sorted)
            sorted.push_back(rows[at]);
    } else {
        for (std::size_t end = order.sorted.size(); end > 0;) {
            std::size_t begin = end - 1;
            while (begin > 0 && order.rank[order.sorted[begin - 1]] == order.rank[order.sorted[end - 1]])
                --begin;
            for (std::size_t i = begin; i < end; ++i)
                sorted.push_back(rows[order.sorted[i]]);
            end = begin;
        }
    }
    rows.swap(sorted);
    return true;
}

Candidates RowSelection::everyRow() const
{
    Candidates all;
    all.rows.reserve(std::size_t(m_rows.rowCount()));
    const bool anyDeleted = m_rows.deletedCount() > 0;
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (!anyDeleted || !m_rows.isDeleted(row))
            all.rows.push_back(std::uint32_t(row));
    }
    return all;
}

std::vector<RowSelection::Condition> RowSelection::prepare(const std::vector<Comparison>& alternative)
{
    std::vector<Condition> conditions;
    for (const Comparison& c : alternative) {
        Condition condition;
        condition.comparison = c;
        if (c.field == 0) {
            condition.number = c.value ? c.value->toLongLong() : 0;
        } else if (c.value) {
            condition.key = Collation::instance().key(*c.value);
            condition.range = KeyRange::of(c.op, c.pattern, condition.key);
        }
        conditions.push_back(std::move(condition));
    }
    return conditions;
}

// Per field, the stretch of its order that every condition bounding it
// allows; the shortest of them.
RowSelection::Stretch RowSelection::shortestStretch(const std::vector<Condition>& conditions)
{
    Stretch best;
    for (const Condition& c : conditions) {
        const int field = c.comparison.field;
        if (!c.range || field == best.field)
            continue;
        const SortedOrder& order = m_orders.order(field);
        Stretch stretch { field, 0, order.sorted.size() };
        for (const Condition& on : conditions) {
            if (on.range && on.comparison.field == field) {
                const std::size_t limit = on.range->keyBytesNeeded();
                std::tie(stretch.begin, stretch.end) = on.range->within(order.sorted, stretch.begin, stretch.end,
                    [&](std::uint32_t row) { return keyOf(int(row), field, limit); });
            }
        }
        if (best.field < 0 || stretch.size() < best.size())
            best = stretch;
    }
    return best;
}

Candidates RowSelection::evaluate(const std::vector<Comparison>& alternative)
{
    const std::vector<Condition> conditions = prepare(alternative);
    const Stretch stretch = shortestStretch(conditions);

    // What the stretch does not already guarantee is checked row by row.
    std::vector<const Condition*> checks;
    bool nullsPossible = stretch.field >= 0;
    for (const Condition& c : conditions) {
        if (c.range && c.comparison.field == stretch.field) {
            nullsPossible = nullsPossible && !c.range->excludesNull();
            continue;
        }
        checks.push_back(&c);
    }

    Candidates result;
    const bool anyDeleted = m_rows.deletedCount() > 0; // most often none: no need to look
    auto consider = [&](std::uint32_t row) {
        if ((anyDeleted && m_rows.isDeleted(int(row))) || (nullsPossible && m_rows.isNull(int(row), stretch.field - 1)))
            return;
        for (const Condition* c : checks) {
            if (!matches(row, *c))
                return;
        }
        result.rows.push_back(row);
    };
    if (stretch.field >= 0) {
        const SortedOrder& order = m_orders.order(stretch.field);
        Q_ASSERT(stretch.begin <= stretch.end && stretch.end <= order.sorted.size());
        result.rows.reserve(stretch.size());
        for (std::size_t i = stretch.begin; i < stretch.end; ++i)
            consider(order.sorted[i]);
        result.orderedBy = stretch.field;
    } else {
        for (int row = 0; row < m_rows.rowCount(); ++row)
            consider(std::uint32_t(row));
    }
    return result;
}

bool RowSelection::matchesKeyField(std::uint32_t row, const Condition& condition) const
{
    using Op = Comparison::Op;
    const Comparison& c = condition.comparison;
    if (!c.value)
        return c.op == Op::NotEqual;
    const qint64 key = m_rows.key(int(row));
    switch (c.op) {
    case Op::Equal:
        return key == condition.number;
    case Op::NotEqual:
        return key != condition.number;
    case Op::Less:
        return key < condition.number;
    case Op::Greater:
        return key > condition.number;
    case Op::LessEqual:
        return key <= condition.number;
    case Op::GreaterEqual:
        return key >= condition.number;
    case Op::Like:
        return false;
    }
    return false;
}

bool RowSelection::matches(std::uint32_t row, const Condition& condition) const
{
    using Op = Comparison::Op;
    const Comparison& c = condition.comparison;
    if (c.field == 0)
        return matchesKeyField(row, condition);
    const bool null = m_rows.isNull(int(row), c.field - 1);
    if (!c.value)
        return c.op == Op::Equal ? null : !null;
    if (null)
        return false; // no value compares with nothing
    if (condition.range)
        return condition.range->admits(keyOf(int(row), c.field, condition.range->keyBytesNeeded()));
    if (c.op == Op::NotEqual)
        return keyOf(int(row), c.field, condition.key.size() + 4) != condition.key;
    // A LIKE with wildcards at both ends: the pattern's key anywhere in the
    // value's key, at a unit boundary, looked for a piece of the value at a time.
    return Collation::instance().keyContains(m_rows.utf8(int(row), c.field - 1), condition.key);
}
