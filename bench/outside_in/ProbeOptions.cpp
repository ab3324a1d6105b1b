#include "ProbeOptions.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace probe {

namespace {

const char* const kUsage = R"(usage: redraw_probe [OPTION...] -- PROGRAM [ARGUMENT...]
Starts PROGRAM, waits for its main window and times its redraws.
  --title TEXT           the main window's title contains TEXT (required)
  --grid X,Y,W,H         the grid in window points (required)
  --rows X,Y,W,H         inside the grid, where records show as dark text (required)
  --client-height H      points count from the top of the window's bottom H pixels
  --dark-level N         pixels darker than N (0..255) are text [100]
  --dark-pixels N        that many of them mean records are shown [300]
  --answer KEY           press KEY in any other window of the program (a question)
  --cwd DIR              the program's current folder
  --log FILE             the program's output
  --start-quiet MS       start-up is over after MS without a grid redraw [2000]
  --timeout MS           limit of every wait [120000]
  --trigger map|rows|time|read|settled
                         send the early action when the window maps / shows
                         rows / at --trigger-at / when the program lets go of
                         its lock on --read-file (its last row is read) /
                         once start-up is over and the program is idle
  --trigger-quiet MS     ... once the grid has had no redraw for MS [0]
  --trigger-at MS        time of --trigger time, from the program's start
  --read-file FILE       the file of --trigger read
  --action-click X,Y     the early action's click
  --action-section Y,CY,X0,X1,N
                         or a click at height CY on the middle of header
                         section N, its borders found on row Y from X0 to X1
  --action-keys "K ..."  the early action's keys, after the click
  --action-quiet MS      its redraw is over after MS without one [3000]
  --keys-click X,Y       clicked once start-up is over, before the timed keys
  --keys "K ..."         timed keys, one at a time: characters or key names
  --key-quiet MS         a key's redraw is over after MS without one [300]
  --key-timeout MS       a key with no redraw within MS counts as none [20000]
  --blank-quiet MS       a grid left empty after a key or an action is its
                         answer only after MS without a redraw [5000]
  --hover X,Y,W,H        the pointer probe: a label that lights up under the
                         pointer; the pointer goes onto it and off it in turn
  --hover-off X,Y        ... off it: a point where the label goes dark again
  --hover-every MS       ... a move every MS [100]
  --shot-keys N,...      save the window after these keys (1-based)
  --shots DIR            save window pictures (PPM) into DIR
  --out FILE             write the records to FILE instead of standard output
)";

bool parseInts(const std::string& text, std::vector<int>& values)
{
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        char* end = nullptr;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end != '\0')
            return false;
        values.push_back(int(v));
    }
    return !values.empty();
}

bool parseRect(const std::string& text, Rect& r)
{
    std::vector<int> v;
    if (!parseInts(text, v) || v.size() != 4 || v[2] <= 0 || v[3] <= 0)
        return false;
    r = { v[0], v[1], v[2], v[3] };
    return true;
}

bool parsePoint(const std::string& text, std::optional<Point>& p)
{
    std::vector<int> v;
    if (!parseInts(text, v) || v.size() != 2)
        return false;
    p = Point { v[0], v[1] };
    return true;
}

bool parseInt(const std::string& text, int& value, int least)
{
    std::vector<int> v;
    if (!parseInts(text, v) || v.size() != 1 || v[0] < least)
        return false;
    value = v[0];
    return true;
}

std::vector<std::string> splitWords(const std::string& text)
{
    std::vector<std::string> words;
    std::stringstream in(text);
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

} // namespace

std::optional<ProbeOptions> parseOptions(int argc, char** argv)
{
    ProbeOptions o;
    auto fail = [](const std::string& why) {
        std::fprintf(stderr, "redraw_probe: %s\n%s", why.c_str(), kUsage);
        return std::nullopt;
    };
    int i = 1;
    for (; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--") {
            ++i;
            break;
        }
        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            return fail(name + " needs a value");
        const std::string value = argv[++i];
        bool ok = true;
        if (name == "--title")
            o.title = value;
        else if (name == "--grid")
            ok = parseRect(value, o.grid);
        else if (name == "--rows")
            ok = parseRect(value, o.rows);
        else if (name == "--client-height")
            ok = parseInt(value, o.clientHeight, 1);
        else if (name == "--dark-level")
            ok = parseInt(value, o.darkLevel, 1);
        else if (name == "--dark-pixels")
            ok = parseInt(value, o.darkPixels, 1);
        else if (name == "--answer")
            o.answerKey = value;
        else if (name == "--cwd")
            o.workDir = value;
        else if (name == "--log")
            o.logFile = value;
        else if (name == "--start-quiet")
            ok = parseInt(value, o.startQuietMs, 1);
        else if (name == "--timeout")
            ok = parseInt(value, o.timeoutMs, 1);
        else if (name == "--trigger") {
            if (value == "map")
                o.trigger = Trigger::Map;
            else if (value == "rows")
                o.trigger = Trigger::Rows;
            else if (value == "time")
                o.trigger = Trigger::Time;
            else if (value == "read")
                o.trigger = Trigger::Read;
            else if (value == "settled")
                o.trigger = Trigger::Settled;
            else
                ok = false;
        } else if (name == "--trigger-quiet")
            ok = parseInt(value, o.triggerQuietMs, 0);
        else if (name == "--trigger-at")
            ok = parseInt(value, o.triggerAtMs, 0);
        else if (name == "--read-file")
            o.readFile = value;
        else if (name == "--hover") {
            Rect r;
            ok = parseRect(value, r);
            if (ok)
                o.hover = r;
        } else if (name == "--hover-off")
            ok = parsePoint(value, o.hoverOff);
        else if (name == "--hover-every")
            ok = parseInt(value, o.hoverEveryMs, 10);
        else if (name == "--action-click")
            ok = parsePoint(value, o.actionClick);
        else if (name == "--action-section") {
            std::vector<int> v;
            ok = parseInts(value, v) && v.size() == 5 && v[2] < v[3] && v[4] >= 1;
            if (ok)
                o.actionSection = HeaderSection { v[0], v[1], v[2], v[3], v[4] };
        } else if (name == "--action-keys")
            o.actionKeys = splitWords(value);
        else if (name == "--action-quiet")
            ok = parseInt(value, o.actionQuietMs, 1);
        else if (name == "--keys-click")
            ok = parsePoint(value, o.keysClick);
        else if (name == "--keys")
            o.keys = splitWords(value);
        else if (name == "--key-quiet")
            ok = parseInt(value, o.keyQuietMs, 1);
        else if (name == "--key-timeout")
            ok = parseInt(value, o.keyTimeoutMs, 1);
        else if (name == "--blank-quiet")
            ok = parseInt(value, o.blankQuietMs, 1);
        else if (name == "--shot-keys")
            ok = parseInts(value, o.shotKeys);
        else if (name == "--shots")
            o.shotDir = value;
        else if (name == "--out")
            o.outFile = value;
        else
            return fail("unknown option " + name);
        if (!ok)
            return fail("bad value for " + name + ": " + value);
    }
    for (; i < argc; ++i)
        o.command.push_back(argv[i]);

    if (o.command.empty())
        return fail("no program to start");
    if (o.title.empty() || o.grid.empty() || o.rows.empty())
        return fail("--title, --grid and --rows are required");
    if (!o.grid.contains(o.rows))
        return fail("--rows must lie inside --grid");
    if (o.trigger != Trigger::Off && !o.actionClick && !o.actionSection && o.actionKeys.empty())
        return fail("--trigger needs --action-click, --action-section or --action-keys");
    if (o.actionClick && o.actionSection)
        return fail("--action-click and --action-section exclude each other");
    if (o.trigger == Trigger::Read && o.readFile.empty())
        return fail("--trigger read needs --read-file");
    if (o.hover.has_value() != o.hoverOff.has_value())
        return fail("--hover and --hover-off go together");
    if (o.hover && o.hover->intersects(Rect { o.hoverOff->x, o.hoverOff->y, 2, 1 }))
        return fail("--hover-off must lie outside --hover");
    return o;
}

} // namespace probe
