// Record generator for the sample directory database: plausible firms and
// organisations of Светлоборск, fully determined by a seed and a count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gendb {

// Field sizes of the table "главная", in characters.
inline constexpr std::size_t kNameSize = 100;
inline constexpr std::size_t kAddressSize = 50;
inline constexpr std::size_t kPhoneSize = 50;
inline constexpr std::size_t kKindSize = 150;
inline constexpr std::size_t kNoteSize = 200;

inline constexpr std::uint64_t kDefaultRecords = 2500;
inline constexpr std::uint64_t kMaxRecords = 100'000'000; // far beyond a region's directory

// splitmix64: small, fast and the same on every platform and compiler.
class Rng {
public:
    explicit Rng(std::uint64_t seed)
        : m_state(seed)
    {
    }
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n) for n > 0 (multiply-shift; the bias is negligible).
    std::uint64_t below(std::uint64_t n)
    {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(next()) * n) >> 64);
    }
    // Uniform in [lo, hi].
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint64_t>(hi - lo + 1))); }
    // True with probability percent / 100.
    bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }

private:
    std::uint64_t m_state;
};

struct Record {
    std::string name;
    std::string address;
    std::string phone;
    std::string kind;
    std::optional<std::string> note; // nullopt is written as NULL
};

// Number of characters (code points) of a UTF-8 text.
std::size_t utf8Length(std::string_view text);

// The first `chars` characters of a UTF-8 text.
std::string utf8Left(std::string_view text, std::size_t chars);

// A text of exactly `chars` characters made from `text`: repeated when it is
// too short, cut when too long; a blank at the cut end becomes a full stop.
std::string fitExactly(std::string_view text, std::size_t chars);

// A record fixed in advance (awkward real-data cases, the coverage of every
// category value); fields left empty are generated as usual.
struct PlannedRecord {
    std::optional<std::string> name;
    std::optional<std::string> address;
    std::optional<std::string> phone;
    std::optional<std::string> kind;
    enum class Note { Generated, Null, Empty, Text } noteMode = Note::Generated;
    std::string note;
};

class Generator {
public:
    Generator(std::uint64_t seed, std::uint64_t count);

    // Fills `out` with the next record; returns false once `count` records
    // have been produced.
    bool next(Record& out);

    // The records fixed in advance, most important first. With fewer records
    // than these, only the first ones make it into the table.
    static std::vector<PlannedRecord> plannedRecords();

    // Checks the generator's own tables (every naming style belongs to a
    // catalogue value, no planned text exceeds its field). Returns an empty
    // text when they are sound, otherwise what is wrong.
    static std::string checkTables();

private:
    struct KindChoice {
        std::string_view value;
        std::uint32_t cumulative; // running sum of the weights
        int style; // index into the style table, or -1
    };

    std::string_view pickKind();
    std::string makeName(std::string_view kind);
    std::string makeAddress();
    std::string makePhone();
    std::optional<std::string> makeNote();
    std::string_view pickBrand(int style);
    std::string makePerson();

    Rng m_rng;
    std::uint64_t m_count;
    std::uint64_t m_index = 0;
    std::vector<PlannedRecord> m_planned;
    std::vector<std::pair<std::uint64_t, std::size_t>> m_plan; // (position, planned index), ascending
    std::size_t m_planCursor = 0;
    std::vector<KindChoice> m_kinds;
};

} // namespace gendb
