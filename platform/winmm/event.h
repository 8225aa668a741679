// Auto-reset and manual-reset events in the manner of the Win32 kernel (CreateEventA, SetEvent,
// ResetEvent, WaitForSingleObject, CloseHandle), built on the standard library. A HANDLE made here
// is an event and nothing else; CloseHandle releases it.
#pragma once

#include "platform/win_types.h"

// The two values of BOOL (here, where the event calls take them, not with the shared types: a host's
// own Windows vocabulary may define them as macros).
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// security must be null and name null (named events are not offered). An auto-reset event
// (manual_reset FALSE) lets exactly one wait through per signal and is then clear again; a signal
// given while nobody waits is kept until the next wait.
HANDLE CreateEventA(void* security, BOOL manual_reset, BOOL initial_state, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Returns WAIT_OBJECT_0 once the event is signalled, WAIT_TIMEOUT after milliseconds (INFINITE:
// never), WAIT_FAILED for a handle that is not an open event.
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
BOOL CloseHandle(HANDLE event);

// How many threads of the process are in WaitForSingleObject right now (lets a test see the order
// of events without sleeping), and how many events are open (leak checks).
int event_waits_in_progress();
int event_live_count();
