// Two readers of one table meet halfway, wherever that is: one reads the
// rows from the lowest row number up, the other from the highest down, and
// each row is taken by exactly one of them. Neither knows beforehand where
// the middle is, so neither waits for the other: whichever has the more
// time or the cheaper rows reads more of them.
//
// Each claims row numbers a stretch ahead of the row it takes (one atomic
// write and read a stretch, not a row) and stops once its claim reaches the
// other's. Claiming writes before it reads the other's claim, so of two
// claims that overlap at least one is seen to: no row is taken twice. Both
// may stop short of each other, leaving a few rows between them; the reader
// from below takes those once the other has stopped (settle()).
#pragma once

#include <QtGlobal>

#include <atomic>
#include <limits>

class ReadMeeting {
public:
    // Whether the reader from below takes the row numbered rowid (its rows
    // come in ascending order). Once false, it stops until settle().
    bool takeLow(qint64 rowid)
    {
        if (m_settled)
            return !m_highTook || rowid < m_highLowest;
        if (!m_lowClaimed || rowid > m_lowClaim) {
            m_lowClaimed = true;
            m_lowClaim = rowid > kMax - (kStretch - 1) ? kMax : rowid + (kStretch - 1);
            m_low.store(m_lowClaim);
            if (m_lowClaim >= m_high.load())
                return false;
        }
        return true;
    }

    // Whether the reader from above takes the row numbered rowid (its rows
    // come in descending order). Once false, it stops for good.
    bool takeHigh(qint64 rowid)
    {
        if (!m_highClaimed || rowid < m_highClaim) {
            m_highClaimed = true;
            m_highClaim = rowid < kMin + (kStretch - 1) ? kMin : rowid - (kStretch - 1);
            m_high.store(m_highClaim);
            if (m_highClaim <= m_low.load())
                return false;
        }
        m_highTook = true;
        m_highLowest = rowid;
        return true;
    }

    // Once the reader from above has stopped (its thread joined), or never
    // began: from then on the reader from below takes every row below the
    // lowest the other took, which is all it has not.
    void settle() { m_settled = true; }

    // The row numbers claimed at a time.
    static constexpr qint64 kStretch = 4096;

private:
    static constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    static constexpr qint64 kMax = std::numeric_limits<qint64>::max();

    // Each reader's claim: every row number up to m_low (from below), down
    // to m_high (from above). Nothing is claimed while they stand at the
    // ends; a claim that reaches an end only stops its reader early.
    alignas(64) std::atomic<qint64> m_low { kMin };
    alignas(64) std::atomic<qint64> m_high { kMax };
    // Each reader's own, touched by it alone (and read by the one from
    // below once settled).
    alignas(64) qint64 m_lowClaim = kMin;
    bool m_lowClaimed = false;
    bool m_settled = false;
    alignas(64) qint64 m_highClaim = kMax;
    qint64 m_highLowest = kMax; // the lowest row number the reader from above took
    bool m_highClaimed = false;
    bool m_highTook = false;
};
