// Access to a PCM WAVE file (RIFF, or RF64 past 4 GiB) whose samples are rewritten in place by the normalizer: open and parse
// the header, read and write the data chunk in pieces, move within it, close.
//
// The file is opened without sharing: an exclusive advisory lock (flock) is held for as long as it
// is open, so a second opener in this or another process that uses the same lock fails at once.
// Each routine returns 1 on success; on failure it records why in the file's own error fields
// (pcmwav_error_text and the others) and returns 0.
#pragma once

#include <cstdint>

namespace qelp {

struct pcmwav_file {
  int16_t channels = 0;
  int32_t sampling_rate = 0;
  int32_t bits = 0;            // 8 or 16
  uint64_t data_size = 0;      // byte length of the data chunk as its header (or an RF64 file's
                               // ds64 chunk) states it
  int handle = -1;             // file descriptor, locked exclusively while open
  int32_t data_offset = 0;     // file position of the first data byte

  // The last failure of a routine on this file. Large enough for the longest message with a path
  // of 2047 bytes, so the file name is never cut.
  int32_t error_code = 0;  // a QelpsndError
  char error_text[2304] = {};
  char error_reason[256] = {};
};

enum class pcmwav_access { read, read_write };

int pcmwav_open(const char* path, pcmwav_access access, pcmwav_file* file);
int pcmwav_read(pcmwav_file* file, void* buffer, uint32_t n);
int pcmwav_write(pcmwav_file* file, const void* buffer, uint32_t n);
int pcmwav_rewind(pcmwav_file* file);
int pcmwav_seek(pcmwav_file* file, int32_t delta);
// Moves to offset bytes into the data chunk.
int pcmwav_seek_data(pcmwav_file* file, uint64_t offset);
// Closes the handle (releasing the lock); 0 when the system reports that the close failed.
int pcmwav_close(pcmwav_file* file);

// Size of the open file in bytes, or -1 when it cannot be learned.
int64_t pcmwav_file_size(const pcmwav_file* file);

// The text of the file's last failure, formatted by the routine that failed.
const char* pcmwav_error_text(const pcmwav_file* file);
// Why the last routine on the file failed: a QelpsndError code (QELP_ERR_BUSY when another opener
// holds the lock, QELP_ERR_INPUT when the file cannot be opened, read or parsed, QELP_ERR_OUTPUT
// when it cannot be written) and, for a failed open, read or write, the system's reason ("" otherwise).
int pcmwav_error_code(const pcmwav_file* file);
const char* pcmwav_error_reason(const pcmwav_file* file);

}  // namespace qelp
