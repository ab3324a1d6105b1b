#include "data/Collation.h"

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

void appendUnit(std::string& key, std::uint32_t weight)
{
    const char bytes[4] = { char(weight >> 24), char(weight >> 16), char(weight >> 8), char(weight) };
    key.append(bytes, 4);
}

// The primary weights of a text, in order, as ICU's collation elements give them.
std::vector<std::uint32_t> primaries(UCollator* collator, const char16_t* text, int length)
{
    std::vector<std::uint32_t> result;
    UErrorCode status = U_ZERO_ERROR;
    UCollationElements* elements = ucol_openElements(collator, reinterpret_cast<const UChar*>(text), length, &status);
    if (U_FAILURE(status))
        return result;
    for (;;) {
        const std::int32_t order = ucol_next(elements, &status);
        if (order == UCOL_NULLORDER || U_FAILURE(status))
            break;
        const std::uint32_t high = std::uint32_t(order) & 0xFFFF0000u;
        // A continuation element carries the low half of the weight before it.
        if ((order & 0xC0) == 0xC0) {
            if (!result.empty())
                result.back() |= high >> 16;
            continue;
        }
        if (high != 0)
            result.push_back(high);
    }
    ucol_closeElements(elements);
    return result;
}

// One character of the UTF-8 text at p (before end), p moved past it: a
// character of the basic plane, or 0xD800 for anything else (beyond it,
// malformed, cut short), which takes the slow road.
char32_t readChar(const unsigned char*& p, const unsigned char* end)
{
    const unsigned c0 = p[0];
    if (c0 < 0x80) {
        p += 1;
        return c0;
    }
    if (c0 >= 0xC2 && c0 < 0xE0 && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
        p += 2;
        return char32_t(c0 & 0x1F) << 6 | (p[-1] & 0x3F);
    }
    if ((c0 & 0xF0) == 0xE0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
        const char32_t c = char32_t(c0 & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
        p += 3;
        return c < 0x800 ? 0xD800 : c; // an overlong form is malformed
    }
    p += 1;
    return 0xD800;
}

// Whether the bytes before at end a well-formed character (or are none).
bool wellFormedBefore(const unsigned char* begin, const unsigned char* at)
{
    if (at == begin || at[-1] < 0x80)
        return true;
    const unsigned char* lead = at - 1;
    while (lead > begin && at - lead < 3 && (*lead & 0xC0) == 0x80)
        --lead;
    const unsigned char* p = lead;
    return readChar(p, at) != 0xD800 && p == at;
}

} // namespace

const Collation& Collation::instance()
{
    static const Collation collation;
    return collation;
}

Collation::Collation()
{
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open("ru", &status);
    if (U_FAILURE(status))
        throw std::runtime_error("the Russian collation of ICU is not available");
    ucol_setStrength(m_collator, UCOL_PRIMARY);
    // Scripts in their default order (Latin before Cyrillic), so that the
    // weights of single characters compare as whole texts do.
    ucol_setReorderCodes(m_collator, nullptr, 0, &status);
    ucol_setAttribute(m_collator, UCOL_NORMALIZATION_MODE, UCOL_OFF, &status);

    // A character that can stand after another one in a contraction changes
    // the weight of its neighbour: texts holding one take the slow road.
    m_unsafe = std::make_unique<std::array<bool, 65536>>();
    m_unsafe->fill(false);
    USet* contractions = uset_openEmpty();
    ucol_getContractionsAndExpansions(m_collator, contractions, nullptr, true, &status);
    UChar buffer[64];
    for (int32_t i = 0, n = uset_getItemCount(contractions); i < n; ++i) {
        UChar32 start, end;
        UErrorCode itemStatus = U_ZERO_ERROR;
        const int32_t length = uset_getItem(contractions, i, &start, &end, buffer, 64, &itemStatus);
        // The collation's own markers (noncharacters) never stand in a real
        // text: the marker takes the slow road, not what may follow it.
        if (length > 1 && buffer[0] >= 0xFDD0 && buffer[0] <= 0xFDEF) {
            (*m_unsafe)[buffer[0]] = true;
            continue;
        }
        for (int32_t j = 1; j < length && U_SUCCESS(itemStatus); ++j)
            (*m_unsafe)[buffer[j]] = true;
    }
    uset_close(contractions);
    for (char16_t c = 0xD800; c <= 0xDFFF; ++c)
        (*m_unsafe)[c] = true;

    // The blocks nearly every text needs: Latin, punctuation, Cyrillic.
    for (unsigned high : { 0x00u, 0x04u, 0x20u })
        block(high);

    const char16_t highest = 0xFFFF;
    for (std::uint32_t w : primaries(m_collator, &highest, 1))
        appendUnit(m_highest, w);
}

Collation::~Collation()
{
    for (auto& slot : m_blocks)
        delete slot.load();
    ucol_close(m_collator);
}

const Collation::Block& Collation::block(unsigned high) const
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    if (const Block* ready = m_blocks[high].load(std::memory_order_acquire))
        return *ready;
    auto* table = new Block;
    constexpr std::size_t kMostExpanded = 8;
    for (unsigned low = 0; low < 256; ++low) {
        const char16_t c = char16_t((high << 8) | low);
        if ((*m_unsafe)[c]) {
            table->weights[low] = Unsafe;
            continue;
        }
        const std::vector<std::uint32_t> w = primaries(m_collator, &c, 1);
        if (w.size() <= 1) {
            table->weights[low] = w.empty() ? 0 : w.front();
        } else if (w.size() <= kMostExpanded) {
            // A character no contraction takes part in always gives the same weights.
            table->weights[low] = Expanded;
            table->expandedFrom[low] = std::uint16_t(table->units.size());
            table->expandedCount[low] = std::uint8_t(w.size());
            table->units.insert(table->units.end(), w.begin(), w.end());
        } else {
            table->weights[low] = Unsafe;
        }
    }
    m_blocks[high].store(table, std::memory_order_release);
    return *table;
}

std::uint32_t Collation::weight(char16_t c) const
{
    if (const Block* ready = m_blocks[c >> 8].load(std::memory_order_acquire))
        return ready->weights[c & 0xFF];
    return block(c >> 8).weights[c & 0xFF];
}

void Collation::appendWeight(char16_t c, std::uint32_t w, std::string& key) const
{
    Q_ASSERT(w != Unsafe);
    if (w == Expanded) {
        // The block was made when the weight was read from it.
        const Block& b = *m_blocks[c >> 8].load(std::memory_order_acquire);
        const std::size_t from = b.expandedFrom[c & 0xFF];
        for (std::size_t i = from; i < from + b.expandedCount[c & 0xFF]; ++i)
            appendUnit(key, b.units[i]);
    } else if (w != 0) {
        appendUnit(key, w);
    }
}

void Collation::appendSlowly(QStringView text, std::string& key) const
{
    // A collator is not to be shared between threads: each has its own copy.
    thread_local std::unique_ptr<UCollator, void (*)(UCollator*)> own(nullptr, ucol_close);
    if (!own) {
        UErrorCode status = U_ZERO_ERROR;
        own.reset(ucol_clone(m_collator, &status));
        if (U_FAILURE(status))
            throw std::runtime_error("cannot copy the collator");
    }
    for (std::uint32_t w : primaries(own.get(), reinterpret_cast<const char16_t*>(text.utf16()), int(text.size())))
        appendUnit(key, w);
}

void Collation::appendKey(QStringView text, std::string& key) const
{
    const std::size_t start = key.size();
    for (const QChar c : text) {
        const std::uint32_t w = weight(c.unicode());
        if (w == Unsafe) {
            key.resize(start);
            appendSlowly(text, key);
            return;
        }
        appendWeight(c.unicode(), w, key);
    }
}

void Collation::appendKey(std::string_view utf8, std::string& key) const
{
    appendKeyHead(utf8, std::string::npos, key);
}

std::uint32_t Collation::nextWeight(const unsigned char*& p, const unsigned char* end, char16_t& c) const
{
    const char32_t read = readChar(p, end);
    c = char16_t(read);
    return read < 0xD800 || (read > 0xDFFF && read <= 0xFFFF) ? weight(c) : Unsafe;
}

void Collation::appendKeyHead(std::string_view utf8, std::size_t limit, std::string& key) const
{
    const std::size_t start = key.size();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char16_t c;
        const std::uint32_t w = nextWeight(p, end, c);
        if (w == Unsafe) {
            key.resize(start);
            appendHeadSlowly(utf8, limit, key);
            return;
        }
        appendWeight(c, w, key);
        if (key.size() - start >= limit) {
            // The last unit is sure only if what follows cannot join the
            // character before it (a contraction, a combining mark).
            if (p < end && !splitsAt(utf8, std::size_t(p - reinterpret_cast<const unsigned char*>(utf8.data())))) {
                key.resize(start);
                appendHeadSlowly(utf8, limit, key);
            }
            if (key.size() - start > limit)
                key.resize(start + limit); // the last character gave several units
            return;
        }
    }
}

// Through ICU, from ever longer beginnings of the text until the key's head
// is sure: the last units of a cut text may differ from the whole text's (a
// contraction or a character cut in two), so those are not trusted.
void Collation::appendHeadSlowly(std::string_view utf8, std::size_t limit, std::string& key) const
{
    constexpr std::size_t kUnsure = 64; // key bytes near the cut
    std::size_t take = limit == std::string::npos ? utf8.size() : std::max<std::size_t>(256, 2 * limit);
    for (;; take *= 2) {
        if (take >= utf8.size()) {
            const std::size_t start = key.size();
            appendSlowly(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), key);
            if (key.size() - start > limit)
                key.resize(start + limit);
            return;
        }
        std::string head;
        appendSlowly(QString::fromUtf8(utf8.data(), qsizetype(take)), head);
        if (head.size() >= limit + kUnsure) {
            key.append(head, 0, limit);
            return;
        }
    }
}

bool Collation::keyContains(std::string_view utf8, std::string_view part) const
{
    constexpr std::size_t kPieceBytes = 1 << 16; // of key, looked through at a time
    constexpr std::size_t kUnit = 4;
    auto found = [&](std::string_view key, std::size_t& from) {
        for (; from + part.size() <= key.size(); from += kUnit) {
            if (key.compare(from, part.size(), part) == 0)
                return true;
        }
        return false;
    };
    std::string key;
    std::size_t from = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char16_t c;
        const std::uint32_t w = nextWeight(p, end, c);
        if (w == Unsafe) {
            // Weights that depend on their neighbours: the whole key.
            key.clear();
            appendKey(utf8, key);
            from = 0;
            return found(key, from);
        }
        appendWeight(c, w, key);
        if (key.size() >= kPieceBytes + part.size()) {
            if (found(key, from))
                return true;
            // Only what a match starting further on could still need stays.
            key.erase(0, from);
            from = 0;
        }
    }
    return found(key, from);
}

bool Collation::splitsAt(std::string_view utf8, std::size_t at) const
{
    const auto* begin = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = begin + utf8.size();
    if (at == 0 || at >= utf8.size())
        return true;
    const unsigned char* p = begin + at;
    char16_t c;
    const std::uint32_t w = nextWeight(p, end, c);
    return w != 0 && w != Unsafe && wellFormedBefore(begin, begin + at);
}

std::size_t Collation::nextSplit(std::string_view utf8, std::size_t from) const
{
    while (from < utf8.size() && !splitsAt(utf8, from))
        ++from;
    return std::min(from, utf8.size());
}

std::optional<int> Collation::compareKeys(std::string_view a, std::string_view b, const std::atomic<bool>& stop) const
{
    constexpr std::size_t kPiece = 4096; // bytes of text whose key is made at a time, about
    constexpr std::size_t kSpan = 1 << 20; // bytes compared between two looks at stop
    struct Side {
        std::string_view text;
        std::size_t at = 0; // the text before this has its key made
        std::string key; // the part of that key not compared yet, from used on
        std::size_t used = 0;
        bool spent() const { return used == key.size(); }
    };
    Side sides[2];
    sides[0].text = a;
    sides[1].text = b;
    auto more = [&](Side& s) {
        s.key.clear();
        s.used = 0;
        const std::size_t to = nextSplit(s.text, std::min(s.text.size(), s.at + kPiece));
        appendKey(s.text.substr(s.at, to - s.at), s.key);
        s.at = to;
    };
    for (;;) {
        if (stop.load(std::memory_order_relaxed))
            return std::nullopt;
        Side &x = sides[0], &y = sides[1];
        if (x.spent() && y.spent()) {
            // The keys so far are equal and both texts split here: the
            // bytes both hold alike from here on have the same key, up to
            // a split within them.
            const std::string_view restX = x.text.substr(x.at), restY = y.text.substr(y.at);
            const std::size_t most = std::min(restX.size(), restY.size());
            std::size_t same = 0;
            while (same < most) {
                const std::size_t n = std::min(kSpan, most - same);
                const char* from = restX.data() + same;
                const auto d = std::size_t(std::mismatch(from, from + n, restY.data() + same).first - from);
                same += d;
                if (d < n)
                    break;
                if (stop.load(std::memory_order_relaxed))
                    return std::nullopt;
            }
            if (same == restX.size() && same == restY.size())
                return 0;
            // Back to the last place within them where both texts split.
            auto both = [&](std::size_t at) { return splitsAt(restX, at) && splitsAt(restY, at); };
            std::size_t cut = same;
            const std::size_t lowest = same > 64 ? same - 64 : 0;
            while (cut > lowest && !both(cut))
                --cut;
            if (cut > 0 && both(cut)) {
                x.at += cut;
                y.at += cut;
            }
        }
        for (Side* s : { &x, &y }) {
            while (s->spent() && s->at < s->text.size()) {
                more(*s);
                if (stop.load(std::memory_order_relaxed))
                    return std::nullopt;
            }
        }
        if (x.spent() || y.spent())
            return x.spent() ? (y.spent() ? 0 : -1) : 1;
        const std::size_t n = std::min(x.key.size() - x.used, y.key.size() - y.used);
        const int c = std::string_view(x.key).substr(x.used, n).compare(std::string_view(y.key).substr(y.used, n));
        if (c != 0)
            return c < 0 ? -1 : 1;
        x.used += n;
        y.used += n;
    }
}

std::string Collation::key(QStringView text) const
{
    std::string result;
    appendKey(text, result);
    return result;
}

int Collation::compare(QStringView a, QStringView b) const
{
    return key(a).compare(key(b));
}
