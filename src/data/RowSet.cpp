#include "data/RowSet.h"

#include "data/DataError.h"

#include <algorithm>
#include <cstring>
#include <numeric>

RowSet::Chunk::Chunk(int columns)
    : keys(std::make_unique_for_overwrite<qint64[]>(ChunkRows))
    , flags(std::make_unique<std::uint8_t[]>(ChunkRows))
    , cells(std::make_unique<Cell[]>(std::size_t(columns) * ChunkRows))
{
}

RowSet::RowSet(int textColumns)
{
    reset(textColumns);
}

RowSet::~RowSet() = default;

void RowSet::reset(int textColumns)
{
    m_columnCount = textColumns;
    m_chunks.clear();
    m_chunks.reserve(MaxChunks);
    m_blocks.clear();
    m_blocks.reserve(MaxBlocks);
    m_blockBytes = 0;
    m_current = 0;
    m_used = BlockSize; // the first text opens a block
    m_size = 0;
    m_published.store(0, std::memory_order_release);
    m_inBatch = false;
    m_deletedCount = 0;
}

void RowSet::endBatch()
{
    m_inBatch = false;
    m_published.store(m_size, std::memory_order_release);
}

int RowSet::appendRow(qint64 key)
{
    if (std::size_t(m_size) >= MaxChunks * ChunkRows)
        throw DataError(QStringLiteral("В таблице больше записей, чем программа может показать."));
    if (offset(m_size) == 0)
        m_chunks.push_back(std::make_unique<Chunk>(m_columnCount));
    const int row = m_size++;
    Chunk& c = chunk(row);
    c.keys[offset(row)] = key;
    c.flags[offset(row)] = 0;
    for (int column = 0; column < m_columnCount; ++column)
        cell(row, column) = Cell {};
    if (!m_inBatch)
        m_published.store(m_size, std::memory_order_release);
    return row;
}

void RowSet::markDeleted(int row)
{
    std::uint8_t& flags = chunk(row).flags[offset(row)];
    if (!(flags & Deleted))
        ++m_deletedCount;
    flags |= Deleted;
}

RowSet::KeyProblem RowSet::keyProblem(int row) const
{
    return KeyProblem((chunk(row).flags[offset(row)] & KeyProblemMask) >> KeyProblemShift);
}

void RowSet::setKeyProblem(int row, KeyProblem problem)
{
    std::uint8_t& flags = chunk(row).flags[offset(row)];
    flags = std::uint8_t((flags & ~KeyProblemMask) | (std::uint8_t(problem) << KeyProblemShift));
}

void RowSet::markDuplicateKeys()
{
    // Rows without a usable key take no part: their key value means nothing.
    auto usable = [&](int row) { return keyProblem(row) == KeyProblem::None; };
    bool ascending = true;
    int previous = -1;
    for (int row = 0; row < m_size && ascending; ++row) {
        if (!usable(row))
            continue;
        ascending = previous < 0 || key(previous) < key(row);
        previous = row;
    }
    if (ascending)
        return;
    std::vector<std::uint32_t> order(static_cast<std::size_t>(m_size));
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(
        order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key(int(a)) < key(int(b)); });
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && key(int(order[j])) == key(int(order[i])))
            ++j;
        const auto users = std::count_if(order.begin() + std::ptrdiff_t(i), order.begin() + std::ptrdiff_t(j),
            [&](std::uint32_t row) { return usable(int(row)); });
        for (std::size_t k = i; k < j && users > 1; ++k) {
            if (usable(int(order[k])))
                setKeyProblem(int(order[k]), KeyProblem::Duplicate);
        }
        i = j;
    }
}

bool RowSet::isNull(int row, int column) const
{
    return cell(row, column).length == Cell::NullLength;
}

std::string_view RowSet::utf8(int row, int column) const
{
    const Cell& c = cell(row, column);
    if (c.length == 0 || c.length == Cell::NullLength)
        return {};
    return { textAt(c.offset), c.length };
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
    Cell& c = cell(row, column);
    c.offset = bytes.empty() ? 0 : appendText(bytes);
    c.length = std::uint32_t(bytes.size());
}

void RowSet::setNull(int row, int column)
{
    cell(row, column) = Cell {};
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

std::uint32_t RowSet::appendText(std::string_view bytes)
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
    const std::uint32_t at = std::uint32_t(m_current << BlockBits) + m_used;
    std::memcpy(m_blocks[m_current].get() + m_used, bytes.data(), bytes.size());
    m_used += std::uint32_t(bytes.size());
    return at;
}

const char* RowSet::textAt(std::uint32_t at) const
{
    return m_blocks[at >> BlockBits].get() + (at & (BlockSize - 1));
}

std::size_t RowSet::memoryUsage() const
{
    const std::size_t chunkBytes = ChunkRows * (sizeof(qint64) + 1 + std::size_t(m_columnCount) * sizeof(Cell));
    return m_blockBytes + m_chunks.size() * chunkBytes;
}
