// The WAVE output writer: every PCM frame passes through a codec stream of the codec manager and
// is appended to the file; the header is reserved at open and rewritten with the sizes at close.
// One writer is open per process at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "qelpsnd.h"
#include "stream_format.h"

namespace qelp {

// Converted bytes collected before one write to the file. A write failure is seen when the buffer
// is written (or at the close); the file is then cut back to the data written before it.
constexpr uint32_t kOutputStagingBytes = 65536;

class COutputWavefile {
 public:
  StreamFormat format{};
  char path[1024] = {};        // the file, or the name messages give the standard output
  bool to_standard_output = false;  // write to the standard output instead of path
  std::FILE* file = nullptr;
  uint32_t total = 0;  // bytes of converted data in the data chunk so far, written or staged

  // Copies a NUL-terminated path; returns 0 (and records the failure) when it does not fit.
  int set_path(const char* p);
};

// The writer the current engine object owns.
extern COutputWavefile* g_output_wavefile;

// Asks for the format, opens the codec stream and the file, reserves the header. The standard
// output is written as it is when it can seek (a redirection to a file: the header is rewritten
// where it began); otherwise the header goes out at once with the largest RIFF and data sizes and
// a fact count of 0 (unknown), and is never rewritten.
// Returns 1, or 0 after recording the failure (failure.h); a cancelled chooser is QELP_ERR_CANCELLED.
// Nothing is left behind on failure: no file is created or changed unless the open succeeds (an
// existing file is truncated only after the codec stream is ready and the overwrite was allowed).
// The file is held with an exclusive lock while it is open; a file locked by another writer or the
// normalizer is refused with QELP_ERR_BUSY.
int output_wavefile_open();

// Converts one frame and appends the result. Returns 1, or 0 when the conversion cannot go on
// (write error, codec error, size limit); the file is then still open and must be closed, and the
// close writes a header that matches the data written. Data is written a staging buffer at a time,
// so a write error shows at the frame that sends the buffer out, or at the close.
int output_wavefile_write(const uint8_t* frame);

// Flushes the codec (a final conversion with the END flag) and the staging buffer, rewrites the
// header, closes the file and releases the codec stream. Returns 1, or 0 with the failure recorded; the file is closed and
// the stream released either way.
int output_wavefile_close();

// True between a successful open and the close.
bool output_wavefile_is_open();

// Writes the header for the open file from the chosen format and total where the file began. A
// format other than PCM gets a fact chunk with the sample frames per channel. False (with the
// failure recorded) when it could not be written whole.
bool write_wavheader();

// What the writer does when the output file exists already. The default asks on standard input
// (one character, "Y" or "y" to go on); a host without a console chooses one of the others.
enum class OverwritePolicy { ask, always, never };
QELPSND_API void output_wavefile_set_overwrite_policy(OverwritePolicy policy);

// The most data bytes one file may hold: the 32-bit RIFF size limit for the chosen format, or a
// lower bound set for tests (0 restores the natural limit).
void output_wavefile_set_size_limit(uint32_t max_data_bytes);

// Resets the library-wide start flag and progress value as a fresh load of the library would
// (the first conversion call after load passes the START flag).
void output_wavefile_library_loaded();

}  // namespace qelp
