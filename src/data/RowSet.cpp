#include "data/RowSet.h"

#include <cstring>
#include <stdexcept>

RowSet::RowSet(int textColumns)
{
    reset(textColumns);
}

void RowSet::reset(int textColumns)
{
    m_blocks.clear();
    m_used = BlockSize; // the first store opens a block
    m_columns.assign(std::size_t(textColumns), Column{});
    m_keys.clear();
    m_deleted.clear();
    m_deletedCount = 0;
}

void RowSet::reserve(std::size_t rows)
{
    for (auto& column : m_columns)
        column.cells.reserve(rows);
    m_keys.reserve(rows);
    m_deleted.reserve(rows);
}

int RowSet::appendRow(qint64 key)
{
    for (auto& column : m_columns)
        column.cells.emplace_back();
    m_keys.push_back(key);
    m_deleted.push_back(false);
    return int(m_keys.size()) - 1;
}

bool RowSet::isNull(int row, int column) const
{
    return m_columns[std::size_t(column)].cells[std::size_t(row)].null;
}

std::string_view RowSet::utf8(int row, int column) const
{
    const Cell& cell = m_columns[std::size_t(column)].cells[std::size_t(row)];
    if (cell.length == 0)
        return {};
    return {at(cell.offset), cell.length};
}

QString RowSet::text(int row, int column) const
{
    const std::string_view bytes = utf8(row, column);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

TextValue RowSet::value(int row, int column) const
{
    if (isNull(row, column))
        return std::nullopt;
    return text(row, column);
}

void RowSet::setUtf8(int row, int column, std::string_view bytes)
{
    if (bytes.size() > 0xFFFF)
        throw std::length_error("text too long for a cell");
    Cell& cell = m_columns[std::size_t(column)].cells[std::size_t(row)];
    cell.offset = bytes.empty() ? 0 : store(bytes);
    cell.length = std::uint16_t(bytes.size());
    cell.null = false;
}

void RowSet::setNull(int row, int column)
{
    m_columns[std::size_t(column)].cells[std::size_t(row)] = Cell{};
}

void RowSet::setValue(int row, int column, const TextValue& value)
{
    if (!value) {
        setNull(row, column);
        return;
    }
    const QByteArray bytes = value->toUtf8();
    setUtf8(row, column, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

std::uint32_t RowSet::store(std::string_view bytes)
{
    if (m_used + bytes.size() > BlockSize) {
        if (m_blocks.size() >= (std::size_t(1) << (32 - BlockBits)))
            throw std::length_error("text storage full");
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
        m_used = 0;
    }
    const std::uint32_t offset = std::uint32_t((m_blocks.size() - 1) << BlockBits) + m_used;
    std::memcpy(m_blocks.back().get() + m_used, bytes.data(), bytes.size());
    m_used += std::uint32_t(bytes.size());
    return offset;
}

const char* RowSet::at(std::uint32_t offset) const
{
    return m_blocks[offset >> BlockBits].get() + (offset & (BlockSize - 1));
}

std::size_t RowSet::memoryUsage() const
{
    std::size_t bytes = m_blocks.size() * BlockSize;
    for (const auto& column : m_columns)
        bytes += column.cells.capacity() * sizeof(Cell);
    bytes += m_keys.capacity() * sizeof(qint64) + m_deleted.capacity() / 8;
    return bytes;
}
