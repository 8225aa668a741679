// The WAVE output writer: every PCM frame passes through a codec stream of the codec manager and
// is appended to the file; the header is reserved at open and rewritten with the sizes at close.
// One writer is open per process at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "stream_format.h"

namespace qelp {

class COutputWavefile {
 public:
  StreamFormat format{};
  char path[1024] = {};
  std::FILE* file = nullptr;
  uint32_t total = 0;          // bytes of converted data written to the data chunk so far

  // Copies a NUL-terminated path; returns 0 (and records the failure) when it does not fit.
  int set_path(const char* p);
};

// The writer the current engine object owns.
extern COutputWavefile* g_output_wavefile;

// Asks for the format, opens the codec stream and the file, reserves the header.
// Returns 1, or 0 after recording the failure (failure.h); a cancelled chooser is QELP_ERR_CANCELLED.
// Nothing is left behind on failure.
int output_wavefile_open();

// Converts one frame and appends the result. Returns 1, or 0 when the conversion cannot go on
// (write error, codec error, size limit); the file is then still open and must be closed.
int output_wavefile_write(const uint8_t* frame);

// Flushes the codec, closes the file, rewrites the header and releases the codec stream.
// Returns 1, or 0 with the failure recorded; the file is closed and the stream released either way.
int output_wavefile_close();

// True between a successful open and the close.
bool output_wavefile_is_open();

}  // namespace qelp

namespace qelp {

// What the writer does when the output file exists already. The default asks on standard input
// (one character, "Y" or "y" to go on); a host without a console chooses one of the others.
enum class OverwritePolicy { ask, always, never };
void output_wavefile_set_overwrite_policy(OverwritePolicy policy);

}  // namespace qelp
