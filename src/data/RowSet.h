// The rows of one table held in memory, column by column.
//
// Texts are kept as UTF-8 in large shared blocks, so a million records cost
// little more than their text; a value too big for a block gets a block of
// its own, so any length the file holds fits. A changed value is appended to
// the blocks and the cell points at it; a deleted row keeps its place and is
// only marked. A row whose key cannot find it again in the file (no key, a
// key that is not a whole number, or one that other rows share) is marked
// too, so it is never written back.
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
    bool isDeleted(int row) const { return m_flags[std::size_t(row)] & Deleted; }
    void markDeleted(int row)
    {
        if (!isDeleted(row))
            ++m_deletedCount;
        m_flags[std::size_t(row)] |= Deleted;
    }
    int deletedCount() const { return m_deletedCount; }

    // What is wrong with a row's key, if anything.
    enum class KeyProblem : std::uint8_t { None, Missing, NotInteger, Duplicate };
    KeyProblem keyProblem(int row) const;
    void setKeyProblem(int row, KeyProblem problem);
    // Marks every row whose key another row shares. Cheap when the keys
    // ascend, as they do in a file read in key order.
    void markDuplicateKeys();

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
        static constexpr std::uint32_t NullLength = 0xFFFFFFFF;
        std::uint32_t offset = 0;
        std::uint32_t length = NullLength; // bytes; NullLength for no value
    };

    enum Flag : std::uint8_t { Deleted = 1, KeyProblemShift = 1, KeyProblemMask = 3 << KeyProblemShift };

    struct Column
    {
        std::vector<Cell> cells;
    };

    std::uint32_t store(std::string_view bytes);
    const char* at(std::uint32_t offset) const;

    // An offset is a block number and a position in the block; a value
    // bigger than a block has a block of its own at position 0.
    static constexpr int BlockBits = 20;
    static constexpr std::uint32_t BlockSize = 1u << BlockBits;
    static constexpr std::size_t MaxBlocks = std::size_t(1) << (32 - BlockBits);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockBytes = 0; // bytes allocated for blocks
    std::size_t m_current = 0;    // the block being filled
    std::uint32_t m_used = 0;     // bytes used in it
    std::vector<Column> m_columns;
    std::vector<qint64> m_keys;
    std::vector<std::uint8_t> m_flags;
    int m_deletedCount = 0;
};
