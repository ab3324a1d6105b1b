#include "data/RowSet.h"

#include "data/DataError.h"
#include "data/Hash.h"
#include "data/ZeroedTable.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <numeric>
#include <optional>
#include <thread>
#include <type_traits>

#include <sys/mman.h>
#include <unistd.h>

// A table that grows by segments of fixed size: what is in it never moves,
// so other threads may read the entries published to them while more are
// added. Only the top table of segment pointers is made in advance.
template <typename T, int SegmentBits> class RowSet::Stable {
public:
    static constexpr int kSegmentBits = SegmentBits;
    static constexpr std::size_t kSegmentSize = std::size_t(1) << kSegmentBits;

    explicit Stable(std::size_t maxEntries)
        : m_maxSegments((maxEntries + kSegmentSize - 1) / kSegmentSize)
        , m_segments(std::make_unique<std::unique_ptr<T[]>[]>(m_maxSegments))
    {
    }

    std::size_t size() const { return m_size; }
    T& operator[](std::size_t i) const { return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)]; }

    // Makes room for one more entry, so that append() cannot fail.
    void reserve()
    {
        const std::size_t segment = m_size >> kSegmentBits;
        if (segment >= m_maxSegments)
            throw std::bad_alloc();
        if (!m_segments[segment])
            m_segments[segment] = std::make_unique<T[]>(kSegmentSize);
    }
    std::size_t append(T value)
    {
        reserve();
        (*this)[m_size] = std::move(value);
        return m_size++;
    }

private:
    std::size_t m_maxSegments;
    std::unique_ptr<std::unique_ptr<T[]>[]> m_segments;
    std::size_t m_size = 0;
};

namespace {

[[noreturn]] void throwTooManyRows()
{
    throw DataError(QStringLiteral("В таблице больше записей, чем программа может показать."));
}

} // namespace

// The distinct values of one column met so far, each stored once: an open
// hash table of their cells. A column whose values mostly differ (more than
// kFewValues, and fewer than half of the values read repeating one) is no
// column of categories, and its values are stored one by one from then on.
class RowSet::Shared {
public:
    // A column goes on sharing its values past this many while at least
    // half of the values read repeat one met before (a town's names and
    // addresses do, its telephones do not): the table costs less than the
    // texts it saves.
    static constexpr std::size_t kFewValues = 1 << 14;
    static constexpr std::size_t kMaxBytes = 255; // longer values are seldom shared

    static std::uint64_t hashOf(std::string_view bytes, StoredType type)
    {
        return hashing::end(hashing::take(hashing::begin(bytes.size()) ^ std::uint64_t(type), bytes));
    }
    // A value's slot, and then the bytes it most likely holds, asked of the
    // memory ahead of find(): the lookups of a row's columns overlap.
    void prefetchSlot(std::uint64_t hash) const { __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]); }
    void prefetchValue(const RowSet& rows, std::uint64_t hash) const
    {
        const Slot& slot = m_slots[hash & (m_slots.size() - 1)];
        if (slot.check == checkOf(hash))
            __builtin_prefetch(rows.bytesOf(slot.cell).data());
    }

    // The cell of a value stored before, or of this one stored now; null
    // when the column has outgrown sharing. hash: hashOf(bytes, type).
    std::optional<Cell> find(RowSet& rows, int column, std::string_view bytes, StoredType type, std::uint64_t hash)
    {
        ++m_lookups;
        const std::uint32_t check = checkOf(hash);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = m_slots[at];
            if (slot.check == 0)
                break;
            if (slot.check == check && rows.bytesOf(slot.cell) == bytes
                && StoredType((slot.cell.tag >> TypeShift) & 3) == type)
                return slot.cell;
        }
        if (m_count >= m_limit) {
            if (m_lookups < 2 * m_count)
                return std::nullopt;
            m_limit *= 2;
        }
        const Cell cell = rows.storeText(column, bytes, type);
        ++m_count;
        if (m_count * 2 > m_slots.size())
            grow();
        const std::size_t gmask = m_slots.size() - 1;
        std::size_t at = hash & gmask;
        while (m_slots[at].check != 0)
            at = (at + 1) & gmask;
        m_slots[at] = { check, std::uint32_t(hash), cell };
        return cell;
    }

private:
    // The hash's high half, never 0: 0 marks a free slot.
    static std::uint32_t checkOf(std::uint64_t hash) { return std::uint32_t(hash >> 32) | 1; }
    struct Slot {
        std::uint32_t check = 0; // the hash's high half
        std::uint32_t low = 0; // its low half, for growing
        Cell cell;
    };
    void grow()
    {
        ZeroedTable<Slot> grown(m_slots.size() * 2, Pages::Huge);
        const std::size_t mask = grown.size() - 1;
        for (const Slot& slot : m_slots) {
            if (slot.check == 0)
                continue;
            std::size_t at = slot.low & mask;
            while (grown[at].check != 0)
                at = (at + 1) & mask;
            grown[at] = slot;
        }
        m_slots.swap(grown);
    }
    ZeroedTable<Slot> m_slots { 64, Pages::Huge };
    std::size_t m_count = 0;
    std::size_t m_lookups = 0;
    std::size_t m_limit = kFewValues;
};

namespace {

// Big values: far more than any memory holds.
constexpr std::size_t kMaxBigValues = std::size_t(1) << 28;
// The values of a squeezed column, changed ones included.
constexpr std::size_t kMaxValues = std::size_t(1) << 28;
// Blocks let go by one call of squeezeSome.
constexpr std::size_t kFreedAtOnce = 8;

} // namespace

void RowSet::unmap(void* array, std::size_t bytes) noexcept
{
    munmap(array, bytes);
}

template <typename T> RowSet::Mapped<T> RowSet::mapped()
{
    static_assert(std::is_trivially_copyable_v<T>);
    void* array = mmap(nullptr, sizeof(T) * ChunkRows, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (array == MAP_FAILED)
        throw std::bad_alloc();
    return Mapped<T>(static_cast<T*>(array));
}

// Nothing is set here: a row's key, flags and cells are all set when it is
// appended, and no row past the last is ever read.
RowSet::Chunk::Chunk(int columns)
    : flags(std::make_unique_for_overwrite<std::uint8_t[]>(ChunkRows))
    , columns(std::make_unique<Cells[]>(std::size_t(columns)))
{
    for (int column = 0; column < columns; ++column)
        this->columns[std::size_t(column)].cells = mapped<Cell>();
}

RowSet::Ids RowSet::mappedIds()
{
    void* array = mmap(nullptr, IdBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (array == MAP_FAILED)
        throw std::bad_alloc();
    return Ids(static_cast<std::uint8_t*>(array));
}

RowSet::Cell RowSet::cell(int row, int column) const
{
    Q_ASSERT(row >= 0 && column >= 0 && column < m_columnCount);
    const Cells& cells = chunk(row).columns[std::size_t(column)];
    if (cells.cells)
        return cells.cells[offset(row)];
    return (*m_values[std::size_t(column)])[packed::get(cells.ids.get(), offset(row), cells.width)];
}

void RowSet::setCell(int row, int column, Cell value)
{
    Cells& cells = chunk(row).columns[std::size_t(column)];
    if (cells.cells) {
        cells.cells[offset(row)] = value;
        return;
    }
    Values& values = *m_values[std::size_t(column)];
    const std::uint32_t id = value.tag == NullTag ? 0 : std::uint32_t(values.append(value));
    // A number wider than the chunk's makes all of them wider, in place:
    // the memory for it was mapped with the chunk's numbers.
    if (const int width = packed::widthFor(id); width > cells.width) {
        const std::size_t first = std::size_t(row) & ~std::size_t(ChunkRows - 1);
        packed::rewidth(
            cells.ids.get(), std::min(std::size_t(m_size) - first, std::size_t(ChunkRows)), cells.width, width);
        cells.width = width;
    }
    packed::set(cells.ids.get(), offset(row), cells.width, id);
}

std::uint64_t RowSet::cellId(int row, int column) const
{
    const Cell c = cell(row, column);
    return std::uint64_t(c.tag) << 32 | c.at;
}

RowSet::RowSet(int textColumns)
{
    reset(textColumns);
}

RowSet::~RowSet() = default;

void RowSet::reset(int textColumns)
{
    m_columnCount = textColumns;
    m_readCount = 0;
    m_shared.clear();
    for (int column = 0; column < textColumns; ++column)
        m_shared.push_back(std::make_unique<Shared>());
    m_sharesAll = std::make_unique<std::atomic<bool>[]>(std::size_t(std::max(textColumns, 0)));
    for (int column = 0; column < textColumns; ++column)
        m_sharesAll[std::size_t(column)].store(true, std::memory_order_relaxed);
    m_chunks.clear();
    m_chunks.reserve(MaxChunks);
    m_blocks = std::make_unique<Stable<Block>>(MaxSmallBlocks);
    m_text.assign(std::size_t(std::max(textColumns, 0)), ColumnText {});
    m_values.clear();
    m_values.resize(std::size_t(std::max(textColumns, 0)));
    m_big = std::make_unique<Stable<BigValue>>(kMaxBigValues);
    m_blockBytes = 0;
    m_textBytes.store(0, std::memory_order_relaxed);
    m_size = 0;
    m_published.store(0, std::memory_order_release);
    m_inBatch = false;
    m_deletedCount = 0;
}

void RowSet::endBatch()
{
    Q_ASSERT(m_size >= m_published.load(std::memory_order_relaxed));
    m_readCount = 0; // stored already, unless the reading failed
    m_inBatch = false;
    m_published.store(m_size, std::memory_order_release);
}

void RowSet::addChunk()
{
    if (std::size_t(m_size) >= MaxChunks * ChunkRows)
        throwTooManyRows();
    if (offset(m_size) == 0 && m_chunks.size() <= std::size_t(m_size) >> ChunkBits)
        m_chunks.push_back(std::make_unique<Chunk>(m_columnCount));
}

void RowSet::reserveRow()
{
    addChunk();
    Chunk& c = chunk(m_size);
    if (!c.keysOwned)
        keepKeys(c, offset(m_size));
    if (!c.wideKeysOwned) {
        c.wideKeysOwned = std::make_unique_for_overwrite<qint64[]>(ChunkRows);
        c.wideKeys.store(c.wideKeysOwned.get(), std::memory_order_release);
    }
}

void RowSet::keepKeys(Chunk& chunk, std::size_t offset)
{
    chunk.keysOwned = std::make_unique_for_overwrite<std::int32_t[]>(ChunkRows);
    for (std::size_t i = 0; i < offset; ++i)
        chunk.keysOwned[i] = std::int32_t(i);
    // Readers of the rows before this one see the same keys either way.
    chunk.keys.store(chunk.keysOwned.get(), std::memory_order_release);
}

void RowSet::setKey(Chunk& chunk, std::size_t offset, qint64 key)
{
    if (offset == 0)
        chunk.keyBase = key;
    if (!chunk.keysOwned) {
        qint64 next = 0;
        if (!__builtin_add_overflow(chunk.keyBase, qint64(offset), &next) && next == key)
            return;
        keepKeys(chunk, offset);
    }
    qint64 distance = 0;
    if (!__builtin_sub_overflow(key, chunk.keyBase, &distance) && distance > WideKey
        && distance <= std::numeric_limits<std::int32_t>::max()) {
        chunk.keysOwned[offset] = std::int32_t(distance);
        return;
    }
    if (!chunk.wideKeysOwned) {
        chunk.wideKeysOwned = std::make_unique_for_overwrite<qint64[]>(ChunkRows);
        chunk.wideKeys.store(chunk.wideKeysOwned.get(), std::memory_order_release);
    }
    chunk.wideKeysOwned[offset] = key;
    chunk.keysOwned[offset] = WideKey;
}

int RowSet::appendRow(qint64 key)
{
    addChunk();
    setKey(chunk(m_size), offset(m_size), key);
    const int row = m_size++;
    Chunk& c = chunk(row);
    c.flags[offset(row)] = 0;
    for (int column = 0; column < m_columnCount; ++column)
        setCell(row, column, Cell {});
    if (!m_inBatch)
        m_published.store(m_size, std::memory_order_release);
    return row;
}

void RowSet::appendRowsOf(RowSet& other, Order order)
{
    Q_ASSERT(other.m_columnCount == m_columnCount && &other != this);
    // Rows are read in before anything is squeezed: every cell is whole.
    Q_ASSERT(std::all_of(m_values.begin(), m_values.end(), [](const auto& values) { return !values; }));
    Q_ASSERT(std::all_of(other.m_values.begin(), other.m_values.end(), [](const auto& values) { return !values; }));
    const int first = m_size;
    const int count = other.m_size;
    if (std::size_t(first) + std::size_t(count) > MaxChunks * ChunkRows)
        throwTooManyRows();
    // The other rows' blocks follow these; their cells' places move along.
    const std::size_t blockBase = m_blocks->size();
    const std::size_t bigBase = m_big->size();
    for (std::size_t i = 0; i < other.m_blocks->size(); ++i) {
        m_blocks->reserve();
        m_blocks->append(std::move((*other.m_blocks)[i]));
    }
    for (std::size_t i = 0; i < other.m_big->size(); ++i) {
        m_big->reserve();
        m_big->append(std::move((*other.m_big)[i]));
    }
    // Each column goes on filling the other's block, if it has one.
    for (std::size_t column = 0; column < m_text.size(); ++column) {
        ColumnText& mine = m_text[column];
        const ColumnText& theirs = other.m_text[column];
        for (const std::uint32_t block : theirs.blocks)
            mine.blocks.push_back(std::uint32_t(block + blockBase));
        if (theirs.current != std::size_t(-1)) {
            mine.current = theirs.current + blockBase;
            mine.used = theirs.used;
        }
        mine.bytes += theirs.bytes;
    }
    m_blockBytes += other.m_blockBytes;
    const auto moved = [&](Cell c) {
        if (c.tag == NullTag)
            return c;
        if (c.tag & BigFlag)
            return Cell { std::uint32_t(c.at + bigBase), c.tag };
        if ((c.tag & LengthMask) == 0)
            return c;
        constexpr std::uint32_t highMask = ((1u << HighBits) - 1) << LengthBits;
        const std::size_t place
            = ((std::size_t((c.tag & highMask) >> LengthBits) << 32) | c.at) + (blockBase << BlockBits);
        return Cell { std::uint32_t(place), (c.tag & ~highMask) | (std::uint32_t(place >> 32) << LengthBits) };
    };
    // The rows' chunks past the last one there are filled as the copying
    // goes, mostly with the other rows' chunks as they are emptied: their
    // memory is in use already, and fresh memory costs the system's time.
    const std::size_t chunksBefore = m_chunks.size();
    const std::size_t chunksNeeded = (std::size_t(first) + std::size_t(count) + ChunkRows - 1) >> ChunkBits;
    if (chunksBefore < chunksNeeded)
        m_chunks.resize(chunksNeeded); // within what is reserved: nothing moves
    using Spare = std::vector<std::unique_ptr<Chunk>>;
    const auto targetChunk = [&](int row, Spare& spare) -> Chunk& {
        std::unique_ptr<Chunk>& target = m_chunks[std::size_t(row) >> ChunkBits];
        if (target)
            return *target;
        if (spare.empty())
            return *(target = std::make_unique<Chunk>(m_columnCount));
        target = std::move(spare.back());
        spare.pop_back();
        // Its keys are set anew; its flags and cells are all overwritten
        // before any row of it is read.
        target->keys.store(nullptr, std::memory_order_relaxed);
        target->keysOwned.reset();
        target->keyBase = 0;
        target->wideKeys.store(nullptr, std::memory_order_relaxed);
        target->wideKeysOwned.reset();
        return *target;
    };
    const bool reversed = order == Order::Reversed;
    // The other rows taken from begin to end (in the order they go in): a
    // stretch at a time that lies in one chunk on either side, column by
    // column. A chunk of the other rows is reused once all its rows are
    // copied, unless some lie outside the range (another thread copies
    // those).
    const auto copy = [&](int begin, int end) {
        Spare spare;
        for (int taken = begin; taken < end;) {
            const int row = first + taken;
            const int from = reversed ? count - 1 - taken : taken; // the stretch's first row of the other
            const int sourceRoom = reversed ? int(offset(from)) + 1 : ChunkRows - int(offset(from));
            const int n = std::min({ end - taken, sourceRoom, ChunkRows - int(offset(row)) });
            const Chunk& source = other.chunk(from);
            Chunk& target = targetChunk(row, spare);
            const std::size_t s = offset(from), t = offset(row);
            const std::ptrdiff_t step = reversed ? -1 : 1;
            for (int i = 0; i < n; ++i)
                setKey(target, t + std::size_t(i), other.key(from + int(step) * i));
            for (int i = 0; i < n; ++i)
                target.flags[t + std::size_t(i)] = source.flags[std::size_t(std::ptrdiff_t(s) + step * i)];
            for (int column = 0; column < m_columnCount; ++column) {
                const Cell* in = &source.columns[std::size_t(column)].cells[s];
                Cell* out = &target.columns[std::size_t(column)].cells[t];
                for (int i = 0; i < n; ++i)
                    out[i] = moved(in[step * i]);
            }
            taken += n;
            const std::size_t sourceChunk = std::size_t(from) >> ChunkBits;
            const int chunkBegin = int(sourceChunk << ChunkBits);
            const int chunkEnd = std::min(count, chunkBegin + ChunkRows);
            const int takenFirst = reversed ? count - chunkEnd : chunkBegin;
            const int takenLast = reversed ? count - 1 - chunkBegin : chunkEnd - 1;
            if (takenFirst >= begin && takenLast < end && taken > takenLast)
                spare.push_back(std::move(other.m_chunks[sourceChunk]));
        }
    };
    // Many rows are copied by two threads, each filling chunks of its own.
    constexpr int kTwoThreadRows = 4 * ChunkRows;
    int split = count;
    if (count >= kTwoThreadRows) {
        const int middle = first + count / 2;
        split = std::min(count, int((std::size_t(middle) + ChunkRows - 1) / ChunkRows * ChunkRows) - first);
    }
    std::exception_ptr failed;
    std::thread helper;
    try {
        if (split < count) {
            helper = std::thread([&] {
                try {
                    copy(split, count);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        }
        copy(0, split);
    } catch (...) {
        failed = std::current_exception();
    }
    if (helper.joinable())
        helper.join();
    if (failed) {
        // None of the other rows is taken: the chunks made for them go.
        m_chunks.resize(chunksBefore);
        std::rethrow_exception(failed);
    }
    m_size += count;
    m_deletedCount += other.m_deletedCount;
    for (int column = 0; column < m_columnCount; ++column) {
        if (!other.sharesValues(column))
            m_sharesAll[std::size_t(column)].store(false, std::memory_order_relaxed);
    }
    other.reset(m_columnCount);
    if (!m_inBatch)
        m_published.store(m_size, std::memory_order_release);
}

void RowSet::readingEnded()
{
    for (auto& shared : m_shared)
        shared.reset();
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

std::vector<std::uint32_t> RowSet::rowsSharingKeys() const
{
    // Rows without a usable key take no part: their key value means nothing.
    auto usable = [&](int row) { return keyProblem(row) == KeyProblem::None; };
    std::vector<std::uint32_t> shared;
    bool ascending = true;
    int previous = -1;
    for (int begin = 0; begin < m_size && ascending; begin += ChunkRows) {
        const int end = std::min(m_size, begin + ChunkRows);
        const Chunk& c = chunk(begin);
        // A chunk whose keys follow each other and whose rows all have a
        // usable key ascends within: only its first key is compared.
        std::uint8_t flags = 0;
        for (std::size_t i = 0; i < std::size_t(end - begin); ++i)
            flags |= c.flags[i];
        if (!c.keys.load(std::memory_order_acquire) && !(flags & KeyProblemMask)) {
            ascending = previous < 0 || key(previous) < c.keyBase;
            previous = end - 1;
            continue;
        }
        for (int row = begin; row < end && ascending; ++row) {
            if (!usable(row))
                continue;
            ascending = previous < 0 || key(previous) < key(row);
            previous = row;
        }
    }
    if (ascending)
        return shared;
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
                shared.push_back(order[k]);
        }
        i = j;
    }
    return shared;
}

void RowSet::markSharedKeys(const std::vector<std::uint32_t>& rows)
{
    for (std::uint32_t row : rows)
        setKeyProblem(int(row), KeyProblem::Duplicate);
}

bool RowSet::isNull(int row, int column) const
{
    return cell(row, column).tag == NullTag;
}

std::string_view RowSet::bytesOf(const Cell& c) const
{
    if (c.tag == NullTag)
        return {};
    if (c.tag & BigFlag) {
        const BigValue& big = (*m_big)[c.at];
        return { big.bytes.get(), big.size };
    }
    const std::size_t length = c.tag & LengthMask;
    if (length == 0)
        return {};
    const std::size_t place = (std::size_t((c.tag >> LengthBits) & ((1u << HighBits) - 1)) << 32) | c.at;
    return { (*m_blocks)[place >> BlockBits].get() + (place & (BlockSize - 1)), length };
}

std::string_view RowSet::utf8(int row, int column) const
{
    return bytesOf(cell(row, column));
}

QString RowSet::text(int row, int column) const
{
    const std::string_view bytes = utf8(row, column);
    if (bytes.empty())
        return isNull(row, column) ? QString() : QString(QLatin1String("")); // an empty text is not "no value"
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QString RowSet::head(int row, int column, int chars) const
{
    Q_ASSERT(chars >= 0);
    std::string_view bytes = utf8(row, column);
    // A character takes at most four bytes and gives at least one UTF-16 unit.
    bytes = bytes.substr(0, std::size_t(chars) * 4);
    QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    text.truncate(chars);
    return text;
}

TextValue RowSet::value(int row, int column) const
{
    if (isNull(row, column))
        return std::nullopt;
    return text(row, column);
}

bool RowSet::holds(int row, int column, const TextValue& value) const
{
    if (!value || isNull(row, column))
        return !value && isNull(row, column);
    const qsizetype chars = value->size();
    // One character more than the other has tells a longer value apart.
    if (chars >= std::numeric_limits<int>::max() || utf8(row, column).size() < std::size_t(chars))
        return false;
    return head(row, column, int(chars) + 1) == *value;
}

StoredValue RowSet::stored(int row, int column) const
{
    const Cell c = cell(row, column);
    if (c.tag == NullTag)
        return {};
    return { false, StoredType((c.tag >> TypeShift) & 3), bytesOf(c) };
}

void RowSet::setUtf8(int row, int column, std::string_view bytes, StoredType type)
{
    if (shareable(column, bytes))
        storeShared(row, column, bytes, type, Shared::hashOf(bytes, type));
    else
        storeOwn(row, column, bytes, type);
}

bool RowSet::shareable(int column, std::string_view bytes) const
{
    return m_shared[std::size_t(column)] && !bytes.empty() && bytes.size() <= Shared::kMaxBytes;
}

void RowSet::setRead(int row, const Read* values)
{
    if (m_readCount == 2) {
        storeRead(m_readRows[0]);
        std::swap(m_readRows[0], m_readRows[1]);
        m_readCount = 1;
    }
    if (m_readCount == 1)
        prefetchValues(m_readRows[0]);

    ReadRow& read = m_readRows[m_readCount];
    read.row = row;
    read.bytes.clear();
    read.values.resize(std::size_t(m_columnCount));
    for (int column = 0; column < m_columnCount; ++column) {
        const Read& value = values[column];
        ReadRow::Value& kept = read.values[std::size_t(column)];
        kept.shared = value.bytes.data() && shareable(column, value.bytes);
        if (!kept.shared) {
            // Nothing to look up: stored at once, whatever its length.
            if (value.bytes.data())
                setUtf8(row, column, value.bytes, value.type);
            continue;
        }
        kept.at = std::uint32_t(read.bytes.size());
        kept.size = std::uint32_t(value.bytes.size());
        kept.type = value.type;
        read.bytes.append(value.bytes); // at most Shared::kMaxBytes
        kept.hash = Shared::hashOf(value.bytes, value.type);
        m_shared[std::size_t(column)]->prefetchSlot(kept.hash);
    }
    ++m_readCount;
}

void RowSet::finishReads()
{
    for (int i = 0; i < m_readCount; ++i)
        storeRead(m_readRows[i]);
    m_readCount = 0;
}

void RowSet::prefetchValues(const ReadRow& read) const
{
    for (int column = 0; column < m_columnCount; ++column) {
        const ReadRow::Value& value = read.values[std::size_t(column)];
        if (value.shared && m_shared[std::size_t(column)])
            m_shared[std::size_t(column)]->prefetchValue(*this, value.hash);
    }
}

void RowSet::storeRead(const ReadRow& read)
{
    for (int column = 0; column < m_columnCount; ++column) {
        const ReadRow::Value& value = read.values[std::size_t(column)];
        if (!value.shared)
            continue; // stored already, or no value
        const std::string_view bytes(read.bytes.data() + value.at, value.size);
        // The column may have stopped sharing since the value came.
        if (shareable(column, bytes))
            storeShared(read.row, column, bytes, value.type, value.hash);
        else
            setUtf8(read.row, column, bytes, value.type);
    }
}

void RowSet::storeShared(int row, int column, std::string_view bytes, StoredType type, std::uint64_t hash)
{
    std::unique_ptr<Shared>& shared = m_shared[std::size_t(column)];
    if (const std::optional<Cell> found = shared->find(*this, column, bytes, type, hash)) {
        setCell(row, column, *found);
        return;
    }
    shared.reset(); // too many distinct values to share
    storeOwn(row, column, bytes, type);
}

void RowSet::storeOwn(int row, int column, std::string_view bytes, StoredType type)
{
    if (!bytes.empty())
        m_sharesAll[std::size_t(column)].store(false, std::memory_order_relaxed);
    setCell(row, column, storeText(column, bytes, type));
}

void RowSet::setNull(int row, int column)
{
    setCell(row, column, Cell {});
}

void RowSet::setValue(int row, int column, const TextValue& value)
{
    place(row, column, prepare(column, value));
}

RowSet::Prepared RowSet::prepare(int column, const TextValue& value)
{
    Prepared result;
    if (!value) {
        result.tag = NullTag;
        return result;
    }
    // A squeezed column's table takes the value when it is placed.
    if (const auto& values = m_values[std::size_t(column)])
        values->reserve();
    const QByteArray bytes = value->toUtf8();
    const Cell c = storeText(column, std::string_view(bytes.constData(), std::size_t(bytes.size())), StoredType::Text);
    result.at = c.at;
    result.tag = c.tag;
    return result;
}

void RowSet::place(int row, int column, Prepared value) noexcept
{
    setCell(row, column, Cell { value.at, value.tag });
}

void RowSet::BlockFree::operator()(char* block) const noexcept
{
    munmap(block, BlockSize);
}

RowSet::Block RowSet::newBlock()
{
    void* block = mmap(nullptr, BlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
    return Block(static_cast<char*>(block));
}

// Copies a value into the column's blocks and returns its cell.
RowSet::Cell RowSet::storeText(int column, std::string_view bytes, StoredType type)
{
    const std::uint32_t typeBits = std::uint32_t(type) << TypeShift;
    if (bytes.empty())
        return { 0, typeBits };
    m_textBytes.fetch_add(bytes.size(), std::memory_order_relaxed);
    if (bytes.size() > LengthMask) {
        // A big value gets a block of its own; the block being filled stays.
        m_big->reserve();
        BigValue big { std::make_unique_for_overwrite<char[]>(bytes.size()), bytes.size() };
        std::memcpy(big.bytes.get(), bytes.data(), bytes.size());
        m_blockBytes += bytes.size();
        return { std::uint32_t(m_big->append(std::move(big))), typeBits | BigFlag };
    }
    ColumnText& text = m_text[std::size_t(column)];
    if (text.current == std::size_t(-1) || text.used + bytes.size() > BlockSize) {
        m_blocks->reserve();
        text.blocks.reserve(text.blocks.size() + 1);
        Block block = newBlock();
        text.current = m_blocks->append(std::move(block));
        text.blocks.push_back(std::uint32_t(text.current));
        text.used = 0;
        m_blockBytes += BlockSize;
    }
    const std::size_t place = (text.current << BlockBits) + text.used;
    Q_ASSERT(place >> 32 < (1u << HighBits) && bytes.size() <= LengthMask);
    std::memcpy((*m_blocks)[text.current].get() + text.used, bytes.data(), bytes.size());
    text.used += bytes.size();
    text.bytes += bytes.size();
    return { std::uint32_t(place),
        typeBits | (std::uint32_t(place >> 32) << LengthBits) | std::uint32_t(bytes.size()) };
}

std::unique_ptr<RowSet::Squeeze> RowSet::beginSqueeze(
    int column, std::shared_ptr<const PackedNumbers> groups, std::uint32_t groupCount)
{
    Q_ASSERT(column >= 0 && column < m_columnCount);
    Q_ASSERT(!groups || groups->size() == std::size_t(m_size));
    if (!m_values[std::size_t(column)]) {
        auto values = std::make_unique<Values>(kMaxValues);
        values->append(Cell {}); // 0: no value
        m_values[std::size_t(column)] = std::move(values);
    }
    auto squeeze = std::make_unique<Squeeze>();
    squeeze->column = column;
    squeeze->rows = m_size;
    if (groups)
        squeeze->first = ZeroedTable<Squeeze::Packed>(groupCount);
    squeeze->groups = std::move(groups);
    ColumnText& text = m_text[std::size_t(column)];
    if (squeeze->groups) {
        squeeze->oldBlocks = text.blocks.size();
        squeeze->bytesBefore = text.bytes;
        text.current = std::size_t(-1); // what comes now goes to new blocks
    }
    return squeeze;
}

bool RowSet::squeezeSome(Squeeze& squeeze, int rows)
{
    Q_ASSERT(squeeze.rows == m_size);
    const int column = squeeze.column;
    Values& values = *m_values[std::size_t(column)];
    constexpr std::uint32_t typeMask = 3u << TypeShift;
    // The number of a cell met for the first time is its place in the table.
    const auto numberOf = [&](Cell c) {
        if (c.tag == NullTag)
            return std::uint32_t(0);
        const auto [at, added] = squeeze.idOf.try_emplace(std::uint64_t(c.tag) << 32 | c.at, 0);
        if (added)
            at->second = std::uint32_t(values.append(c));
        return at->second;
    };
    // A value's new cell, its text copied to the new blocks once.
    const auto packedOf = [&](Cell c, std::uint32_t group) {
        const std::string_view bytes = bytesOf(c);
        Squeeze::Packed& first = squeeze.first[group];
        if (first.id == 0) {
            first.cell = storeText(column, bytes, StoredType::Text);
            first.id = std::uint32_t(values.append(first.cell));
        }
        Cell packed = first.cell;
        if (bytesOf(packed) != bytes) {
            std::vector<Cell>& others = squeeze.more[group];
            const auto same = std::find_if(
                others.begin(), others.end(), [&](const Cell& other) { return bytesOf(other) == bytes; });
            if (same != others.end()) {
                packed = *same;
            } else {
                others.reserve(others.size() + 1);
                packed = storeText(column, bytes, StoredType::Text);
                others.push_back(packed);
            }
        } else if ((c.tag & typeMask) == (first.cell.tag & typeMask)) {
            return first.id;
        }
        // The row keeps the kind it was stored as.
        return numberOf(Cell { packed.at, (c.tag & typeMask) | (packed.tag & ~typeMask) });
    };
    while (rows > 0 && squeeze.next < squeeze.rows) {
        const int row0 = squeeze.next;
        const int end = std::min({ squeeze.rows, row0 + rows, (row0 | (ChunkRows - 1)) + 1 });
        Cells& cells = chunk(row0).columns[std::size_t(column)];
        if (!squeeze.ids) {
            squeeze.ids = mappedIds();
            squeeze.topId = 0;
        }
        for (int row = row0; row < end; ++row) {
            const Cell c = cell(row, column);
            const bool hasText = c.tag != NullTag && !(c.tag & BigFlag) && (c.tag & LengthMask) != 0;
            const std::uint32_t id
                = squeeze.groups && hasText ? packedOf(c, (*squeeze.groups)[std::size_t(row)]) : numberOf(c);
            packed::set(squeeze.ids.get(), offset(row), 4, id);
            squeeze.topId = std::max(squeeze.topId, id);
        }
        rows -= end - row0;
        squeeze.next = end;
        // A chunk's numbers replace what it held once they are all there,
        // as narrow as they can be; the pages left over go back.
        if (offset(end) == 0 || end == squeeze.rows) {
            const std::size_t count = offset(end - 1) + 1;
            const int width = packed::widthFor(squeeze.topId);
            packed::rewidth(squeeze.ids.get(), count, 4, width);
            static const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
            const std::size_t used = (count * std::size_t(width) + packed::Slack + page - 1) / page * page;
            if (used < IdBytes)
                madvise(squeeze.ids.get() + used, IdBytes - used, MADV_DONTNEED);
            cells.ids = std::move(squeeze.ids);
            cells.width = width;
            cells.cells.reset();
        }
    }
    if (squeeze.next < squeeze.rows)
        return false;
    if (squeeze.done)
        return true;
    // The old blocks go a few at a time: giving back hundreds of megabytes
    // takes a while.
    ColumnText& text = m_text[std::size_t(column)];
    for (std::size_t end = std::min(squeeze.oldBlocks, squeeze.freed + kFreedAtOnce); squeeze.freed < end;) {
        Block& block = (*m_blocks)[text.blocks[squeeze.freed++]];
        if (block) {
            block.reset();
            m_blockBytes -= BlockSize;
        }
    }
    if (squeeze.freed < squeeze.oldBlocks)
        return false;
    text.blocks.erase(text.blocks.begin(), text.blocks.begin() + std::ptrdiff_t(squeeze.oldBlocks));
    text.bytes -= squeeze.bytesBefore;
    text.squeezed = text.bytes;
    text.done = true;
    squeeze.done = true;
    return true;
}

std::size_t RowSet::memoryUsage() const
{
    std::size_t bytes = m_blockBytes;
    for (const auto& chunk : m_chunks) {
        if (!chunk)
            continue;
        bytes += ChunkRows
            * (1 + (chunk->keysOwned ? sizeof(std::int32_t) : 0) + (chunk->wideKeysOwned ? sizeof(qint64) : 0));
        for (int column = 0; column < m_columnCount; ++column) {
            const Cells& cells = chunk->columns[std::size_t(column)];
            bytes += ChunkRows * (cells.cells ? sizeof(Cell) : std::size_t(cells.width));
        }
    }
    for (const auto& values : m_values)
        bytes += values ? values->size() * sizeof(Cell) : 0;
    return bytes;
}
