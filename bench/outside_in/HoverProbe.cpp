#include "HoverProbe.h"

#include <X11/extensions/XTest.h>

#include <cstdio>

namespace probe {

namespace {

std::string ms(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

} // namespace

HoverProbe::HoverProbe(const ProbeOptions& options, WindowWatch& watch, std::function<void(const std::string&)> record)
    : m_o(options)
    , m_watch(watch)
    , m_record(std::move(record))
{
}

void HoverProbe::moveTo(bool onto, bool wiggle)
{
    // Two points a pixel apart, so that a move repeated while the program
    // is busy is a real motion.
    Point p = onto ? Point { m_o.hover->x + m_o.hover->w / 2, m_o.hover->y + m_o.hover->h / 2 } : *m_o.hoverOff;
    if (wiggle)
        ++p.x;
    const std::optional<Point> s = m_watch.onScreen(p);
    if (!s)
        return;
    XTestFakeMotionEvent(m_watch.display(), -1, s->x, s->y, CurrentTime);
    XFlush(m_watch.display());
}

void HoverProbe::tick()
{
    if (!m_o.hover)
        return;
    const Moment now = Clock::now();
    if (!m_started) {
        // The label is watched once the window shows it.
        if (!m_watch.mainViewable() || !m_watch.hoverDrawn())
            return;
        m_started = true;
    }
    if (m_waiting) {
        const std::optional<Moment> damaged = m_watch.takeHoverDamage();
        const std::vector<std::uint32_t> now_ = m_watch.pixels(*m_o.hover);
        if (!now_.empty() && now_ != m_before) {
            const Moment answered = damaged && *damaged >= m_sent ? *damaged : now;
            m_record("hover\t" + m_waitingPhase + "\t" + std::to_string(m_moves) + "\t" + (m_target ? "on" : "off")
                + "\t" + ms(msBetween(m_watch.started(), m_sent)) + "\t" + ms(msBetween(m_sent, answered)) + "\t"
                + ms(msBetween(m_sent, answered)));
            m_waiting = false;
            m_lit = m_target;
        } else if (msBetween(m_resent, now) >= m_o.hoverEveryMs) {
            // Still waiting: the pointer keeps moving on the same spot, as a
            // user's hand would.
            m_wiggle = !m_wiggle;
            moveTo(m_target, m_wiggle);
            m_resent = now;
        }
        return;
    }
    if (m_lastMove && msBetween(*m_lastMove, now) < m_o.hoverEveryMs)
        return;
    m_before = m_watch.pixels(*m_o.hover);
    if (m_before.empty())
        return;
    m_watch.takeHoverDamage();
    m_target = !m_lit;
    m_wiggle = false;
    moveTo(m_target, false);
    m_sent = m_resent = Clock::now();
    m_lastMove = m_sent;
    m_waitingPhase = m_phase;
    m_waiting = true;
    ++m_moves;
}

void HoverProbe::afterClick()
{
    if (!m_waiting)
        return;
    moveTo(m_target, m_wiggle);
    m_resent = Clock::now();
}

void HoverProbe::finish()
{
    if (!m_waiting)
        return;
    m_record("hover\t" + m_waitingPhase + "\t" + std::to_string(m_moves) + "\t" + (m_target ? "on" : "off") + "\t"
        + ms(msBetween(m_watch.started(), m_sent)) + "\tNA\t" + ms(msBetween(m_sent, Clock::now())));
    m_waiting = false;
}

} // namespace probe
