#include "stop_signals.h"

#include <signal.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) { g_stop = 1; }

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

bool stop_requested() { return g_stop != 0; }
