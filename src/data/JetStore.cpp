#include "data/JetStore.h"

#include "data/DataError.h"
#include "data/RowSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// libmdb's header expects glib's types to be declared before it.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Flags in the high bits of a row's entry in a data page's offset table.
constexpr int kRowDeleted = 0x4000; // deleted, or moved and only pointed at
constexpr int kRowOffsetMask = 0x1fff;

// Flags in the first four bytes of a Memo value.
constexpr quint32 kMemoInline = 0x80000000u;
constexpr quint32 kMemoSinglePage = 0x40000000u;
constexpr quint32 kMemoLengthMask = 0x3fffffffu;
constexpr int kMemoHeaderSize = MDB_MEMO_OVERHEAD;

quint32 readUint32(const unsigned char* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Room for converted texts, grown as needed and never cleared.
class TextBuffer {
public:
    char* reserve(std::size_t bytes)
    {
        if (bytes > m_capacity) {
            m_capacity = std::max(bytes, 2 * m_capacity);
            m_data = std::make_unique_for_overwrite<char[]>(m_capacity);
        }
        return m_data.get();
    }
    std::string_view upTo(const char* end) const { return { m_data.get(), std::size_t(end - m_data.get()) }; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity = 0;
};

char* putCodePoint(char* d, char32_t c)
{
    if (c < 0x80) {
        *d++ = char(c);
    } else if (c < 0x800) {
        *d++ = char(0xc0 | (c >> 6));
        *d++ = char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *d++ = char(0xe0 | (c >> 12));
        *d++ = char(0x80 | ((c >> 6) & 0x3f));
        *d++ = char(0x80 | (c & 0x3f));
    } else {
        *d++ = char(0xf0 | (c >> 18));
        *d++ = char(0x80 | ((c >> 12) & 0x3f));
        *d++ = char(0x80 | ((c >> 6) & 0x3f));
        *d++ = char(0x80 | (c & 0x3f));
    }
    return d;
}

// UTF-16 code units, little end first, as UTF-8; a lone surrogate becomes U+FFFD.
char* putUtf16(const unsigned char* p, std::size_t units, char* d)
{
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = char32_t(p[2 * i] | p[2 * i + 1] << 8);
        if (u < 0x80) {
            *d++ = char(u);
        } else if (u < 0xd800 || u > 0xdfff) {
            d = putCodePoint(d, u);
        } else if (u <= 0xdbff && i + 1 < units) {
            const char32_t low = char32_t(p[2 * i + 2] | p[2 * i + 3] << 8);
            if (low >= 0xdc00 && low <= 0xdfff) {
                d = putCodePoint(d, 0x10000 + ((u - 0xd800) << 10) + (low - 0xdc00));
                ++i;
            } else {
                d = putCodePoint(d, 0xfffd);
            }
        } else {
            d = putCodePoint(d, 0xfffd);
        }
    }
    return d;
}

// A stored text as UTF-8. Texts are UCS-2, little end first; "Unicode
// compression" marks a text with FF FE and then stores runs of characters
// below U+0100 in one byte each, a zero byte switching between the two modes.
std::string_view decodeText(const unsigned char* p, std::size_t n, TextBuffer& buffer)
{
    // A stored byte gives at most two bytes of UTF-8.
    char* const begin = buffer.reserve(2 * n + 4);
    char* d = begin;
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        bool compressed = true;
        std::size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                const unsigned char c = p[i++];
                if (c < 0x80) {
                    *d++ = char(c);
                } else {
                    *d++ = char(0xc0 | (c >> 6));
                    *d++ = char(0x80 | (c & 0x3f));
                }
            } else {
                // A run of two-byte characters ends at a zero byte that
                // starts a unit, as libmdb reads it.
                std::size_t units = 0;
                while (i + 2 * units + 1 < n && p[i + 2 * units] != 0)
                    ++units;
                if (units == 0)
                    break; // an odd byte at the end carries no character
                d = putUtf16(p + i, units, d);
                i += 2 * units;
            }
        }
    } else {
        d = putUtf16(p, n / 2, d);
    }
    return buffer.upTo(d);
}

bool isTextType(int type)
{
    switch (type) {
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return true;
    default:
        return false;
    }
}

bool isKeyType(int type)
{
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT;
}

QString fromMdb(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

// The open file: libmdb's handle and what is known about the file's size.
struct JetStore::File {
    ~File()
    {
        if (mdb)
            mdb_close(mdb);
    }
    MdbHandle* mdb = nullptr;
    qint64 pageSize = 0;
    qint64 pageCount = 0;
};

// Reads one table row by row, a page at a time, in the file's own order.
// The table stays open between steps, so rows can be handed out in batches.
class JetStore::Cursor {
public:
    Cursor(const JetStore& store, const QString& table, const QStringList& fields);
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // Prepares rows for the table's fields and its expected number of rows.
    void start(RowSet& rows) const;
    // Appends up to maxRows more rows; returns false once the table is done.
    bool readRows(RowSet& rows, int maxRows);
    // Checks that every row the table claims has been read.
    void finish() const;

private:
    MdbCatalogEntry* findTable(const QString& name) const;
    int findColumn(const QString& field) const;
    bool nextPage();
    bool readRow(int row, RowSet& rows);
    qint64 keyOf(const MdbColumn& column, const MdbField& field) const;
    std::string_view readValue(const MdbColumn& column, const MdbField& field);
    std::string_view readMemo(const unsigned char* value, int size);
    void checkPage(quint32 page) const;

    const JetStore& m_store;
    MdbHandle* m_mdb;
    const qint64 m_pageSize;
    const qint64 m_pageCount;
    QString m_tableName;
    MdbTableDef* m_table = nullptr;
    std::vector<int> m_columns; // for each field, its column in m_table
    std::vector<MdbField> m_cracked;
    quint32 m_page = 0;
    int m_pageRows = 0;
    int m_nextRow = 0;
    bool m_done = false;
    quint64 m_rowsRead = 0;
    TextBuffer m_text; // the value being converted
    std::string m_memo; // the stored bytes of a Memo spread over pages
};

JetStore::Cursor::Cursor(const JetStore& store, const QString& table, const QStringList& fields)
    : m_store(store)
    , m_mdb(store.m_file->mdb)
    , m_pageSize(store.m_file->pageSize)
    , m_pageCount(store.m_file->pageCount)
{
    MdbCatalogEntry* entry = findTable(table);
    m_tableName = fromMdb(entry->object_name);
    checkPage(quint32(entry->table_pg));
    m_table = mdb_read_table(entry);
    if (!m_table || !mdb_read_columns(m_table) || !m_table->columns || m_table->num_cols != m_table->columns->len)
        store.damaged(QStringLiteral("не читается описание таблицы «%1»").arg(m_tableName));
    if (!m_table->usage_map || m_table->map_sz < 5)
        store.damaged(QStringLiteral("не читается карта страниц таблицы «%1»").arg(m_tableName));
    if (m_table->usage_map[0] == 1) {
        // libmdb stops the whole program on a map page it cannot read.
        for (std::size_t i = 1; i + 4 <= m_table->map_sz; i += 4) {
            if (const quint32 page = readUint32(m_table->usage_map + i))
                checkPage(page);
        }
    } else if (m_table->usage_map[0] != 0) {
        store.damaged(QStringLiteral("неизвестный вид карты страниц таблицы «%1»").arg(m_tableName));
    }

    for (qsizetype i = 0; i < fields.size(); ++i) {
        const int column = findColumn(fields[i]);
        const int type = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, column))->col_type;
        if (i == 0 ? !isKeyType(type) : !isTextType(type)) {
            throw DataError(QStringLiteral("Поле «%1» в файле «%2» хранит данные такого вида, который программа не "
                                           "показывает.")
                                .arg(fields[i], QDir::toNativeSeparators(store.m_path)));
        }
        m_columns.push_back(column);
    }
    m_cracked.resize(std::max<std::size_t>(m_table->num_cols, 1));
}

JetStore::Cursor::~Cursor()
{
    if (m_table)
        mdb_free_tabledef(m_table);
}

MdbCatalogEntry* JetStore::Cursor::findTable(const QString& name) const
{
    GPtrArray* catalog = m_mdb->catalog;
    for (guint i = 0; catalog && i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && fromMdb(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    throw DataError(QStringLiteral("В файле базы данных «%1» нет таблицы «%2».")
                        .arg(QDir::toNativeSeparators(m_store.m_path), name));
}

int JetStore::Cursor::findColumn(const QString& field) const
{
    for (guint i = 0; i < m_table->columns->len; ++i) {
        const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(m_table->columns, i));
        if (sameFieldName(fromMdb(column->name), field))
            return int(i);
    }
    throw DataError(fieldNotFoundMessage(field)
        + QStringLiteral(".\nФайл базы данных: «%1».").arg(QDir::toNativeSeparators(m_store.path())));
}

void JetStore::Cursor::checkPage(quint32 page) const
{
    if (page == 0 || qint64(page) >= m_pageCount) {
        m_store.damaged(QStringLiteral("ссылка на страницу №%1, а в файле всего %2 страниц — файл обрезан или испорчен")
                            .arg(page)
                            .arg(m_pageCount));
    }
}

void JetStore::Cursor::start(RowSet& rows) const
{
    rows.reset(int(m_columns.size()) - 1);
}

bool JetStore::Cursor::nextPage()
{
    const int countOffset = m_mdb->fmt->row_count_offset;
    for (;;) {
        const gint32 next = mdb_map_find_next(m_mdb, m_table->usage_map, guint(m_table->map_sz), m_page);
        if (next == 0)
            return false;
        // Pages come in rising order, which also bounds the walk.
        if (next < 0 || quint32(next) <= m_page)
            m_store.damaged(QStringLiteral("карта страниц таблицы «%1» испорчена").arg(m_tableName));
        checkPage(quint32(next));
        m_page = quint32(next);
        if (mdb_read_pg(m_mdb, m_page) != m_pageSize)
            m_store.damaged(QStringLiteral("страница %1 не читается").arg(m_page));
        // The map may name pages that no longer hold this table's rows.
        if (m_mdb->pg_buf[0] != MDB_PAGE_DATA || quint32(mdb_get_int32(m_mdb->pg_buf, 4)) != m_table->entry->table_pg)
            continue;
        m_pageRows = mdb_get_int16(m_mdb->pg_buf, countOffset);
        if (countOffset + 2 + 2 * qint64(m_pageRows) > m_pageSize)
            m_store.damaged(QStringLiteral("на странице %1 испорчен список записей").arg(m_page));
        m_nextRow = 0;
        return true;
    }
}

bool JetStore::Cursor::readRows(RowSet& rows, int maxRows)
{
    Q_ASSERT(maxRows > 0);
    Q_ASSERT(rows.columnCount() == int(m_columns.size()) - 1);
    int added = 0;
    while (!m_done && added < maxRows) {
        if (m_nextRow >= m_pageRows && !nextPage()) {
            m_done = true;
            break;
        }
        if (readRow(m_nextRow++, rows))
            ++added;
    }
    return !m_done;
}

bool JetStore::Cursor::readRow(int row, RowSet& rows)
{
    int start = 0;
    size_t size = 0;
    const auto bad
        = [&] { m_store.damaged(QStringLiteral("запись %1 на странице %2 испорчена").arg(row).arg(m_page)); };
    if (mdb_find_row(m_mdb, row, &start, &size) != 0)
        bad();
    if (start & kRowDeleted)
        return false;
    start &= kRowOffsetMask;
    const qint64 end = qint64(start) + qint64(size);
    if (size == 0 || end > m_pageSize)
        bad();
    if (mdb_crack_row(m_table, start, size, m_cracked.data()) < 0)
        bad();
    for (const int column : m_columns) {
        const MdbField& field = m_cracked[std::size_t(column)];
        if (!field.is_null && (field.siz < 0 || field.start < start || field.start + qint64(field.siz) > end))
            bad();
    }

    const auto column = [&](std::size_t i) {
        return static_cast<const MdbColumn*>(g_ptr_array_index(m_table->columns, m_columns[i]));
    };
    const int index = rows.appendRow(keyOf(*column(0), m_cracked[std::size_t(m_columns[0])]));
    for (std::size_t i = 1; i < m_columns.size(); ++i) {
        const MdbField& field = m_cracked[std::size_t(m_columns[i])];
        if (field.is_null)
            continue;
        rows.setUtf8(index, int(i) - 1, readValue(*column(i), field));
    }
    ++m_rowsRead;
    return true;
}

qint64 JetStore::Cursor::keyOf(const MdbColumn& column, const MdbField& field) const
{
    if (field.is_null)
        return 0;
    const unsigned char* value = m_mdb->pg_buf + field.start;
    switch (column.col_type) {
    case MDB_BYTE:
        if (field.siz >= 1)
            return value[0];
        break;
    case MDB_INT:
        if (field.siz >= 2)
            return qint16(value[0] | value[1] << 8);
        break;
    case MDB_LONGINT:
        if (field.siz >= 4)
            return qint32(readUint32(value));
        break;
    }
    m_store.damaged(QStringLiteral("ключ записи на странице %1 испорчен").arg(m_page));
}

std::string_view JetStore::Cursor::readValue(const MdbColumn& column, const MdbField& field)
{
    const unsigned char* value = m_mdb->pg_buf + field.start;
    switch (column.col_type) {
    case MDB_TEXT:
        return decodeText(value, std::size_t(field.siz), m_text);
    case MDB_MEMO:
        return readMemo(value, field.siz);
    default:
        if (field.siz == 0)
            return {};
        // Numbers and dates as libmdb writes them.
        char* text = mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, column.col_type, field.siz);
        const std::size_t length = text ? std::strlen(text) : 0;
        char* copy = m_text.reserve(length);
        if (length)
            std::memcpy(copy, text, length);
        g_free(text);
        return m_text.upTo(copy + length);
    }
}

// A Memo value in the row is a 12-byte header, then (when the text is short)
// the text itself; a longer text lives in rows of long-value pages, one such
// row or a chain of them, each link naming the next.
std::string_view JetStore::Cursor::readMemo(const unsigned char* value, int size)
{
    if (size == 0)
        return {};
    const auto bad = [&] { m_store.damaged(QStringLiteral("длинный текст на странице %1 испорчен").arg(m_page)); };
    if (size < kMemoHeaderSize)
        bad();
    const quint32 header = readUint32(value);
    const quint32 length = header & kMemoLengthMask;
    if (header & kMemoInline) {
        return decodeText(value + kMemoHeaderSize, std::size_t(size - kMemoHeaderSize), m_text);
    }
    if ((header & kMemoSinglePage) == 0 && (header >> 24) != 0)
        bad();

    // Each long-value row: read into libmdb's second page buffer.
    const auto longValueRow = [&](quint32 pageRow, const unsigned char*& data, std::size_t& bytes) {
        checkPage(pageRow >> 8);
        void* buffer = nullptr;
        int offset = 0;
        size_t rowSize = 0;
        if (mdb_find_pg_row(m_mdb, int(pageRow), &buffer, &offset, &rowSize) != 0 || !buffer)
            bad();
        offset &= kRowOffsetMask;
        if (rowSize == 0 || qint64(offset) + qint64(rowSize) > m_pageSize)
            bad();
        data = static_cast<const unsigned char*>(buffer) + offset;
        bytes = rowSize;
    };

    quint32 pageRow = readUint32(value + 4);
    const unsigned char* data = nullptr;
    std::size_t bytes = 0;
    if (header & kMemoSinglePage) {
        longValueRow(pageRow, data, bytes);
        return decodeText(data, std::min<std::size_t>(bytes, length), m_text);
    }
    // A chain: each row starts with the page and row of the next one. It can
    // be no longer than the file has pages, which also ends a looping chain.
    m_memo.clear();
    for (qint64 links = 0; pageRow != 0 && m_memo.size() < length; ++links) {
        if (links >= m_pageCount)
            bad();
        longValueRow(pageRow, data, bytes);
        if (bytes < 4)
            bad();
        pageRow = readUint32(data);
        m_memo.append(
            reinterpret_cast<const char*>(data) + 4, std::min<std::size_t>(bytes - 4, length - m_memo.size()));
    }
    return decodeText(reinterpret_cast<const unsigned char*>(m_memo.data()), m_memo.size(), m_text);
}

void JetStore::Cursor::finish() const
{
    if (m_rowsRead < m_table->num_rows) {
        m_store.damaged(QStringLiteral("в таблице «%1» записей %2, а прочитать удалось %3")
                            .arg(m_tableName)
                            .arg(m_table->num_rows)
                            .arg(m_rowsRead));
    }
}

// ---------------------------------------------------------------------------

JetStore::JetStore(const QString& path)
    : m_path(path)
    , m_file(std::make_unique<File>())
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    m_file->mdb = mdb_open(name.constData(), MDB_NOFLAGS);
    if (!m_file->mdb || !m_file->mdb->f || !m_file->mdb->fmt)
        damaged(QStringLiteral("заголовок файла не читается"));
    MdbHandle* mdb = m_file->mdb;
    if (mdb->f->jet_version == MDB_VER_JET3) {
        throw DataError(QStringLiteral("Файл «%1» — база данных Microsoft Access 97. Программа читает базы Access 2000 "
                                       "и более поздних версий: сохраните файл в Access в одном из этих форматов.")
                            .arg(QDir::toNativeSeparators(m_path)));
    }
    m_file->pageSize = mdb->fmt->pg_size;
    if (m_file->pageSize <= 0)
        damaged(QStringLiteral("неизвестный размер страницы"));
    m_file->pageCount = info.size() / m_file->pageSize;
    if (info.size() % m_file->pageSize != 0)
        damaged(QStringLiteral("длина файла не кратна размеру страницы — файл обрезан"));
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        damaged(QStringLiteral("не читается список таблиц"));
}

JetStore::~JetStore() = default;

void JetStore::damaged(const QString& detail) const
{
    throw DataError(
        QStringLiteral("Файл «%1» повреждён, прочитать его как базу данных Microsoft Access не удаётся: %2.")
            .arg(QDir::toNativeSeparators(m_path), detail));
}

// The cursor handed out as a reader: a batch at a time, the table's own
// count of rows checked at the end.
class JetStore::Reader : public RowReader {
public:
    Reader(const JetStore& store, const QString& table, const QStringList& fields, RowSet& rows)
        : m_cursor(store, table, fields)
        , m_rows(rows)
    {
        m_cursor.start(rows);
    }

    bool read(int maxRows) override
    {
        if (m_cursor.readRows(m_rows, maxRows))
            return true;
        m_cursor.finish();
        return false;
    }

private:
    Cursor m_cursor;
    RowSet& m_rows;
};

std::unique_ptr<RowReader> JetStore::openReader(const QString& table, const QStringList& fields, RowSet& rows)
{
    Q_ASSERT(!fields.isEmpty());
    return std::make_unique<Reader>(*this, table, fields, rows);
}

QString JetStore::readOnlyMessage() const
{
    const QString file = QFileInfo(m_path).fileName();
    return QStringLiteral("Файл «%1» — база данных Microsoft Access, а такие файлы программа открывает только для "
                          "чтения: изменить или удалить запись в нём нельзя. Чтобы править справочник, сделайте из "
                          "него базу, которую можно изменять, программой sarwino-convert из папки программы "
                          "(sarwino-convert %2 копия.mdb), и положите копию на место этого файла под прежним именем.")
        .arg(QDir::toNativeSeparators(m_path), file);
}

void JetStore::update(const QString&, const QString&, qint64, const std::vector<FieldChange>&)
{
    throw DataError(readOnlyMessage());
}

void JetStore::remove(const QString&, const QString&, qint64, const std::vector<FieldChange>&)
{
    throw DataError(readOnlyMessage());
}
