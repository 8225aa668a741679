// Where a failure is recorded: a QelpsndError code and a line that says what failed and which file.
// An engine object's record is its m_lastError / m_lastErrorText; the reader, the writer and the
// player it owns write there directly, at the place where the failure happens. The normalizer's
// worker, which runs on a thread of its own, writes into its run's outcome, and the engine object
// takes that over on the caller's thread (GetNormExit).
#pragma once

#include <cstddef>
#include <cstdint>

#include "qelpsnd.h"

namespace qelp {

class Failure {
 public:
  // Records into code and text (size bytes, text NUL-terminated).
  Failure(int32_t& code, char* text, size_t size) : code_(code), text_(text), size_(size) {}
  Failure(const Failure&) = delete;
  Failure& operator=(const Failure&) = delete;

  void set(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void clear();
  int code() const { return code_; }
  const char* text() const { return text_; }

 private:
  int32_t& code_;
  char* text_;
  size_t size_;
};

// A record of its own, for work that belongs to no engine object (and for tests).
struct FailureRecord {
  int32_t code = QELP_OK;
  char text[1400] = "";
  Failure failure{code, text, sizeof text};

  FailureRecord() = default;
  FailureRecord(const FailureRecord&) = delete;
  FailureRecord& operator=(const FailureRecord&) = delete;
};

}  // namespace qelp
