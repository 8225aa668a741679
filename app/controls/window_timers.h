// Window timers with identifiers of the caller's choosing, on top of Qt's object timers.
//
// Qt picks its own timer ids; the controls and the dialog keep Win32's fixed identifiers (100 for
// the progress animation, 275 for the conversion, 1 for flashing). The owner forwards its timer
// events through Translate and acts only on identifiers it set.
#pragma once

#include <Qt>
#include <vector>

#include "controls/gdi_types.h"

class QObject;
class QTimerEvent;

class CWindowTimers {
public:
    explicit CWindowTimers(QObject* owner) : m_owner(owner) {}
    CWindowTimers(const CWindowTimers&) = delete;
    CWindowTimers& operator=(const CWindowTimers&) = delete;
    ~CWindowTimers();

    // Starts (or restarts, as SetTimer does for an identifier already running) a repeating timer.
    // Returns the identifier, or 0 when Qt could not start it.
    UINT_PTR SetTimer(UINT_PTR id, int milliseconds);
    BOOL KillTimer(UINT_PTR id);
    bool IsRunning(UINT_PTR id) const;

    // The window timer a Qt timer event belongs to; false for timers not set here.
    bool Translate(const QTimerEvent* event, UINT_PTR* id) const;

private:
    struct Entry {
        UINT_PTR id;
        int qtId;
    };
    QObject* m_owner;
    std::vector<Entry> m_timers;
};
