// Where the decoder's bytes come from: the AC-3 stream of an input, whatever holds it — a raw AC-3
// file or pipe, the IEC 61937 bursts of a WAVE file, or a track of a container that the demuxing
// module reads. The reader's fill callback takes the stream from here, so the decoder and
// everything after it see a raw AC-3 stream in every case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "failure.h"

namespace qelp {

class InputSource {
 public:
  InputSource() = default;
  virtual ~InputSource() = default;
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  // Copies up to n bytes of the AC-3 stream into dest: those peek_start kept first, then more.
  // Fewer than n only at the end of the stream or when the file cannot be read further.
  size_t read(uint8_t* dest, size_t n);

  // Reads the stream's first bytes (at most kPeekBytes) and keeps them for read; returns how many
  // there are, at peeked().
  size_t peek_start();
  const uint8_t* peeked() const { return peek_; }

  // Bytes of the file consumed so far, a container's own bytes included: the read position that
  // progress is measured by.
  virtual uint64_t position() const = 0;

  // Bytes of the stream taken from the file so far (peeked or read); position() covers them.
  uint64_t fetched() const { return fetched_; }

  // Two of the largest E-AC-3 frames (4096 bytes): room to confirm a first frame by the next one's
  // sync word. Kept small, as the input is otherwise read only as the decoder asks.
  static constexpr size_t kPeekBytes = 8192;

 protected:
  // The stream's next bytes, as read promises them.
  virtual size_t fetch(uint8_t* dest, size_t n) = 0;

 private:
  uint8_t peek_[kPeekBytes];
  size_t peek_size_ = 0;
  size_t peek_served_ = 0;
  uint64_t fetched_ = 0;
};

// A raw AC-3 stream: the file's bytes as they are (the standard input for "-").
class RawFileSource final : public InputSource {
 public:
  explicit RawFileSource(std::FILE* file) : file_(file) {}
  ~RawFileSource() override;
  uint64_t position() const override { return position_; }

 protected:
  size_t fetch(uint8_t* dest, size_t n) override;

 private:
  std::FILE* file_;
  uint64_t position_ = 0;
};

// Which stream of the input to take: 0 the first AC-3 track (a raw stream's only one), else the
// audio track with that number, counted from 1 in the container's order as qelp info lists them.
struct TrackChoice {
  int32_t track = 0;
};

// Opens path ("-": the standard input, always taken as a raw AC-3 stream) and finds the AC-3 stream
// to decode: by content, a raw AC-3 stream (whatever the file's name), a WAVE file of IEC 61937
// bursts, or a container file (through the demuxing module, loaded here on first need). Refuses
// streams in codecs other than AC-3 (E-AC-3, DTS, TrueHD, AAC, ...) with a line naming the codec.
// Returns the source, or nullptr with the reason recorded in failure (QELP_ERR_INPUT, or
// QELP_ERR_MEMORY). name is how the input is called in messages.
std::unique_ptr<InputSource> open_input_source(const char* path, const char* name, TrackChoice choice,
                                               Failure& failure);

}  // namespace qelp
