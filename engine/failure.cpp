#include "failure.h"

#include <cstdarg>
#include <cstdio>

namespace {

int g_code = QELP_OK;
char g_text[1400];

}  // namespace

namespace qelp {

void failure_set(int code, const char* format, ...) {
  g_code = code;
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_text, sizeof g_text, format, args);
  va_end(args);
}

void failure_clear() {
  g_code = QELP_OK;
  g_text[0] = '\0';
}

int failure_code() { return g_code; }
const char* failure_text() { return g_text; }

void take_failure(CQelpsnd& engine) {
  engine.m_lastError = g_code;
  std::snprintf(engine.m_lastErrorText, sizeof engine.m_lastErrorText, "%s", g_text);
}

}  // namespace qelp
