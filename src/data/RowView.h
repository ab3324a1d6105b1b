// The rows a table shows, in the order it shows them, by their places in
// the rows held in memory. Three forms, one interface: every row in stored
// order (just a count), a sorted order's list shared as it is (the whole
// table in one field's order costs no copy), or a list of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class RowView {
public:
    using Rows = std::vector<std::uint32_t>;

    RowView() = default;
    RowView(Rows rows)
        : m_own(std::move(rows))
        , m_form(Form::Own)
    {
    }
    // Rows 0 to count - 1.
    static RowView allRows(std::size_t count)
    {
        RowView view;
        view.m_form = Form::Stored;
        view.m_count = count;
        return view;
    }
    // A list kept alive by whoever shares it; never changed through here.
    static RowView shared(std::shared_ptr<const Rows> rows)
    {
        RowView view;
        view.m_form = Form::Shared;
        view.m_shared = std::move(rows);
        return view;
    }

    std::size_t size() const
    {
        switch (m_form) {
        case Form::Stored:
            return m_count;
        case Form::Shared:
            return m_shared->size();
        case Form::Own:
            break;
        }
        return m_own.size();
    }
    bool empty() const { return size() == 0; }
    std::uint32_t operator[](std::size_t at) const
    {
        switch (m_form) {
        case Form::Stored:
            return std::uint32_t(at);
        case Form::Shared:
            return (*m_shared)[at];
        case Form::Own:
            break;
        }
        return m_own[at];
    }
    // Where a row shows, or -1.
    long long find(std::uint32_t row) const;

    // Adds rows to the end of the stored order (a view of every row in
    // stored order stays one); else to a list of its own.
    void appendStored(std::uint32_t from, std::uint32_t to);
    void erase(std::size_t at);
    void clear() { *this = RowView(); }

    bool operator==(const RowView& other) const;

private:
    Rows& own(); // the list, made the view's own first

    enum class Form : std::uint8_t { Own, Stored, Shared };
    Rows m_own;
    std::shared_ptr<const Rows> m_shared;
    std::size_t m_count = 0;
    Form m_form = Form::Own;
};
