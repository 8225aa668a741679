#include "platform/winmm/event.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace {

constexpr uint32_t kEventMagic = 0x45564e54;  // tells an open event from anything else

struct event_object {
  uint32_t magic = kEventMagic;
  std::mutex lock;
  std::condition_variable signalled_cv;
  bool manual_reset = false;
  bool signalled = false;
};

std::atomic<int> g_live_events{0};
std::atomic<int> g_waits_in_progress{0};

event_object* as_event(HANDLE h) {
  auto* e = static_cast<event_object*>(h);
  if (e == nullptr || e->magic != kEventMagic) return nullptr;
  return e;
}

}  // namespace

HANDLE CreateEventA(void* security, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  if (security != nullptr || name != nullptr) return nullptr;
  auto* e = new (std::nothrow) event_object;
  if (e == nullptr) return nullptr;
  e->manual_reset = manual_reset != FALSE;
  e->signalled = initial_state != FALSE;
  g_live_events.fetch_add(1);
  return e;
}

BOOL SetEvent(HANDLE h) {
  event_object* e = as_event(h);
  if (e == nullptr) return FALSE;
  {
    std::lock_guard<std::mutex> guard(e->lock);
    e->signalled = true;
  }
  if (e->manual_reset) {
    e->signalled_cv.notify_all();
  } else {
    e->signalled_cv.notify_one();
  }
  return TRUE;
}

BOOL ResetEvent(HANDLE h) {
  event_object* e = as_event(h);
  if (e == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(e->lock);
  e->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  event_object* e = as_event(h);
  if (e == nullptr) return WAIT_FAILED;
  std::unique_lock<std::mutex> guard(e->lock);
  g_waits_in_progress.fetch_add(1);
  bool got = true;
  if (milliseconds == INFINITE) {
    e->signalled_cv.wait(guard, [e] { return e->signalled; });
  } else {
    got = e->signalled_cv.wait_for(guard, std::chrono::milliseconds(milliseconds), [e] { return e->signalled; });
  }
  g_waits_in_progress.fetch_sub(1);
  if (!got) return WAIT_TIMEOUT;
  if (!e->manual_reset) e->signalled = false;
  return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE h) {
  event_object* e = as_event(h);
  if (e == nullptr) return FALSE;
  e->magic = 0;
  delete e;
  g_live_events.fetch_sub(1);
  return TRUE;
}

int event_waits_in_progress() { return g_waits_in_progress.load(); }

int event_live_count() { return g_live_events.load(); }
