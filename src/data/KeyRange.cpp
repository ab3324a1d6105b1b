#include "data/KeyRange.h"

#include <QtGlobal>

#include <algorithm>

namespace {

// The end of the keys that begin with prefix: the prefix with its last byte
// raised (bytes of 0xFF dropped first); empty when there is no such end.
std::string prefixEnd(std::string prefix)
{
    while (!prefix.empty()) {
        auto& last = reinterpret_cast<unsigned char&>(prefix.back());
        if (last != 0xFF) {
            ++last;
            return prefix;
        }
        prefix.pop_back();
    }
    return prefix;
}

// As string_view::compare: a key's first unit or two (what a look through
// the rows compares for each row) byte by byte, without a call.
int compareKeys(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    if (n > 8)
        return a.compare(b);
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

std::optional<KeyRange> KeyRange::of(Comparison::Op op, Comparison::Pattern pattern, const std::string& key)
{
    using Op = Comparison::Op;
    KeyRange r;
    switch (op) {
    case Op::Equal:
        r.low = r.high = key;
        r.highInclusive = true;
        return r;
    case Op::Less:
        r.high = key;
        return r;
    case Op::LessEqual:
        r.high = key;
        r.highInclusive = true;
        return r;
    case Op::Greater:
        r.low = key;
        r.lowInclusive = false;
        return r;
    case Op::GreaterEqual:
        r.low = key;
        return r;
    case Op::Like:
        if (pattern == Comparison::Pattern::Whole)
            return of(Op::Equal, pattern, key);
        if (pattern == Comparison::Pattern::Prefix) {
            r.low = key;
            std::string end = prefixEnd(key);
            if (!end.empty())
                r.high = std::move(end);
            return r;
        }
        return std::nullopt;
    case Op::NotEqual:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<bool> KeyRange::admitsBeginning(std::string_view head) const
{
    bool all = true;
    if (low) {
        const std::string_view end = std::string_view(*low).substr(0, head.size());
        const int c = compareKeys(head, end);
        if (c < 0)
            return false; // below the low end, whatever follows
        // Beyond it once head is longer than the end, or equal to it and
        // the end included; else it depends on the rest.
        all = c > 0 || (head.size() >= low->size() && lowInclusive);
    }
    if (high) {
        const std::string_view end = std::string_view(*high).substr(0, head.size());
        const int c = compareKeys(head, end);
        if (c > 0)
            return false; // above the high end, whatever follows
        // The key head itself equals the end when head holds it whole: any
        // key beginning with it is at or above the end.
        if (c == 0 && head.size() >= high->size())
            return highInclusive && head.size() == high->size() ? std::optional<bool>() : std::optional<bool>(false);
        all = all && c < 0;
    }
    if (all)
        return true;
    return std::nullopt;
}

bool KeyRange::admits(const std::string& key) const
{
    if (low) {
        const int c = key.compare(*low);
        if (lowInclusive ? c < 0 : c <= 0)
            return false;
    }
    if (high) {
        const int c = key.compare(*high);
        if (highInclusive ? c > 0 : c >= 0)
            return false;
    }
    return true;
}

std::pair<std::size_t, std::size_t> KeyRange::within(const std::vector<std::uint32_t>& sorted, std::size_t begin,
    std::size_t end, const std::function<std::string(std::uint32_t)>& keyOf) const
{
    Q_ASSERT(begin <= end && end <= sorted.size());
    Q_ASSERT(!low || !high || *low <= *high);
    const auto first = sorted.begin() + std::ptrdiff_t(begin);
    const auto last = sorted.begin() + std::ptrdiff_t(end);
    auto from = first;
    if (low) {
        from = std::partition_point(first, last, [&](std::uint32_t row) {
            const int c = keyOf(row).compare(*low);
            return lowInclusive ? c < 0 : c <= 0;
        });
    }
    auto to = last;
    if (high) {
        to = std::partition_point(from, last, [&](std::uint32_t row) {
            const int c = keyOf(row).compare(*high);
            return highInclusive ? c <= 0 : c < 0;
        });
    }
    Q_ASSERT(from <= to);
    return { std::size_t(from - sorted.begin()), std::size_t(to - sorted.begin()) };
}
