#include "data/RowSelection.h"

#include "data/Collation.h"
#include "data/DataError.h"
#include "data/OrderCache.h"
#include "data/RowSet.h"
#include "data/SortedOrder.h"

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
