// The rows of one table held in memory, column by column.
//
// Texts are kept as UTF-8 in large shared blocks, so a million records cost
// little more than their text; a big value gets a block of its own. A column
// of few distinct values (a kind of activity) keeps each of them once, the
// cells sharing it. Neither
// the number of blocks nor the length of a value is bounded by anything but
// memory. Each value keeps the kind the file stored it as (a number is kept
// as the text the file gives for it), so a record can be found in the file
// again exactly. A changed value is appended to the blocks and the cell
// points at it; a deleted row keeps its place and is only marked. A row whose key cannot find it again in the file (no
// key, a key that is not a whole number, or one that other rows share) is marked too, so it is never written back.
//
// Rows live in chunks that never move once made, so one thread may append
// rows while others read the rows already published: appended rows become
// visible to rowCount() when a batch ends (at once outside a batch).
//
// Each column's texts have blocks of their own, so a column can be packed
// anew (Squeeze: each distinct value once, the old blocks let go) without
// touching the others.
#pragma once

#include "data/Field.h"
#include "data/PackedNumbers.h"
#include "data/ZeroedTable.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>
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

    qint64 key(int row) const
    {
        const Chunk& c = chunk(row);
        const std::int32_t* keys = c.keys.load(std::memory_order_acquire);
        if (!keys)
            return c.keyBase + qint64(offset(row));
        const std::int32_t near = keys[offset(row)];
        return near != WideKey ? c.keyBase + near : c.wideKeys.load(std::memory_order_acquire)[offset(row)];
    }
    bool isDeleted(int row) const { return chunk(row).flags[offset(row)] & Deleted; }
    void markDeleted(int row);
    int deletedCount() const { return m_deletedCount; }

    // What is wrong with a row's key, if anything.
    enum class KeyProblem : std::uint8_t { None, Missing, NotInteger, Duplicate };
    KeyProblem keyProblem(int row) const;
    void setKeyProblem(int row, KeyProblem problem);
    // Marks every row whose key another row shares. Cheap when the keys
    // ascend, as they do in a file read in key order.
    void markDuplicateKeys() { markSharedKeys(rowsSharingKeys()); }
    // The same in two steps: the rows to mark are found without changing
    // anything (on any thread, while no row is added and no key problem
    // set), then marked.
    std::vector<std::uint32_t> rowsSharingKeys() const;
    void markSharedKeys(const std::vector<std::uint32_t>& rows);

    bool isNull(int row, int column) const;
    std::string_view utf8(int row, int column) const;
    QString text(int row, int column) const;
    // At most the first chars characters of the text, reading no more of a
    // huge value than that takes.
    QString head(int row, int column, int chars) const;
    TextValue value(int row, int column) const;
    // Whether the value is this one (no value: nullopt), reading no more of
    // a huge value than the other's length.
    bool holds(int row, int column, const TextValue& value) const;
    // The value as the file holds it; its bytes stay valid while the rows do.
    StoredValue stored(int row, int column) const;

    void setUtf8(int row, int column, std::string_view utf8, StoredType type = StoredType::Text);
    // A row's values as read from a file, one for each column (no value: a
    // null data()): the same as setUtf8() column by column, but a value
    // that may be shared with earlier rows is copied and stored a row or
    // two later, so that its lookup is asked of the memory well before it
    // is made. finishReads() stores every value given so far; until then
    // those cells may be unset, so it comes before the rows are published.
    struct Read {
        std::string_view bytes;
        StoredType type = StoredType::Text;
    };
    void setRead(int row, const Read* values);
    void finishReads();
    void setNull(int row, int column);
    void setValue(int row, int column, const TextValue& value);

    // A value stored in advance: everything that can fail (memory) is done
    // by prepare(), and place() cannot fail, so a change can be readied in
    // memory before the file is written and put in place after.
    class Prepared {
        friend class RowSet;
        std::uint32_t at = 0;
        std::uint32_t tag = 0;
    };
    Prepared prepare(int column, const TextValue& value);
    void place(int row, int column, Prepared value) noexcept;
    // Makes sure the next appendRow() needs no memory, whatever its key.
    void reserveRow();

    // Moves every row of other (with as many columns) after these rows, in
    // their order or the other way round; other is left empty. Its text
    // blocks are taken over as they are, so only the cells are copied. Rows
    // read into other on another thread become these rows' continuation.
    enum class Order { AsStored, Reversed };
    void appendRowsOf(RowSet& other, Order order = Order::AsStored);
    // Every row is read in: what is kept to share repeated values as they
    // come is let go.
    void readingEnded();

    // Whether every value of the column read in so far was shared: rows
    // with the same cell then hold the same value (rows with different cells
    // may still hold equal values). Any thread.
    bool sharesValues(int column) const { return m_sharesAll[std::size_t(column)].load(std::memory_order_relaxed); }
    // What tells a cell from another: equal for a shared value's rows.
    std::uint64_t cellId(int row, int column) const;

    // Stores each distinct value of one column once, in new blocks, lets
    // the column's old blocks go, and gives each row the number of its value
    // in a table of the column's values (one to four bytes a row, as many
    // as the chunk's highest number needs, instead of a cell's 8): a town's
    // names and addresses repeat, its kinds of activity and notes are few.
    // Done a stretch of rows at a time (squeezeSome), in between which the
    // rows may be read as usual; both the old and the new places hold the
    // values until the end. Rows with equal values must be in the same group
    // (groups: a number per row, below groupCount: an order's ranks); rows
    // of one group are told apart by their bytes, and each keeps the kind it
    // was stored as. Without groups, the texts stay where they are and each
    // distinct cell gets a number: for a column that shares its values
    // (sharesValues), or nearly. A change to the rows, or
    // a row added, ends it: drop it unfinished (both blocks stay; the next
    // squeeze lets both go). No other thread may read the column's cells
    // while squeezeSome runs, nor its texts when the last stretch lets the
    // old blocks go.
    class Squeeze;
    std::unique_ptr<Squeeze> beginSqueeze(
        int column, std::shared_ptr<const PackedNumbers> groups, std::uint32_t groupCount);
    // Packs up to rows more rows, or lets a few old blocks go once every
    // row is done; true once the old blocks are all gone.
    bool squeezeSome(Squeeze& squeeze, int rows);
    // Bytes of text in the column's blocks, and as many after its last
    // squeeze (0 before any).
    std::size_t columnBytes(int column) const { return m_text[std::size_t(column)].bytes; }
    std::size_t columnBytesSqueezed(int column) const { return m_text[std::size_t(column)].squeezed; }
    // Whether the column was squeezed to the end once.
    bool squeezed(int column) const { return m_text[std::size_t(column)].done; }

    // Bytes held for texts and cells, for the memory figures of benchmarks.
    std::size_t memoryUsage() const;
    // Bytes of text stored so far, replaced values included; any thread.
    std::size_t textBytes() const { return m_textBytes.load(std::memory_order_relaxed); }

private:
    // A value's place and size. tag: NullTag for no value; else the stored
    // kind in bits 28-29 and, in bit 30, whether the value has a block of
    // its own. A small value has its length in bits 0-17 and the high bits
    // of its place in the blocks in bits 18-27, at the low 32 bits of that
    // place; a big value has the number of its block in at.
    struct Cell {
        std::uint32_t at = 0;
        std::uint32_t tag = NullTag;
    };
    static constexpr std::uint32_t NullTag = 0xFFFFFFFF;
    static constexpr int LengthBits = 18;
    static constexpr std::uint32_t LengthMask = (1u << LengthBits) - 1;
    static constexpr int HighBits = 10;
    static constexpr int TypeShift = LengthBits + HighBits;
    static constexpr std::uint32_t BigFlag = 1u << 30;

    static constexpr int ChunkBits = 16;
    static constexpr int ChunkRows = 1 << ChunkBits;
    static constexpr std::size_t MaxChunks = std::size_t(1) << (31 - ChunkBits);

    // Memory mapped from the system for one array of a chunk, given back
    // at once when let go.
    static void unmap(void* array, std::size_t bytes) noexcept;
    template <typename T> struct Unmap {
        void operator()(T* array) const noexcept { unmap(array, sizeof(T) * ChunkRows); }
    };
    template <typename T> using Mapped = std::unique_ptr<T[], Unmap<T>>;
    template <typename T> static Mapped<T> mapped();
    // A chunk's numbers of values: mapped with room for four bytes a row,
    // so that they can be made wider in place; the pages a narrower width
    // leaves untouched cost nothing.
    static constexpr std::size_t IdBytes = sizeof(std::uint32_t) * ChunkRows + packed::Slack;
    struct UnmapIds {
        void operator()(std::uint8_t* ids) const noexcept { unmap(ids, IdBytes); }
    };
    using Ids = std::unique_ptr<std::uint8_t[], UnmapIds>;
    static Ids mappedIds();
    // One column's cells in a chunk: whole cells, or the numbers of the
    // column's values in m_values (once squeezed), width bytes each.
    struct Cells {
        Mapped<Cell> cells;
        Ids ids;
        int width = 4;
    };
    // ChunkRows rows: keys, flags and the cells of each column. The keys of
    // a file read in key order follow each other: while each is the chunk's
    // first key plus the row's place in the chunk, no key is kept at all.
    // Otherwise a key is kept as its distance from the chunk's first key, or,
    // when too far (WideKey), in wideKeys, made when first needed.
    struct Chunk {
        explicit Chunk(int columns);
        std::atomic<std::int32_t*> keys { nullptr }; // null while they follow each other
        std::unique_ptr<std::int32_t[]> keysOwned;
        qint64 keyBase = 0;
        std::atomic<qint64*> wideKeys { nullptr };
        std::unique_ptr<qint64[]> wideKeysOwned;
        std::unique_ptr<std::uint8_t[]> flags;
        std::unique_ptr<Cells[]> columns;
    };
    static constexpr std::int32_t WideKey = std::numeric_limits<std::int32_t>::min();
    // Sets the key of a row of a chunk; the first of a chunk's rows sets its
    // base. Makes room first: throws, changing nothing, for want of it.
    static void setKey(Chunk& chunk, std::size_t offset, qint64 key);
    // Gives the chunk the keys of its rows up to offset, which follow each
    // other, and a place for the rest.
    static void keepKeys(Chunk& chunk, std::size_t offset);
    // Makes sure the row after the last has a chunk.
    void addChunk();

    enum Flag : std::uint8_t { Deleted = 1, KeyProblemShift = 1, KeyProblemMask = 3 << KeyProblemShift };

    const Chunk& chunk(int row) const { return *m_chunks[std::size_t(row) >> ChunkBits]; }
    Chunk& chunk(int row) { return *m_chunks[std::size_t(row) >> ChunkBits]; }
    static std::size_t offset(int row) { return std::size_t(row) & (ChunkRows - 1); }
    Cell cell(int row, int column) const;
    // A numbered row's value goes to the column's table, which may need
    // memory; for a value from prepare() the room is made already.
    void setCell(int row, int column, Cell value);

    Cell storeText(int column, std::string_view bytes, StoredType type);
    // Whether the value may be shared with others of the column.
    bool shareable(int column, std::string_view bytes) const;
    // Sets a cell to a shareable value (hash: Shared::hashOf), shared if
    // the column still shares, or to a value of its own.
    void storeShared(int row, int column, std::string_view bytes, StoredType type, std::uint64_t hash);
    void storeOwn(int row, int column, std::string_view bytes, StoredType type);
    // The rows given to setRead() and not yet stored, oldest first: each
    // has its slots asked for when it comes, the values they point at when
    // the next comes, and is stored when the one after that comes.
    struct ReadRow {
        struct Value {
            std::uint32_t at = 0; // in bytes
            std::uint32_t size = 0;
            StoredType type = StoredType::Text;
            bool shared = false; // shareable when it came: kept here to be stored
            std::uint64_t hash = 0;
        };
        int row = -1;
        std::string bytes;
        std::vector<Value> values;
    };
    ReadRow m_readRows[2];
    int m_readCount = 0; // of m_readRows in use: [0] the oldest
    void prefetchValues(const ReadRow& read) const;
    void storeRead(const ReadRow& read);
    // Each column's values as read in, by their bytes and kind, while the
    // column has few distinct ones; null once it has too many.
    class Shared;
    std::vector<std::unique_ptr<Shared>> m_shared;
    std::unique_ptr<std::atomic<bool>[]> m_sharesAll; // per column
    std::string_view bytesOf(const Cell& cell) const;

    // A small value's place is a block number and a position in the block
    // (up to 2^42 bytes in all); a value that would not fit in a small one's
    // length has a block of its own.
    static constexpr int BlockBits = 20;
    static constexpr std::size_t BlockSize = std::size_t(1) << BlockBits;
    static constexpr std::size_t MaxSmallBlocks = std::size_t(1) << (32 + HighBits - BlockBits);

    int m_columnCount = 0;
    // Reserved in full up front, so appending never moves what readers on
    // other threads are looking at.
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    // The small values' blocks, and the big values one block each. Both
    // are only read on other threads while rows are read in, and only
    // appended to by the reading thread then; their tables grow by fixed
    // steps that never move what is already there.
    struct BigValue {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
    };
    template <typename T, int SegmentBits = 12> class Stable;
    // Blocks are mapped from the system directly, so one let go is given
    // back at once, wherever it lies.
    struct BlockFree {
        void operator()(char* block) const noexcept;
    };
    using Block = std::unique_ptr<char[], BlockFree>;
    static Block newBlock();
    std::unique_ptr<Stable<Block>> m_blocks;
    // Per column: its blocks, the one being filled (none: npos) and how
    // much of it is used.
    struct ColumnText {
        std::vector<std::uint32_t> blocks;
        std::size_t current = std::size_t(-1);
        std::size_t used = 0;
        std::size_t bytes = 0;
        std::size_t squeezed = 0;
        bool done = false;
    };
    std::vector<ColumnText> m_text;
    // Per column once squeezed: its values, numbered (0: no value). Only
    // added to; read by other threads as the column's cells are.
    using Values = Stable<Cell, 14>;
    std::vector<std::unique_ptr<Values>> m_values;
    std::unique_ptr<Stable<BigValue>> m_big;
    std::size_t m_blockBytes = 0; // bytes allocated for blocks
    std::atomic<std::size_t> m_textBytes { 0 };
    int m_size = 0; // rows appended
    std::atomic<int> m_published { 0 };
    bool m_inBatch = false;
    int m_deletedCount = 0;
};

// Where a squeeze has got to (RowSet::beginSqueeze).
class RowSet::Squeeze {
    friend class RowSet;

    int column = 0;
    int rows = 0; // the rows there were at the start
    int next = 0; // the next row to pack
    std::shared_ptr<const PackedNumbers> groups;
    std::size_t oldBlocks = 0; // the column's first blocks, let go at the end
    std::size_t freed = 0; // as many of them let go so far
    std::size_t bytesBefore = 0;
    // Per group, where its value went and its number (a text's; 0 until
    // the group is met); other values of the same group (equal by
    // collation, not by bytes) are seldom met. A table of millions of
    // groups is zeroed page by page as the stretches reach it, not at once.
    struct Packed {
        Cell cell;
        std::uint32_t id = 0;
    };
    ZeroedTable<Packed> first;
    std::unordered_map<std::uint32_t, std::vector<Cell>> more;
    // The numbers of other cells: other kinds, empty texts, big values.
    std::unordered_map<std::uint64_t, std::uint32_t> idOf;
    // The numbers of the chunk being packed (four bytes each), until its
    // last row, and the highest of them.
    Ids ids;
    std::uint32_t topId = 0;
    bool done = false;
};
