// Window timers with identifiers of the caller's choosing, on top of Qt's object timers.
//
// Qt picks its own timer ids; the controls and the dialog keep Win32's fixed identifiers (100 for
// the progress animation, 275 for the conversion, 1 for flashing). The owner forwards its timer
// events through Dispatch and acts only on identifiers it set.
//
// A timer keeps the rhythm it was set with: tick k is due k periods after SetTimer. A handler that
// takes longer than the period does not push the next tick a whole period further (as a Qt timer
// restarted from the end of the handler would): the next tick comes on the next pass of the event
// loop, after the paints and input waiting there. Ticks missed meanwhile are not made up.
#pragma once

#include <Qt>
#include <chrono>
#include <functional>
#include <vector>

#include "controls/gdi_types.h"

class QObject;
class QTimerEvent;

class CWindowTimers {
public:
    using Clock = std::chrono::steady_clock;

    explicit CWindowTimers(QObject* owner) : m_owner(owner) {}
    CWindowTimers(const CWindowTimers&) = delete;
    CWindowTimers& operator=(const CWindowTimers&) = delete;
    ~CWindowTimers();

    // Starts (or restarts, as SetTimer does for an identifier already running) a repeating timer.
    // Returns the identifier, or 0 when Qt could not start it.
    UINT_PTR SetTimer(UINT_PTR id, int milliseconds);
    BOOL KillTimer(UINT_PTR id);
    bool IsRunning(UINT_PTR id) const;

    // For a timer event of a timer set here: runs handler with its identifier, then arms the timer
    // for its next tick, and returns true. False (and nothing run) for other timer events.
    bool Dispatch(const QTimerEvent* event, const std::function<void(UINT_PTR)>& handler);

    // The Qt timer behind an identifier and the milliseconds it was last armed with (-1 when the
    // identifier is not running), for tests.
    int QtTimerId(UINT_PTR id) const;
    int ArmedInterval(UINT_PTR id) const;
    // Replaces the clock (tests step time by hand); nullptr restores the steady clock.
    void SetClock(Clock::time_point (*now)()) { m_now = now != nullptr ? now : &Clock::now; }

private:
    struct Entry {
        UINT_PTR id;
        int qtId;
        int period;           // ms
        int armed;            // ms the Qt timer runs with now
        Clock::time_point due;  // when the next tick is due
    };
    Entry* find(UINT_PTR id);
    const Entry* find(UINT_PTR id) const;
    void arm_next(Entry& e);

    QObject* m_owner;
    std::vector<Entry> m_timers;
    Clock::time_point (*m_now)() = &Clock::now;
};
