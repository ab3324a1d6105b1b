// Fuzzing target: the filter language and the sort field names. Any bytes,
// read once as UTF-8 and once as UTF-16, go to the filter parser and the
// sort field parser; a DataError is the only way to refuse a text. A text
// that parses (the part before the first line break as the filter, the rest
// as the sort fields) is also applied to a small fixed set of rows, and the
// rows chosen are checked against a plain reading of the filter: every
// record tested one by one on the same collation keys, then a stable sort.
// A crash, a sanitizer report, another exception, a hang or a disagreement
// is a finding.
//
// Built with -fsanitize=fuzzer it is a libFuzzer target (see README); built
// without, the replay driver (tests/common/FuzzReplay.cpp) feeds it the
// committed corpus as a quick CTest.
#include "data/Collation.h"
#include "data/DataError.h"
#include "data/Field.h"
#include "data/Filter.h"
#include "data/OrderCache.h"
#include "data/RowSelection.h"
#include "data/RowSet.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace {

const std::vector<FieldDef>& fields()
{
    return directoryFields();
}

// A dozen records with what makes filtering and sorting hard: no value and
// the empty text, letter case, Ё, Latin before Cyrillic, digits,
// punctuation, wildcard characters and quotes inside values, equal values,
// keys at both ends of their range and a deleted record. The texts are
// short and few, so that a value the fuzzer writes often equals one of them
// or begins one (filter.dict holds several).
RowSet& fixedRows()
{
    static RowSet* const rows = [] {
        struct Record {
            qint64 key;
            const char* texts[5]; // nullptr: no value
            bool deleted;
        };
        static const Record records[] = {
            { 1, { "Аптека", "а", "1", "Аптека", nullptr }, false },
            { 2, { "аптека", "А", "12", "Аптека", "" }, false },
            { 3, { "Ёлка", "б", "1", "Авто", "ё" }, false },
            { 4, { "Елка", "", "", "Авто", "%" }, false },
            { 5, { "", nullptr, "2", "Банки", "О'Нил" }, false },
            { 6, { nullptr, "а", nullptr, nullptr, "*" }, false },
            { 7, { "Ап", "z", "1-2", "авто", "a" }, false },
            { -5, { "1", "Z", "12", "Банки", "я" }, false },
            { std::numeric_limits<qint64>::max(), { "я", "я", "Я", "", "\xEF\xBF\xBF" }, false },
            { 10, { "Аптека", "а", "1", "Аптека", "x" }, true },
            { 11, { "Аптека", "ab", "1", "Банки", "[тел]" }, false },
            { 12, { "(", "a'b", "''", "Банки", "AND" }, false },
            { std::numeric_limits<qint64>::min(), { "Я", "ул. Мира, 1", "3-45-67", "Туризм, отдых", "a b" }, false },
        };
        auto* set = new RowSet(5);
        for (const Record& r : records) {
            const int row = set->appendRow(r.key);
            for (int c = 0; c < 5; ++c) {
                if (r.texts[c])
                    set->setValue(row, c, QString::fromUtf8(r.texts[c]));
            }
            if (r.deleted)
                set->markDeleted(row);
        }
        return set;
    }();
    return *rows;
}

[[noreturn]] void finding(const QString& what)
{
    std::fprintf(stderr, "FINDING: %s\n", qPrintable(what));
    std::abort();
}

// The meaning of one comparison for one record, read straight from the
// values and their collation keys.
bool holds(const RowSet& rows, int row, const Comparison& c)
{
    using Op = Comparison::Op;
    if (c.field == 0) {
        if (!c.value)
            return c.op == Op::NotEqual;
        const qint64 a = rows.key(row), b = c.value->toLongLong();
        switch (c.op) {
        case Op::Equal:
            return a == b;
        case Op::NotEqual:
            return a != b;
        case Op::Less:
            return a < b;
        case Op::Greater:
            return a > b;
        case Op::LessEqual:
            return a <= b;
        case Op::GreaterEqual:
            return a >= b;
        case Op::Like:
            return false;
        }
        return false;
    }
    const TextValue v = rows.value(row, c.field - 1);
    if (!c.value)
        return c.op == Op::Equal ? !v : bool(v);
    if (!v)
        return false;
    const std::string key = Collation::instance().key(*v);
    const std::string wanted = Collation::instance().key(*c.value);
    const int order = key.compare(wanted);
    switch (c.op) {
    case Op::Equal:
        return order == 0;
    case Op::NotEqual:
        return order != 0;
    case Op::Less:
        return order < 0;
    case Op::Greater:
        return order > 0;
    case Op::LessEqual:
        return order <= 0;
    case Op::GreaterEqual:
        return order >= 0;
    case Op::Like:
        switch (c.pattern) {
        case Comparison::Pattern::Whole:
            return order == 0;
        case Comparison::Pattern::Prefix:
            return key.compare(0, wanted.size(), wanted) == 0;
        case Comparison::Pattern::Contains:
            for (std::size_t at = 0; at + wanted.size() <= key.size(); at += 4) {
                if (key.compare(at, wanted.size(), wanted) == 0)
                    return true;
            }
            return false;
        }
    }
    return false;
}

std::vector<std::uint32_t> plainSelect(const RowSet& rows, const Filter& filter, const std::vector<SortKey>& keys)
{
    std::vector<std::uint32_t> result;
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (rows.isDeleted(row))
            continue;
        bool any = filter.admitsAll();
        for (const auto& alternative : filter.alternatives) {
            any = any || std::all_of(alternative.begin(), alternative.end(), [&](const Comparison& c) {
                return holds(rows, row, c);
            });
        }
        if (any)
            result.push_back(std::uint32_t(row));
    }
    std::stable_sort(result.begin(), result.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (const SortKey& key : keys) {
            int order;
            if (key.field == 0) {
                order = rows.key(int(a)) < rows.key(int(b)) ? -1 : rows.key(int(a)) > rows.key(int(b));
            } else {
                order
                    = Collation::instance().compare(rows.text(int(a), key.field - 1), rows.text(int(b), key.field - 1));
            }
            if (order != 0)
                return key.descending ? order > 0 : order < 0;
        }
        return false;
    });
    return result;
}

template <typename Parse> auto parsed(Parse parse) -> std::optional<decltype(parse())>
{
    try {
        return parse();
    } catch (const DataError& e) {
        if (e.message().isEmpty())
            finding(QStringLiteral("a refusal without a message"));
        return std::nullopt;
    }
}

void check(const QString& text)
{
    parsed([&] { return Filter::parse(text, fields()); });
    parsed([&] { return parseSortFields(text, fields()); });

    const qsizetype lineBreak = text.indexOf(QLatin1Char('\n'));
    const QString filterText = lineBreak < 0 ? text : text.left(lineBreak);
    const QString sortText = lineBreak < 0 ? QString() : text.mid(lineBreak + 1);
    const auto filter = parsed([&] { return Filter::parse(filterText, fields()); });
    const auto keys = parsed([&] { return parseSortFields(sortText, fields()); });
    if (!filter || !keys)
        return;

    RowSet& rows = fixedRows();
    static OrderCache orders(rows, fields());
    static RowSelection selection(rows, fields(), orders);
    const std::vector<std::uint32_t> chosen = selection.select(filterText, sortText);
    const std::vector<std::uint32_t> expected = plainSelect(rows, *filter, *keys);
    if (chosen != expected) {
        QStringList got, want;
        for (std::uint32_t row : chosen)
            got << QString::number(rows.key(int(row)));
        for (std::uint32_t row : expected)
            want << QString::number(rows.key(int(row)));
        finding(QStringLiteral("filter «%1», sort «%2»: records %3 instead of %4")
                    .arg(filterText, sortText, got.join(QLatin1Char(',')), want.join(QLatin1Char(','))));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    // The same bytes as UTF-16 units, lone surrogates and all.
    if (size >= 2) {
        QString units(qsizetype(size / 2), Qt::Uninitialized);
        std::memcpy(units.data(), data, size / 2 * 2);
        check(units);
    }
    return 0;
}
