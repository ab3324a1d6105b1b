// The city bus timetable as plain data: the 19 routes of the bus window's
// left column, each with the label that shows it and the texts a click on it
// writes into the window: the names of the two terminal stops and the four
// texts of departure times. The times are display text, never parsed: they
// are kept exactly as published, slips included. All texts are UTF-8.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace timetable {

// One text of departure times. The first text of each direction starts with
// a run of spaces that keeps its first line clear of the stop name written
// over the same corner.
struct TimeText {
    int leadingSpaces;
    std::string_view text; // empty: the label is cleared

    bool empty() const { return leadingSpaces == 0 && text.empty(); }
    // The label's text: the spaces, then the times.
    std::string shown() const { return std::string(std::size_t(leadingSpaces), ' ') + std::string(text); }
};

struct Route {
    std::string_view labelName; // the route's label in the bus window
    std::string_view caption; // the label's caption, trailing spaces included
    int top; // the label's Top; every route label stands at Left 8
    std::string_view firstStop; // caption of Disp
    std::string_view secondStop; // caption of JD
    // Time1 and Time2: from the first stop; Time3 and Time4: from the second.
    std::array<TimeText, 4> times;
};

inline constexpr int kRouteCount = 19;
inline constexpr int kRouteLeft = 8;

// The routes in timetable order: Label1 ("Маршрут №2"), Label2 … Label18,
// Label20 ("Маршрут №19").
std::span<const Route> routes();

// The route shown by the label with this name, or nullptr.
const Route* findRoute(std::string_view labelName);

} // namespace timetable
