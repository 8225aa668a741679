// Drives the decoder over bytes built in a test: a fill callback that serves them (then zeros),
// and a capture of the decoder's diagnostic lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ac3test {

// Makes bytes the decoder's input from the next byte on, in chunks of chunk_size (then chunks of
// zeros), after decoder_init. Whatever was left of an earlier input is dropped.
void decoder_feed(const std::vector<uint8_t>& bytes, size_t chunk_size = 1000);

// Collects the diagnostic lines while it lives.
class diagnostics_capture {
 public:
  diagnostics_capture();
  ~diagnostics_capture();
  diagnostics_capture(const diagnostics_capture&) = delete;
  diagnostics_capture& operator=(const diagnostics_capture&) = delete;
  // How often text occurs in what went to standard error.
  int count_err(const std::string& text) const;
  std::string out;
  std::string err;
};

}  // namespace ac3test
