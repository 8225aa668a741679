// The WAVE output writer: every PCM frame passes through a codec stream of the codec manager and
// is appended to the file; a valid header goes out at open, its sizes follow the data written (a
// file cut off at any moment can be read) and the close writes the final one (on an output that
// cannot seek it goes out once, at open, with the largest sizes). Data that passes the 4 GiB RIFF
// limit make the file RF64 (the EBU's 64-bit WAVE: "RF64", a ds64 chunk with the 64-bit sizes,
// 0xFFFFFFFF in the 32-bit fields), where room for the ds64 chunk was reserved at open as a JUNK
// chunk; without that room the writer stops at the limit as before.
// Each engine object owns one writer; writers share nothing but the host's overwrite policy.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>

#include "failure.h"
#include "platform/msacm/acm_reason.h"
#include "platform/msacm/msacm.h"
#include "qelpsnd.h"
#include "stream_format.h"

namespace qelp {

// Converted bytes collected before one write to the file. A write failure is seen when the buffer
// is written (or at the close); the file is then cut back to the data written before it.
constexpr uint32_t kOutputStagingBytes = 65536;

// What the writer does when the output file exists already. The default asks on standard input
// (one character, "Y" or "y" to go on); a host without a console chooses one of the others. One
// choice for the process: the host makes it through qelpsnd_set_overwrite.
enum class OverwritePolicy { ask, always, never };
QELPSND_API void output_wavefile_set_overwrite_policy(OverwritePolicy policy);

class COutputWavefile {
 public:
  // Failures are recorded in failure (the engine object's record).
  explicit COutputWavefile(Failure& failure);
  // An open file is closed as close() would, so that it keeps a valid header.
  ~COutputWavefile();
  COutputWavefile(const COutputWavefile&) = delete;
  COutputWavefile& operator=(const COutputWavefile&) = delete;

  StreamFormat format{};
  char path[1024] = {};             // the file, or the name messages give the standard output
  bool to_standard_output = false;  // write to the standard output instead of path
  std::FILE* file = nullptr;
  uint64_t total = 0;  // bytes of converted data in the data chunk so far, written or staged

  // PCM bytes the caller expects to write (0: not known, as for a pipe). When the data they would
  // make could pass the RIFF limit of 4 GiB, open reserves room for the RF64 header with a JUNK
  // chunk; otherwise the file is laid out exactly as a plain RIFF file.
  uint64_t expected_source_bytes = 0;
  // For tests: data bytes taken as already written (a hole at the data's start, so a sparse file
  // reaches the limit cheaply); counted in total and in the expectation above. 0 normally.
  uint64_t test_data_start = 0;

  // Copies a NUL-terminated path; returns 0 (and records the failure) when it does not fit.
  int set_path(const char* p);

  // Asks for the format, opens the codec stream and the file, reserves the header. The standard
  // output is written as it is when it can seek (a redirection to a file: the header is rewritten
  // where it began); otherwise the header goes out at once with the largest RIFF and data sizes and
  // a fact count of 0 (unknown), and is never rewritten. Returns 1, or 0 after recording the
  // failure; a cancelled chooser is QELP_ERR_CANCELLED. Nothing is left behind
  // on failure: no file is created or changed unless the open succeeds (an existing file is
  // truncated only after the codec stream is ready and the overwrite was allowed). The file is
  // held with an exclusive lock while it is open; a file locked by another writer or the
  // normalizer is refused with QELP_ERR_BUSY.
  int open();

  // Converts one frame and appends the result. Returns 1, or 0 when the conversion cannot go on
  // (write error, codec error, size limit); the file is then still open and must be closed, and the
  // close writes a header that matches the data written. Data is written a staging buffer at a
  // time, so a write error shows at the frame that sends the buffer out, or at the close.
  int write(const uint8_t* frame);

  // Flushes the codec (a final conversion with the END flag) and the staging buffer, rewrites the
  // header, closes the file and releases the codec stream. Returns 1, or 0 with the failure
  // recorded; the file is closed and the stream released either way.
  int close();

  // True between a successful open and the close.
  bool is_open() const { return open_; }

  // True when the header has room for a ds64 chunk (a JUNK chunk until the data pass the limit).
  bool rf64_room() const { return junk_reserved_; }

  // Writes the header for the open file from the chosen format and total where the file began. A
  // format other than PCM gets a fact chunk with the sample frames per channel. False (with the
  // failure recorded) when it could not be written whole.
  bool write_header();

  // The most data bytes one file may hold: the 32-bit RIFF size limit for the chosen format, or a
  // lower bound set for tests (0 restores the natural limit).
  void set_size_limit(uint32_t max_data_bytes) { size_limit_override_ = max_data_bytes; }

 private:
  bool choose_format();
  bool open_codec_stream();
  bool create_file(bool* created);
  // A stream on a descriptor just opened (see the .cpp).
  bool open_stream_on(int fd, const char* failure_text);
  bool open_standard_output();
  bool link_target_usable();
  int open_unnamed() const;
  bool publish_file(bool* created);
  bool open_device();
  bool reserve_header();
  void release_codec();
  bool has_fact() const;
  uint32_t header_bytes() const;
  // The header for data_bytes of data and fact_frames sample frames into header (room for the
  // longest); returns its size.
  uint32_t build_header(uint8_t* header, uint64_t data_bytes, uint32_t fact_frames) const;
  // Brings the sizes in the file's header up to date with the data in the file (see the .cpp).
  void refresh_header();
  uint32_t riff_header_bytes() const;
  uint64_t natural_limit() const;
  uint32_t fact_sample_frames() const;
  uint64_t size_limit() const;
  void acm_failure(const char* headline, AcmCall call, MMRESULT code, int failure, const char* what);
  bool write_to_file(const uint8_t* data, DWORD count);
  bool flush_staged();
  bool append_data(const uint8_t* data, DWORD count);
  bool convert_once(DWORD offer, DWORD extra_flags, DWORD* consumed, DWORD* produced);
  void report_progress();
  bool overwrite_allowed() const;

  Failure& failure_;
  WAVEFORMATEX* chosen_format_ = nullptr;  // the chooser's format with its extra bytes
  WAVEFORMATEX source_format_{};
  HACMSTREAM stream_ = nullptr;
  ACMSTREAMHEADER stream_header_{};
  bool stream_header_prepared_ = false;
  uint8_t* destination_ = nullptr;  // the codec's output of one call
  DWORD suggested_ = 0;             // its size as the codec suggests it
  DWORD pending_ = 0;               // source bytes in source_area_ not yet taken by the codec
  DWORD staged_ = 0;                // converted bytes in staging_, all whole codec output
  uint64_t in_file_ = 0;            // data bytes that have reached the file
  bool start_flag_ = true;          // the next conversion call is this writer's first
  uint64_t last_progress_ = 0;      // total >> 16 at the last progress line
  bool junk_reserved_ = false;      // the header holds a JUNK chunk: room for ds64
  bool open_ = false;
  bool stopped_ = false;  // a write failed or the size limit was reached: nothing more is written
  uint32_t size_limit_override_ = 0;
  bool seekable_ = true;           // the header can be rewritten at the close
  off_t header_offset_ = 0;        // where the header begins (the standard output may not be at 0)
  uint64_t source_frames_ = 0;     // PCM sample frames offered to the codec, for the fact chunk
  bool claimed_stdout_ = false;    // the diagnostics keep off the standard output for this writer
  bool unnamed_ = false;           // the new file has no name yet (publish_file gives it)
  bool cut_after_header_ = false;  // an existing file: cut to the header once it is written
  uint8_t source_area_[98304];     // sixteen PCM frames
  uint8_t staging_[kOutputStagingBytes];
};

}  // namespace qelp
