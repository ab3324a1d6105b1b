// The pointer probe: while the rest of the probe clicks and types, it moves
// the pointer onto a label that lights up under the pointer and off it again,
// one move every so often, and times each move until the label's pixels
// change: how soon the window answers the pointer. A window thread that is
// busy answers late, however the grid looks.
#pragma once

#include "ProbeOptions.h"
#include "SyntheticInput.h"
#include "WindowWatch.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace probe {

class HoverProbe {
public:
    // `record` gets one line per move:
    //   hover  phase n on|off sent_ms answer_ms waited_ms
    // sent_ms from the program's start; answer_ms from the move (NA when the
    // label never changed), waited_ms how long it was watched.
    HoverProbe(const ProbeOptions& options, WindowWatch& watch, std::function<void(const std::string&)> record);

    // The part of the run the next moves belong to (start, action, keys).
    void setPhase(const std::string& phase) { m_phase = phase; }

    // One turn: a move answered is recorded, a new one made when due.
    void tick();

    // After a click of the run, which took the pointer away: a move still
    // waiting for its answer is made again (from its own time), since the
    // program may never have seen it.
    void afterClick();

    // Whether a move is waiting for its answer.
    bool waiting() const { return m_waiting; }

    // Records a move still waiting, as unanswered.
    void finish();

private:
    void moveTo(bool onto, bool wiggle);

    const ProbeOptions& m_o;
    WindowWatch& m_watch;
    std::function<void(const std::string&)> m_record;
    std::string m_phase = "start";
    bool m_started = false;
    bool m_lit = false; // the label's state after the last answered move
    int m_moves = 0;
    std::optional<Moment> m_lastMove; // when the last new move was made
    // The move waiting for its answer.
    bool m_waiting = false;
    bool m_target = false;
    std::string m_waitingPhase;
    Moment m_sent;
    Moment m_resent;
    bool m_wiggle = false;
    std::vector<std::uint32_t> m_before;
};

} // namespace probe
