#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "qelpsnd.h"

namespace {

QelpsndDiagnosticSink g_sink = nullptr;
void* g_sink_user = nullptr;
bool g_stdout_busy = false;

void emit(int stream, const char* format, va_list args) {
  if (g_sink == nullptr) {
    std::vfprintf(stream == 1 && !g_stdout_busy ? stdout : stderr, format, args);
    return;
  }
  char line[2048];
  std::vsnprintf(line, sizeof line, format, args);
  g_sink(stream, line, g_sink_user);
}

}  // namespace

namespace qelp {

void diag_out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(1, format, args);
  va_end(args);
}

void diag_standard_output_busy(bool busy) { g_stdout_busy = busy; }

void diag_err(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(2, format, args);
  va_end(args);
}

}  // namespace qelp

extern "C" void qelpsnd_set_diagnostics(QelpsndDiagnosticSink sink, void* user) {
  g_sink = sink;
  g_sink_user = user;
}
