#include "controls/window_timers.h"

#include <QObject>
#include <QTimerEvent>

CWindowTimers::~CWindowTimers()
{
    for (const Entry& e : m_timers) {
        m_owner->killTimer(e.qtId);
    }
}

UINT_PTR CWindowTimers::SetTimer(UINT_PTR id, int milliseconds)
{
    KillTimer(id);
    const int qtId = m_owner->startTimer(milliseconds, Qt::PreciseTimer);
    if (qtId == 0) {
        return 0;
    }
    m_timers.push_back({id, qtId});
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

bool CWindowTimers::IsRunning(UINT_PTR id) const
{
    for (const Entry& e : m_timers) {
        if (e.id == id) {
            return true;
        }
    }
    return false;
}

bool CWindowTimers::Translate(const QTimerEvent* event, UINT_PTR* id) const
{
    for (const Entry& e : m_timers) {
        if (e.qtId == event->timerId()) {
            *id = e.id;
            return true;
        }
    }
    return false;
}
