// How the directory compares texts: the way its Russian users expect.
//
// Letter case does not count, "Ё" is "Е", punctuation comes before digits and
// digits before letters, Latin letters come before Cyrillic ones, and the
// Cyrillic letters follow the Russian alphabet. This is ICU's collation for
// Russian at primary strength, with the scripts in their default order, so
// it also ignores accents and other marks.
//
// Where the database engine such directories used to live in compared
// differently: it ignored hyphens and apostrophes inside words ("О'Нил" was
// "ОНил"), while here they count and sort before digits like all
// punctuation; it told "Ё" from "Е" when sorting, here they are one letter;
// and its order of punctuation marks among themselves was its own.
//
// Texts are compared through keys: a text's key is the sequence of its
// primary collation weights, four bytes each, so two texts compare as their
// keys compare bytewise, and a text begins with another exactly when its key
// begins with the other's key. Keys of most texts are built from a per-
// character table; texts with characters whose weight depends on their
// neighbours go through ICU in full.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct UCollator;

class Collation {
public:
    static const Collation& instance();
    ~Collation();

    // Appends the key of a text given as UTF-8 or UTF-16.
    void appendKey(std::string_view utf8, std::string& key) const;
    // Appends the key's first limit bytes (all of a shorter key), reading
    // no more of the text than that takes: enough to compare the text with
    // a key of fewer bytes, however long the text.
    void appendKeyHead(std::string_view utf8, std::size_t limit, std::string& key) const;
    void appendKey(QStringView text, std::string& key) const;
    std::string key(QStringView text) const;
    // Whether a text's key holds this key at a unit boundary (the text
    // holds the other text), found a piece at a time: the whole key of a
    // huge text is never made.
    bool keyContains(std::string_view utf8, std::string_view part) const;

    // <0, 0, >0 as a sorts before, with or after b.
    int compare(QStringView a, QStringView b) const;
    // The same for texts given as UTF-8, as their whole keys compare, but
    // with the keys made and compared a piece at a time and what both texts
    // hold alike skipped: the whole key of a huge text is never made. No
    // answer once stop is raised.
    std::optional<int> compareKeys(std::string_view a, std::string_view b, const std::atomic<bool>& stop) const;

    // Whether a text's key is the key of its bytes before at followed by
    // the key of the rest: nothing before at joins what follows (a
    // contraction, a combining mark, a character cut in two).
    bool splitsAt(std::string_view utf8, std::size_t at) const;

    // The key of U+FFFF, the character that sorts after every other: a text
    // followed by it sorts after every text that begins with that text.
    std::string_view highestUnit() const { return m_highest; }

private:
    Collation();

    static constexpr std::uint32_t Unsafe = 1; // not a primary weight: ICU weights start at 0x03000000
    // Not a weight either: a character that stands for several weights,
    // whatever its neighbours ("№" for "N" and "o"), kept in its block.
    static constexpr std::uint32_t Expanded = 2;
    std::uint32_t weight(char16_t c) const; // 0 for an ignorable character
    // The weight of the character of the UTF-8 text at p (before end), p
    // moved past it and the character in c; Unsafe for one the table has no
    // weight for.
    std::uint32_t nextWeight(const unsigned char*& p, const unsigned char* end, char16_t& c) const;
    // Appends what a character with the weight w gives the key (nothing for
    // an ignorable one); w is not Unsafe.
    void appendWeight(char16_t c, std::uint32_t w, std::string& key) const;
    struct Block {
        std::array<std::uint32_t, 256> weights;
        // Of the Expanded characters: their weights in units, where each
        // one's begin and how many.
        std::array<std::uint16_t, 256> expandedFrom {};
        std::array<std::uint8_t, 256> expandedCount {};
        std::vector<std::uint32_t> units;
    };
    const Block& block(unsigned high) const;
    void appendSlowly(QStringView text, std::string& key) const;
    void appendHeadSlowly(std::string_view utf8, std::size_t limit, std::string& key) const;
    std::size_t nextSplit(std::string_view utf8, std::size_t from) const; // the first split at or after from

    UCollator* m_collator = nullptr;
    // Filled on first use; read without a lock, so keys may be built on
    // several threads at once.
    mutable std::array<std::atomic<const Block*>, 256> m_blocks {};
    std::unique_ptr<std::array<bool, 65536>> m_unsafe;
    std::string m_highest;
};
