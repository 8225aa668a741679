// The engine's own trace (its diagnostics), shown with --debug only.
#include <cstdio>

#include "commands.h"
#include "qelpsnd.h"

namespace {

void to_stderr(int, const char* text, void*) { std::fputs(text, stderr); }
void discard(int, const char*, void*) {}

}  // namespace

void show_engine_trace(bool on) { qelpsnd_set_diagnostics(on ? to_stderr : discard, nullptr); }
