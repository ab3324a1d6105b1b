// The category catalogue of the main window as plain data: the 108 clickable
// labels of the right-hand panel (nine group headings and 99 items), the lines
// between the groups and the table that gives some labels a category value
// other than their caption.
//
// Deliberately free of Qt so that the generator of the sample database and
// the tests can use it as well as the main window. All texts are UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace catalogue {

enum class Kind : std::uint8_t { Heading, Item };

// One clickable label of the catalogue. Left/Top are client pixels of the
// main window; the width follows the caption, the height is one line of the
// label's font (see the style constants below).
struct CatalogueLabel {
    std::string_view name; // control name, e.g. "LbAvto", "Label112"
    std::string_view caption; // text shown
    int left;
    int top;
    Kind kind;
    int group; // 0..8, index into groups()
};

// The lowered line that separates a group from the next one.
struct Separator {
    std::string_view name; // "Bevel2" ... "Bevel9"
    int left;
    int top;
    int width;
};

// One of the nine groups, top to bottom.
struct CatalogueGroup {
    int headingIndex; // index of the heading in labels()
    int firstItem; // index of the first item in labels()
    int itemCount;
    int headingWidth; // width of the heading label in pixels
    bool hasSeparator; // false for the last group only
    Separator separator; // meaningful only when hasSeparator
};

// A label whose category value differs from its caption.
struct Override {
    std::string_view labelName;
    std::string_view caption; // the caption the label shows
    std::string_view value; // the category value it selects
};

// Styles of the two kinds of labels.
inline constexpr int kHeadingFontPixels = 19; // bold
inline constexpr int kHeadingHeight = 24;
inline constexpr int kItemFontPixels = 11; // regular
// Letter spacing of the items in the bundled font, in percent of normal.
inline constexpr int kItemLetterSpacingPercent = 94;
inline constexpr int kItemHeight = 13;
inline constexpr std::uint32_t kHeadingColour = 0xFFFFFF; // 0x00BBGGRR, white
inline constexpr std::uint32_t kIdleColour = 0xFFFF00; // aqua
inline constexpr std::uint32_t kLabelBackground = 0x420912; // dark blue

inline constexpr int kLabelCount = 108;
inline constexpr int kGroupCount = 9;
inline constexpr int kOverrideCount = 20;

// All labels, group by group: each heading followed by its items in reading
// order (rows top to bottom, left to right within a row).
std::span<const CatalogueLabel> labels();

// The nine groups, top to bottom.
std::span<const CatalogueGroup> groups();

// The override table, in the order in which it is consulted.
std::span<const Override> overrides();

// The label with the given control name, or nullptr.
const CatalogueLabel* findLabel(std::string_view name);

// The category value a label selects: the override value when the name is in
// the override table, otherwise the label's caption. An unknown name yields
// an empty view.
std::string_view categoryValue(std::string_view labelName);

// Every category value the catalogue can select, each once, in the order of
// first appearance in labels().
std::vector<std::string_view> distinctCategoryValues();

} // namespace catalogue
