#include "failure.h"

#include <cstdarg>
#include <cstdio>

namespace qelp {

void Failure::set(int code, const char* format, ...) {
  // The text may be formatted from the record's own earlier text: format into a copy first.
  char line[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  code_ = code;
  std::snprintf(text_, size_, "%s", line);
}

void Failure::clear() {
  code_ = QELP_OK;
  if (size_ > 0) text_[0] = '\0';
}

}  // namespace qelp
