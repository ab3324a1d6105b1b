// redraw_probe: starts a desktop program on the current X display, finds its
// main window and times, from the outside, how soon the window's grid shows
// what the user waits for: the first records after the start, the answer to
// a click or a key sent at once, and then the answer to each of a series of
// keys typed one at a time. Redraws are seen through the DAMAGE extension;
// what they drew is read back from the window's pixels (a checksum of the
// grid, and whether it holds dark text), so the clock stops when the grid
// shows its final picture, not at the first scribble. Input goes through
// XTest, as from a real keyboard and mouse. With --hover, the pointer probe
// runs all along: it moves the pointer onto a label and off it and times how
// soon the window answers.
//
// Prints tab-separated records (see bench/outside_in/README.md):
//   start  window_ms first_damage_ms first_grid_ms rows_ms look_ms last_ms hash dark
//   dialog mapped_ms answered_ms title
//   section x y        (where a header section was found to be clicked)
//   action trigger sent_ms first_ms look_ms last_ms hash dark
//   key    n token text chars first_ms look_ms last_ms hash dark
//   hover  phase n on|off sent_ms answer_ms waited_ms   (the pointer probe)
//   error  why
// Times of start are from the program's start; those of an action and of a
// key from the moment its input was sent. NA stands for "did not happen".
#include "HoverProbe.h"
#include "ProbeOptions.h"
#include "ProcessWatch.h"
#include "SyntheticInput.h"
#include "WindowWatch.h"

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

using namespace probe;

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void onSignal(int)
{
    g_interrupted = 1;
}

class Records {
public:
    explicit Records(const std::string& path)
        : m_file(path.empty() ? stdout : std::fopen(path.c_str(), "w"))
    {
    }
    ~Records()
    {
        if (m_file && m_file != stdout)
            std::fclose(m_file);
    }
    bool ok() const { return m_file != nullptr; }
    void line(const std::string& text)
    {
        std::fprintf(m_file, "%s\n", text.c_str());
        std::fflush(m_file);
    }

private:
    FILE* m_file;
};

std::string ms(std::optional<double> v)
{
    if (!v)
        return "NA";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", *v);
    return buf;
}

std::optional<double> since(Moment origin, std::optional<Moment> t)
{
    if (!t)
        return std::nullopt;
    return msBetween(origin, *t);
}

std::string hex(std::uint64_t h)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, h);
    return buf;
}

std::size_t characters(const std::string& utf8)
{
    return std::size_t(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string clean(std::string s)
{
    std::replace(s.begin(), s.end(), '\t', ' ');
    std::replace(s.begin(), s.end(), '\n', ' ');
    return s;
}

// The earliest look, no earlier than `from`, that shows the final picture.
std::optional<Moment> firstShowing(const WindowWatch& watch, Moment from, std::uint64_t hash)
{
    for (const Look& l : watch.looks())
        if (l.at >= from && l.hash == hash)
            return l.at;
    return std::nullopt;
}

// Whether the grid, as last seen, shows rows of records.
bool rowsShownNow(const WindowWatch& watch, int darkPixels)
{
    return !watch.looks().empty() && watch.looks().back().dark >= darkPixels;
}

bool rowsShownSince(const WindowWatch& watch, Moment from, int darkPixels)
{
    for (const Look& l : watch.looks())
        if (l.at >= from && l.dark >= darkPixels)
            return true;
    return false;
}

class Probe {
public:
    explicit Probe(const ProbeOptions& o)
        : m_o(o)
        , m_watch(o)
        , m_records(o.outFile)
        , m_hover(o, m_watch, [this](const std::string& line) { m_records.line(line); })
        , m_process(o.readFile)
    {
    }

    int run()
    {
        if (!m_records.ok()) {
            std::fprintf(stderr, "redraw_probe: cannot write %s\n", m_o.outFile.c_str());
            return 2;
        }
        std::string why;
        if (!m_watch.open(why))
            return fail(why);
        m_input.emplace(m_watch.display());
        if (!m_input->ready(why))
            return fail(why);
        if (!m_watch.launch(why))
            return fail(why);
        if (!startUp())
            return 1;
        if (!m_o.keys.empty() && !typeKeys())
            return 1;
        settleHover();
        m_hover.finish();
        recordMemory("end");
        m_watch.stop();
        return 0;
    }

private:
    int fail(const std::string& why)
    {
        m_records.line("error\t" + clean(why));
        std::fprintf(stderr, "redraw_probe: %s\n", why.c_str());
        return 1;
    }

    // One turn of the loop: events, questions answered, a look at the grid.
    // False when the program ended or the probe was interrupted.
    bool step(int waitMs)
    {
        m_watch.pump(waitMs);
        if (g_interrupted) {
            m_failure = "interrupted";
            return false;
        }
        if (!m_watch.running(m_failure))
            return false;
        answerQuestions();
        if (m_watch.mainWindow() != 0)
            m_watch.capture();
        m_hover.tick();
        return true;
    }

    void answerQuestions()
    {
        if (m_o.answerKey.empty())
            return;
        for (OtherWindow& w : m_watch.otherWindows()) {
            if (w.answered || w.closed)
                continue;
            if (!m_watch.focusInside(w.id)) {
                // The window manager gives a new question the focus; should
                // it not, the probe does, as a click on it would.
                if (msBetween(w.mapped, Clock::now()) > 1000)
                    XSetInputFocus(m_watch.display(), w.id, RevertToParent, CurrentTime);
                continue;
            }
            if (m_input->key(m_o.answerKey)) {
                w.answered = Clock::now();
                m_records.line("dialog\t" + ms(since(m_watch.started(), w.mapped)) + "\t"
                    + ms(since(m_watch.started(), w.answered)) + "\t" + clean(w.title));
            }
        }
    }

    bool timedOut(Moment since, const char* what)
    {
        if (msBetween(since, Clock::now()) < m_o.timeoutMs)
            return false;
        m_failure = std::string(what) + ": nothing within " + std::to_string(m_o.timeoutMs / 1000) + " s";
        return true;
    }

    bool actionDue()
    {
        if (m_o.trigger == Trigger::Off || m_actionSent)
            return false;
        const Moment now = Clock::now();
        // SQLite holds a read lock on the file while a query reads it, from
        // before the first rows show to the last row: once rows show, the
        // last row is read when the program lets go of the lock. (A file
        // read whole for the first screen is let go of before they show.)
        if (m_o.trigger == Trigger::Read
            && (!rowsShownSince(m_watch, m_watch.started(), m_o.darkPixels) || m_process.holdsLock(m_watch.pid())))
            return false;
        const bool idle = m_o.trigger == Trigger::Settled && m_process.idle(m_watch.pid(), 1000, 0.1);
        // A question still open takes all input, so the action waits for it.
        if (!questionsAnswered() || !m_watch.mainViewable())
            return false;
        if (m_o.trigger == Trigger::Rows && !rowsShownSince(m_watch, m_watch.started(), m_o.darkPixels))
            return false;
        if (m_o.trigger == Trigger::Time && msBetween(m_watch.started(), now) < m_o.triggerAtMs)
            return false;
        const std::optional<Moment> last = m_watch.lastGridDamage();
        if (m_o.trigger == Trigger::Settled)
            return idle && rowsShownSince(m_watch, m_watch.started(), m_o.darkPixels) && last
                && msBetween(*last, now) >= m_o.startQuietMs;
        return !last || msBetween(*last, now) >= m_o.triggerQuietMs;
    }

    static const char* triggerName(Trigger t)
    {
        switch (t) {
        case Trigger::Map:
            return "map";
        case Trigger::Rows:
            return "rows";
        case Trigger::Time:
            return "time";
        case Trigger::Read:
            return "read";
        case Trigger::Settled:
            return "settled";
        case Trigger::Off:
            break;
        }
        return "off";
    }

    // Sends the early action: its click, then its keys; its time is that of
    // the last input sent, what the user waits on from then on.
    bool sendAction()
    {
        if (m_o.trigger == Trigger::Settled)
            recordMemory("settled");
        std::optional<Moment> sent;
        std::optional<Point> target = m_o.actionClick;
        if (m_o.actionSection) {
            target = m_watch.sectionMiddle(*m_o.actionSection);
            if (!target) {
                m_failure = "the header shows fewer than " + std::to_string(m_o.actionSection->n) + " sections";
                return false;
            }
            m_records.line("section\t" + std::to_string(target->x) + "\t" + std::to_string(target->y));
        }
        if (target) {
            const std::optional<Point> p = m_watch.onScreen(*target);
            if (!p) {
                m_failure = "the main window has no place on the screen";
                return false;
            }
            sent = m_input->click(*p);
            m_hover.setPhase("action");
            m_hover.afterClick();
        }
        if (!m_o.actionKeys.empty()) {
            if (!waitForFocus())
                return false;
            for (const std::string& k : m_o.actionKeys) {
                sent = m_input->key(k);
                if (!sent) {
                    m_failure = "no key of the keyboard map gives " + k;
                    return false;
                }
            }
        }
        m_actionSent = sent;
        m_hover.setPhase("action");
        return true;
    }

    // The program's resident memory now and its highest so far, in MiB,
    // from /proc (the program is the probe's own child, not a wrapper).
    void recordMemory(const char* when)
    {
        std::ifstream status("/proc/" + std::to_string(m_watch.pid()) + "/status");
        std::string line, rss = "NA", hwm = "NA";
        auto mib = [](const std::string& l) { return ms(std::stod(l.substr(l.find(':') + 1)) / 1024.0); };
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0)
                rss = mib(line);
            else if (line.rfind("VmHWM:", 0) == 0)
                hwm = mib(line);
        }
        m_records.line(std::string("memory\t") + when + "\t" + rss + "\t" + hwm);
    }

    bool waitForFocus()
    {
        const Moment begin = Clock::now();
        while (!m_watch.focusInside(m_watch.mainWindow())) {
            if (!step(10))
                return false;
            if (msBetween(begin, Clock::now()) > 5000) {
                m_failure = "the main window did not get the keyboard focus";
                return false;
            }
        }
        return true;
    }

    bool startUp()
    {
        const Moment origin = m_watch.started();
        for (;;) {
            // Waiting for the file to be read, the lock is looked at often.
            if (!step(m_o.trigger == Trigger::Read && !m_actionSent ? 2 : 20))
                return failNow();
            if (actionDue() && !sendAction())
                return failNow();
            const Moment now = Clock::now();
            const std::optional<Moment> last = m_watch.lastGridDamage();
            if (m_actionSent) {
                if (last && *last >= *m_actionSent && answered(msBetween(*last, now), m_o.actionQuietMs))
                    break;
            } else if (m_o.trigger == Trigger::Off && rowsShownSince(m_watch, origin, m_o.darkPixels) && last
                && msBetween(*last, now) >= m_o.startQuietMs && questionsAnswered())
                break;
            if (timedOut(origin, m_watch.mainWindow() ? "start-up" : "the main window"))
                return failNow();
        }

        const Moment end = m_actionSent ? *m_actionSent : Clock::now();
        std::optional<Moment> rows;
        for (const Look& l : m_watch.looks())
            if (l.at <= end && l.dark >= m_o.darkPixels) {
                rows = l.at;
                break;
            }
        // The start-up's final picture: the settled grid, or when an action
        // came early, the last picture before it.
        std::optional<Look> final;
        if (!m_actionSent)
            final = m_watch.capture(true);
        else
            for (const Look& l : m_watch.looks())
                if (l.at <= end)
                    final = l;
        std::optional<Moment> look;
        if (final)
            look = firstShowing(m_watch, origin, final->hash);
        std::optional<Moment> lastBefore;
        for (const Look& l : m_watch.looks())
            if (l.at <= end)
                lastBefore = l.at;
        m_records.line("start\t" + ms(since(origin, m_watch.mainMapped())) + "\t"
            + ms(since(origin, m_watch.firstDamage())) + "\t" + ms(since(origin, m_watch.firstGridDamage())) + "\t"
            + ms(since(origin, rows)) + "\t" + ms(since(origin, look)) + "\t" + ms(since(origin, lastBefore)) + "\t"
            + (final ? hex(final->hash) : "NA") + "\t" + (final ? std::to_string(final->dark) : "NA"));

        if (m_actionSent) {
            const std::optional<Look> after = m_watch.capture(true);
            const std::optional<Moment> first = m_watch.firstGridDamageSince(*m_actionSent);
            const std::optional<Moment> shown
                = after ? firstShowing(m_watch, *m_actionSent, after->hash) : std::nullopt;
            m_records.line(std::string("action\t") + triggerName(m_o.trigger) + "\t" + ms(since(origin, m_actionSent))
                + "\t" + ms(since(*m_actionSent, first)) + "\t" + ms(since(*m_actionSent, shown)) + "\t"
                + ms(since(*m_actionSent, m_watch.lastGridDamage())) + "\t" + (after ? hex(after->hash) : "NA") + "\t"
                + (after ? std::to_string(after->dark) : "NA"));
            savePicture("action");
        } else {
            savePicture("start");
        }
        return true;
    }

    // Whether the grid, quiet for quietMs, shows its answer: a grid that
    // was emptied is most often still waiting for its rows, so an empty grid
    // counts only after a longer quiet.
    bool answered(double quietMs, int neededMs) const
    {
        if (quietMs < neededMs)
            return false;
        return rowsShownNow(m_watch, m_o.darkPixels) || quietMs >= std::max(neededMs, m_o.blankQuietMs);
    }

    bool questionsAnswered()
    {
        if (m_o.answerKey.empty())
            return true;
        for (const OtherWindow& w : m_watch.otherWindows())
            if (!w.answered && !w.closed)
                return false;
        return true;
    }

    // Waits until the grid has had no redraw for quietMs since `from`.
    bool settle(Moment from, int quietMs)
    {
        for (;;) {
            if (!step(10))
                return false;
            const std::optional<Moment> last = m_watch.lastGridDamage();
            const Moment quietSince = last && *last > from ? *last : from;
            if (msBetween(quietSince, Clock::now()) >= quietMs)
                return true;
            if (timedOut(from, "settling"))
                return false;
        }
    }

    bool typeKeys()
    {
        m_hover.setPhase("keys");
        if (m_o.keysClick) {
            const std::optional<Point> p = m_watch.onScreen(*m_o.keysClick);
            if (!p) {
                m_failure = "the main window has no place on the screen";
                return failNow();
            }
            const Moment clicked = m_input->click(*p);
            m_hover.afterClick();
            if (!waitForFocus() || !settle(clicked, std::max(m_o.keyQuietMs, 500)))
                return failNow();
        }
        std::string text;
        int n = 0;
        for (const std::string& token : m_o.keys) {
            ++n;
            const std::optional<Moment> sent = m_input->key(token);
            if (!sent) {
                m_failure = "no key of the keyboard map gives " + token;
                return failNow();
            }
            if (token == "BackSpace") {
                while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
                    text.pop_back();
                if (!text.empty())
                    text.pop_back();
            } else if (token.size() <= 4) {
                text += token;
            }
            // Wait for the first redraw, then for the grid to stay quiet.
            bool redrawn = false;
            for (;;) {
                if (!step(5))
                    return failNow();
                const std::optional<Moment> last = m_watch.lastGridDamage();
                const Moment now = Clock::now();
                if (last && *last >= *sent) {
                    redrawn = true;
                    if (answered(msBetween(*last, now), m_o.keyQuietMs))
                        break;
                } else if (msBetween(*sent, now) >= m_o.keyTimeoutMs) {
                    break;
                }
            }
            std::optional<Look> after;
            std::optional<Moment> first, shown;
            if (redrawn) {
                after = m_watch.capture(true);
                first = m_watch.firstGridDamageSince(*sent);
                if (after)
                    shown = firstShowing(m_watch, *sent, after->hash);
            }
            const std::optional<Moment> last = redrawn ? m_watch.lastGridDamage() : std::nullopt;
            m_records.line("key\t" + std::to_string(n) + "\t" + token + "\t" + (text.empty() ? "-" : text) + "\t"
                + std::to_string(characters(text)) + "\t" + ms(since(*sent, first)) + "\t" + ms(since(*sent, shown))
                + "\t" + ms(since(*sent, last)) + "\t" + (after ? hex(after->hash) : "NA") + "\t"
                + (after ? std::to_string(after->dark) : "NA"));
            if (std::find(m_o.shotKeys.begin(), m_o.shotKeys.end(), n) != m_o.shotKeys.end())
                savePicture("key-" + std::to_string(n));
        }
        return true;
    }

    void savePicture(const std::string& name)
    {
        if (m_o.shotDir.empty())
            return;
        // Saving takes a while, and a redraw of the label meanwhile would be
        // seen late: a move waiting for its answer gets it first.
        settleHover();
        m_watch.savePicture(m_o.shotDir + "/" + name + ".ppm");
    }

    // Gives a move of the pointer probe that is still waiting up to two
    // seconds to be answered; no new move is made meanwhile.
    void settleHover()
    {
        const Moment begin = Clock::now();
        while (m_hover.waiting() && msBetween(begin, Clock::now()) < 2000) {
            m_watch.pump(5);
            std::string ended;
            if (!m_watch.running(ended))
                break;
            m_hover.tick();
        }
    }

    bool failNow()
    {
        m_hover.finish();
        savePicture("failure");
        fail(m_failure.empty() ? "stopped" : m_failure);
        return false;
    }

    const ProbeOptions& m_o;
    WindowWatch m_watch;
    Records m_records;
    std::optional<SyntheticInput> m_input;
    HoverProbe m_hover;
    ProcessWatch m_process;
    std::optional<Moment> m_actionSent;
    std::string m_failure;
};

} // namespace

int main(int argc, char** argv)
{
    const std::optional<ProbeOptions> options = parseOptions(argc, argv);
    if (!options)
        return 2;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    Probe probe(*options);
    return probe.run();
}
