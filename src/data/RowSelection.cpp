#include "data/RowSelection.h"

#include "data/DataError.h"

#include <QStringList>

#include <algorithm>
#include <numeric>

RowSelection::RowSelection(const RowSet& rows, const std::vector<FieldDef>& fields)
    : m_rows(rows)
    , m_fields(fields)
{
}

void RowSelection::check(const QString& filter, const QString& sortFields) const
{
    if (!filter.trimmed().isEmpty())
        throw DataError(QStringLiteral("Фильтр «%1» не поддерживается.").arg(filter));
    const QStringList names = sortFields.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        const QString trimmed = name.trimmed();
        const bool known = std::any_of(m_fields.begin(), m_fields.end(), [&](const FieldDef& field) {
            return field.name.compare(trimmed, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            throw DataError(QStringLiteral("Field '%1' not found").arg(trimmed));
    }
}

std::vector<std::uint32_t> RowSelection::select(const QString& filter, const QString& sortFields)
{
    check(filter, sortFields);
    std::vector<std::uint32_t> view;
    view.reserve(std::size_t(m_rows.rowCount()));
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (!m_rows.isDeleted(row))
            view.push_back(std::uint32_t(row));
    }
    const QString first = sortFields.split(QLatin1Char(','), Qt::SkipEmptyParts).value(0).trimmed();
    if (!first.isEmpty()) {
        int column = -1;
        for (std::size_t i = 1; i < m_fields.size(); ++i) {
            if (m_fields[i].name.compare(first, Qt::CaseInsensitive) == 0)
                column = int(i) - 1;
        }
        if (column >= 0) {
            std::stable_sort(view.begin(), view.end(), [&](std::uint32_t a, std::uint32_t b) {
                return m_rows.text(int(a), column).compare(m_rows.text(int(b), column), Qt::CaseInsensitive) < 0;
            });
        }
    }
    return view;
}

void RowSelection::valueChanged(int row, int field)
{
    Q_UNUSED(row);
    Q_UNUSED(field);
}

void RowSelection::rowAdded(int row)
{
    Q_UNUSED(row);
}
