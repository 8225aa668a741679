// The library-wide record of the last failure: a QelpsndError code and a line naming the file.
// Routines inside the library record a failure here and return 0; the engine copies it into the
// caller's object.
#pragma once

#include "qelpsnd.h"

namespace qelp {

void failure_set(int code, const char* format, ...) __attribute__((format(printf, 2, 3)));
void failure_clear();
int failure_code();
const char* failure_text();

// Copies the last failure into an engine object's m_lastError and m_lastErrorText.
void take_failure(CQelpsnd& engine);

}  // namespace qelp
