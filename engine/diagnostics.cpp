#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "qelpsnd.h"

namespace {

// The host's sink (qelpsnd_set_diagnostics), one for the process. Lines come from every engine
// object's thread and the normalizer workers: the pair is read under the lock and called outside
// it, so that a sink may take its time (or wait) without holding up the others' lines. Without a
// sink, lines go to the standard output and error, the standard output's to standard error while
// some writer sends audio there.
struct DiagnosticTarget {
  QelpsndDiagnosticSink sink = nullptr;
  void* user = nullptr;
  int audio_on_stdout = 0;  // writers whose audio goes to the standard output now
};
std::mutex g_target_lock;
DiagnosticTarget g_target;

DiagnosticTarget current_target() {
  std::lock_guard<std::mutex> guard(g_target_lock);
  return g_target;
}

void emit(int stream, const char* format, va_list args) {
  const DiagnosticTarget target = current_target();
  if (target.sink == nullptr) {
    std::vfprintf(stream == 1 && target.audio_on_stdout == 0 ? stdout : stderr, format, args);
    return;
  }
  char line[2048];
  std::vsnprintf(line, sizeof line, format, args);
  target.sink(stream, line, target.user);
}

}  // namespace

namespace qelp {

void diag_out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(1, format, args);
  va_end(args);
}

void diag_standard_output_claim() {
  std::lock_guard<std::mutex> guard(g_target_lock);
  ++g_target.audio_on_stdout;
}

void diag_standard_output_release() {
  std::lock_guard<std::mutex> guard(g_target_lock);
  if (g_target.audio_on_stdout > 0) --g_target.audio_on_stdout;
}

void diag_err(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(2, format, args);
  va_end(args);
}

}  // namespace qelp

extern "C" void qelpsnd_set_diagnostics(QelpsndDiagnosticSink sink, void* user) {
  std::lock_guard<std::mutex> guard(g_target_lock);
  g_target.sink = sink;
  g_target.user = user;
}
