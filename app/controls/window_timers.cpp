#include "controls/window_timers.h"

#include <QObject>
#include <QTimerEvent>
#include <algorithm>

CWindowTimers::~CWindowTimers()
{
    for (const Entry& e : m_timers) {
        m_owner->killTimer(e.qtId);
    }
}

UINT_PTR CWindowTimers::SetTimer(UINT_PTR id, int milliseconds)
{
    KillTimer(id);
    const int period = milliseconds > 0 ? milliseconds : 0;
    const int qtId = m_owner->startTimer(period, Qt::PreciseTimer);
    if (qtId == 0) {
        return 0;
    }
    m_timers.push_back({id, qtId, period, period, m_now() + std::chrono::milliseconds(period)});
    return id;
}

BOOL CWindowTimers::KillTimer(UINT_PTR id)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->id == id) {
            m_owner->killTimer(it->qtId);
            m_timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

bool CWindowTimers::IsRunning(UINT_PTR id) const { return find(id) != nullptr; }

CWindowTimers::Entry* CWindowTimers::find(UINT_PTR id)
{
    for (Entry& e : m_timers) {
        if (e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

const CWindowTimers::Entry* CWindowTimers::find(UINT_PTR id) const
{
    for (const Entry& e : m_timers) {
        if (e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

int CWindowTimers::QtTimerId(UINT_PTR id) const
{
    const Entry* e = find(id);
    return e != nullptr ? e->qtId : 0;
}

int CWindowTimers::ArmedInterval(UINT_PTR id) const
{
    const Entry* e = find(id);
    return e != nullptr ? e->armed : -1;
}

bool CWindowTimers::Dispatch(const QTimerEvent* event, const std::function<void(UINT_PTR)>& handler)
{
    UINT_PTR id = 0;
    bool ours = false;
    for (const Entry& e : m_timers) {
        if (e.qtId == event->timerId()) {
            id = e.id;
            ours = true;
            break;
        }
    }
    if (!ours) {
        return false;
    }
    const int qtId = event->timerId();
    handler(id);
    // The handler may have stopped the timer or set it anew; then it is armed already.
    Entry* e = find(id);
    if (e != nullptr && e->qtId == qtId) {
        arm_next(*e);
    }
    return true;
}

void CWindowTimers::arm_next(Entry& e)
{
    const Clock::time_point now = m_now();
    e.due += std::chrono::milliseconds(e.period);
    const bool late = e.due < now;
    if (late) {
        e.due = now;  // tick on the next pass, without making up what was missed
    }
    // A Qt timer of the whole period keeps the rhythm by itself (it counts from its own last
    // timeout); one of none keeps firing on every pass.
    if (!late && e.armed == e.period) {
        return;
    }
    const int interval = late ? 0
                              : static_cast<int>(std::min<long long>(
                                    std::chrono::ceil<std::chrono::milliseconds>(e.due - now).count(), e.period));
    if (interval == 0 && e.armed == 0) {
        return;
    }
    m_owner->killTimer(e.qtId);
    const int qtId = m_owner->startTimer(interval, Qt::PreciseTimer);
    if (qtId == 0) {
        m_timers.erase(m_timers.begin() + (&e - m_timers.data()));
        return;
    }
    e.qtId = qtId;
    e.armed = interval;
}
