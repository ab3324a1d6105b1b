#include "data/RowView.h"

#include <algorithm>

long long RowView::find(std::uint32_t row) const
{
    if (m_form == Form::Stored)
        return row < m_count ? (long long)row : -1;
    const Rows& rows = m_form == Form::Shared ? *m_shared : m_own;
    const auto at = std::find(rows.begin(), rows.end(), row);
    return at == rows.end() ? -1 : (long long)(at - rows.begin());
}

void RowView::appendStored(std::uint32_t from, std::uint32_t to)
{
    if ((m_form == Form::Stored || (m_form == Form::Own && m_own.empty())) && from == size()) {
        m_form = Form::Stored;
        m_own = {};
        m_count = to;
        return;
    }
    Rows& rows = own();
    // Grown by doubling, not by each call: no slice copies the list.
    const std::size_t needed = rows.size() + (to - from);
    if (needed > rows.capacity())
        rows.reserve(std::max(needed, 2 * rows.capacity()));
    for (std::uint32_t row = from; row < to; ++row)
        rows.push_back(row);
}

void RowView::erase(std::size_t at)
{
    Rows& rows = own();
    rows.erase(rows.begin() + std::ptrdiff_t(at));
}

RowView::Rows& RowView::own()
{
    if (m_form == Form::Stored) {
        m_own.resize(m_count);
        for (std::size_t i = 0; i < m_count; ++i)
            m_own[i] = std::uint32_t(i);
    } else if (m_form == Form::Shared) {
        m_own = *m_shared;
        m_shared.reset();
    }
    m_form = Form::Own;
    m_count = 0;
    return m_own;
}

bool RowView::operator==(const RowView& other) const
{
    if (size() != other.size())
        return false;
    if (m_form == Form::Shared && other.m_form == Form::Shared && m_shared == other.m_shared)
        return true;
    for (std::size_t i = 0; i < size(); ++i) {
        if ((*this)[i] != other[i])
            return false;
    }
    return true;
}
