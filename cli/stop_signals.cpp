#include "stop_signals.h"

#include <signal.h>

#include <atomic>
#include <initializer_list>

namespace {

// Set by the handler and read by every thread of a batch converted side by side: an atomic, which
// a handler may store to when it is lock-free.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void on_stop_signal(int) { g_stop.store(true, std::memory_order_relaxed); }

}  // namespace

void install_stop_signals() {
  struct sigaction stop {};
  stop.sa_handler = on_stop_signal;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal_number, &stop, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

bool stop_requested() { return g_stop.load(std::memory_order_relaxed); }
