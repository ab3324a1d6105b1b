// The rows of one table held in memory, column by column.
//
// Texts are kept as UTF-8 in large shared blocks, so a million records cost
// little more than their text; a value too big for a block gets a block of
// its own, so any length the file holds fits. A changed value is appended to
// the blocks and the cell points at it; a deleted row keeps its place and is
// only marked. A row whose key cannot find it again in the file (no key, a
// key that is not a whole number, or one that other rows share) is marked
// too, so it is never written back.
//
// Rows live in chunks that never move once made, so one thread may append
// rows while others read the rows already published: appended rows become
// visible to rowCount() when a batch ends (at once outside a batch).
#pragma once

#include "data/Field.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class RowSet {
public:
    explicit RowSet(int textColumns = 0);
    ~RowSet();
    RowSet(const RowSet&) = delete;
    RowSet& operator=(const RowSet&) = delete;

    // Drops every row and starts over with this many text columns. No other
    // thread may look at the rows meanwhile.
    void reset(int textColumns);

    int columnCount() const { return m_columnCount; }
    // The rows published so far.
    int rowCount() const { return m_published.load(std::memory_order_acquire); }

    // While a batch is open, appended rows stay unpublished: readers on
    // other threads never see a row whose values are still being set.
    void beginBatch() { m_inBatch = true; }
    void endBatch();

    // Adds a row with the given key and all texts null; returns its index.
    int appendRow(qint64 key);

    qint64 key(int row) const { return chunk(row).keys[offset(row)]; }
    bool isDeleted(int row) const { return chunk(row).flags[offset(row)] & Deleted; }
    void markDeleted(int row);
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
    struct Cell {
        static constexpr std::uint32_t NullLength = 0xFFFFFFFF;
        std::uint32_t offset = 0;
        std::uint32_t length = NullLength; // bytes; NullLength for no value
    };

    static constexpr int ChunkBits = 16;
    static constexpr int ChunkRows = 1 << ChunkBits;
    static constexpr std::size_t MaxChunks = std::size_t(1) << (31 - ChunkBits);

    // ChunkRows rows: keys, flags and the cells of each column in turn.
    struct Chunk {
        explicit Chunk(int columns);
        std::unique_ptr<qint64[]> keys;
        std::unique_ptr<std::uint8_t[]> flags;
        std::unique_ptr<Cell[]> cells;
    };

    enum Flag : std::uint8_t { Deleted = 1, KeyProblemShift = 1, KeyProblemMask = 3 << KeyProblemShift };

    const Chunk& chunk(int row) const { return *m_chunks[std::size_t(row) >> ChunkBits]; }
    Chunk& chunk(int row) { return *m_chunks[std::size_t(row) >> ChunkBits]; }
    static std::size_t offset(int row) { return std::size_t(row) & (ChunkRows - 1); }
    const Cell& cell(int row, int column) const
    {
        return chunk(row).cells[std::size_t(column) * ChunkRows + offset(row)];
    }
    Cell& cell(int row, int column) { return chunk(row).cells[std::size_t(column) * ChunkRows + offset(row)]; }

    std::uint32_t appendText(std::string_view bytes);
    const char* textAt(std::uint32_t offset) const;

    // An offset is a block number and a position in the block; a value
    // bigger than a quarter block has a block of its own at position 0.
    static constexpr int BlockBits = 20;
    static constexpr std::uint32_t BlockSize = 1u << BlockBits;
    static constexpr std::size_t MaxBlocks = std::size_t(1) << (32 - BlockBits);

    int m_columnCount = 0;
    // Both tables are reserved in full up front, so appending never moves
    // what readers on other threads are looking at.
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockBytes = 0; // bytes allocated for blocks
    std::size_t m_current = 0; // the block being filled
    std::uint32_t m_used = 0; // bytes used in it
    int m_size = 0; // rows appended
    std::atomic<int> m_published { 0 };
    bool m_inBatch = false;
    int m_deletedCount = 0;
};
