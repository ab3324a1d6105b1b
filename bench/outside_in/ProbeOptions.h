// What one run of redraw_probe is told on its command line: the program to
// start, where its grid lies in its window, what to do once the window is up
// and how long a redraw may take before it counts as finished.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace probe {

struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    bool intersects(const Rect& o) const { return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h; }
    bool contains(const Rect& o) const { return o.x >= x && o.y >= y && o.x + o.w <= x + w && o.y + o.h <= y + h; }
};

struct Point {
    int x = 0;
    int y = 0;
};

// A section of a grid's header whose columns are sized at run time: the
// header row at y is scanned from x0 (the left edge of the first section) to
// x1 for the thin lines between sections, and the middle of section n
// (1-based) is clicked at clickY.
struct HeaderSection {
    int y = 0;
    int clickY = 0;
    int x0 = 0;
    int x1 = 0;
    int n = 1;
};

// When the early action (a click, then keys) is sent during start-up.
enum class Trigger {
    Off, // no early action: start-up is timed undisturbed
    Map, // as soon as the main window is viewable
    Rows, // as soon as the grid shows rows of text
    Time, // at a set time after the start, once the main window is viewable
    Read, // as soon as the program lets go of its lock on a file it read
    Settled, // once start-up is over and the program has gone idle
};

struct ProbeOptions {
    std::vector<std::string> command; // the program and its arguments
    std::string workDir; // its current folder
    std::string logFile; // its standard output and error
    std::string title; // a text the main window's title contains
    int clientHeight = 0; // > 0: points are relative to the bottom part of this height (under a menu bar)
    Rect grid; // redraws inside it count; its pixels are compared
    Rect rows; // inside the grid: where rows of dark text mean records are shown
    int darkLevel = 100; // a pixel darker than this (0..255) is text
    int darkPixels = 300; // this many of them mean rows are shown

    std::string answerKey; // pressed in any other window of the program that shows up (e.g. Return)

    int startQuietMs = 2000; // start-up is over after this long without a grid redraw
    int timeoutMs = 120000; // limit of every wait

    Trigger trigger = Trigger::Off;
    int triggerQuietMs = 0; // and the grid has had no redraw for this long
    int triggerAtMs = 0; // Time: from the program's start
    std::string readFile; // Read: the file whose lock is watched
    std::optional<Point> actionClick;
    std::optional<HeaderSection> actionSection; // or a click on a header section found on the screen
    std::vector<std::string> actionKeys;
    int actionQuietMs = 3000;

    std::optional<Point> keysClick; // clicked before the timed keys, once start-up is over
    std::vector<std::string> keys; // one keystroke each: a character or a key name (BackSpace)
    int keyQuietMs = 300; // a keystroke's redraw is over after this long without one
    int keyTimeoutMs = 20000; // a keystroke with no redraw in this time counts as none
    int blankQuietMs = 5000; // a grid left without rows must stay so this long to count as the answer
    std::vector<int> shotKeys; // keystrokes (1-based) after which the window is saved

    // The pointer probe: every hoverEveryMs the pointer goes onto the label
    // (hover, window points) or off it (hoverOff), and the time until the
    // label's pixels change is recorded.
    std::optional<Rect> hover;
    std::optional<Point> hoverOff;
    int hoverEveryMs = 100;

    std::string shotDir; // where window pictures go (PPM); none when empty
    std::string outFile; // the records; standard output when empty
};

// Reads the command line; on a mistake prints why and the usage, and returns
// nothing.
std::optional<ProbeOptions> parseOptions(int argc, char** argv);

} // namespace probe
