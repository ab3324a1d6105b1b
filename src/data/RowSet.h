// The rows of one table held in memory, column by column.
//
// Texts are kept as UTF-8 in large shared blocks, so a million records cost
// little more than their text. A changed value is appended to the blocks and
// the cell points at it; a deleted row keeps its place and is only marked.
#pragma once

#include "data/Field.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class RowSet
{
public:
    explicit RowSet(int textColumns = 0);

    void reset(int textColumns);
    void reserve(std::size_t rows);

    int columnCount() const { return int(m_columns.size()); }
    int rowCount() const { return int(m_keys.size()); }

    // Adds a row with the given key and all texts null; returns its index.
    int appendRow(qint64 key);

    qint64 key(int row) const { return m_keys[std::size_t(row)]; }
    bool isDeleted(int row) const { return m_deleted[std::size_t(row)]; }
    void markDeleted(int row)
    {
        if (!m_deleted[std::size_t(row)])
            ++m_deletedCount;
        m_deleted[std::size_t(row)] = true;
    }
    int deletedCount() const { return m_deletedCount; }

    bool isNull(int row, int column) const;
    std::string_view utf8(int row, int column) const;
    QString text(int row, int column) const;
    TextValue value(int row, int column) const;

    void setUtf8(int row, int column, std::string_view utf8);
    void setNull(int row, int column);
    void setValue(int row, int column, const TextValue& value);

    // Bytes held for texts and cells, for the memory figures of benchmarks.
    std::size_t memoryUsage() const;

private:
    struct Cell
    {
        std::uint32_t offset = 0;
        std::uint16_t length = 0;
        bool null = true;
    };

    struct Column
    {
        std::vector<Cell> cells;
    };

    std::uint32_t store(std::string_view bytes);
    const char* at(std::uint32_t offset) const;

    static constexpr int BlockBits = 20;
    static constexpr std::uint32_t BlockSize = 1u << BlockBits;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::uint32_t m_used = 0; // bytes used in the last block
    std::vector<Column> m_columns;
    std::vector<qint64> m_keys;
    std::vector<bool> m_deleted;
    int m_deletedCount = 0;
};
