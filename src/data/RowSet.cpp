#include "data/RowSet.h"

#include "data/DataError.h"

#include <algorithm>
#include <cstring>
#include <numeric>

RowSet::RowSet(int textColumns)
{
    reset(textColumns);
}

void RowSet::reset(int textColumns)
{
    m_blocks.clear();
    m_blockBytes = 0;
    m_current = 0;
    m_used = BlockSize; // the first store opens a block
    m_columns.assign(std::size_t(textColumns), Column{});
    m_keys.clear();
    m_flags.clear();
    m_deletedCount = 0;
}

void RowSet::reserve(std::size_t rows)
{
    for (auto& column : m_columns)
        column.cells.reserve(rows);
    m_keys.reserve(rows);
    m_flags.reserve(rows);
}

int RowSet::appendRow(qint64 key)
{
    for (auto& column : m_columns)
        column.cells.emplace_back();
    m_keys.push_back(key);
    m_flags.push_back(0);
    return int(m_keys.size()) - 1;
}

RowSet::KeyProblem RowSet::keyProblem(int row) const
{
    return KeyProblem((m_flags[std::size_t(row)] & KeyProblemMask) >> KeyProblemShift);
}

void RowSet::setKeyProblem(int row, KeyProblem problem)
{
    std::uint8_t& flags = m_flags[std::size_t(row)];
    flags = std::uint8_t((flags & ~KeyProblemMask) | (std::uint8_t(problem) << KeyProblemShift));
}

void RowSet::markDuplicateKeys()
{
    // Rows without a usable key take no part: their key value means nothing.
    auto usable = [&](std::size_t row) { return keyProblem(int(row)) == KeyProblem::None; };
    bool ascending = true;
    std::size_t previous = m_keys.size();
    for (std::size_t row = 0; row < m_keys.size() && ascending; ++row) {
        if (!usable(row))
            continue;
        ascending = previous == m_keys.size() || m_keys[previous] < m_keys[row];
        previous = row;
    }
    if (ascending)
        return;
    std::vector<std::uint32_t> order(m_keys.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return m_keys[a] < m_keys[b]; });
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && m_keys[order[j]] == m_keys[order[i]])
            ++j;
        std::size_t users = 0;
        for (std::size_t k = i; k < j; ++k)
            users += usable(order[k]) ? 1 : 0;
        if (users > 1) {
            for (std::size_t k = i; k < j; ++k) {
                if (usable(order[k]))
                    setKeyProblem(int(order[k]), KeyProblem::Duplicate);
            }
        }
        i = j;
    }
}

bool RowSet::isNull(int row, int column) const
{
    return m_columns[std::size_t(column)].cells[std::size_t(row)].length == Cell::NullLength;
}

std::string_view RowSet::utf8(int row, int column) const
{
    const Cell& cell = m_columns[std::size_t(column)].cells[std::size_t(row)];
    if (cell.length == 0 || cell.length == Cell::NullLength)
        return {};
    return {at(cell.offset), cell.length};
}

QString RowSet::text(int row, int column) const
{
    const std::string_view bytes = utf8(row, column);
    if (bytes.empty())
        return isNull(row, column) ? QString() : QString(QLatin1String("")); // an empty text is not "no value"
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
    if (bytes.size() >= Cell::NullLength)
        throw DataError(QStringLiteral("Значение длиной %1 байт слишком велико.").arg(bytes.size()));
    Cell& cell = m_columns[std::size_t(column)].cells[std::size_t(row)];
    cell.offset = bytes.empty() ? 0 : store(bytes);
    cell.length = std::uint32_t(bytes.size());
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
    auto openBlock = [&](std::size_t size) {
        if (m_blocks.size() >= MaxBlocks)
            throw DataError(QStringLiteral("Тексты таблицы не помещаются в памяти программы."));
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_blockBytes += size;
        return m_blocks.size() - 1;
    };
    if (bytes.size() > BlockSize / 4) {
        // A big value gets a block of its own; the block being filled stays.
        const std::size_t block = openBlock(bytes.size());
        std::memcpy(m_blocks[block].get(), bytes.data(), bytes.size());
        return std::uint32_t(block << BlockBits);
    }
    if (m_used + bytes.size() > BlockSize) {
        m_current = openBlock(BlockSize);
        m_used = 0;
    }
    const std::uint32_t offset = std::uint32_t(m_current << BlockBits) + m_used;
    std::memcpy(m_blocks[m_current].get() + m_used, bytes.data(), bytes.size());
    m_used += std::uint32_t(bytes.size());
    return offset;
}

const char* RowSet::at(std::uint32_t offset) const
{
    return m_blocks[offset >> BlockBits].get() + (offset & (BlockSize - 1));
}

std::size_t RowSet::memoryUsage() const
{
    std::size_t bytes = m_blockBytes;
    for (const auto& column : m_columns)
        bytes += column.cells.capacity() * sizeof(Cell);
    bytes += m_keys.capacity() * sizeof(qint64) + m_flags.capacity();
    return bytes;
}
