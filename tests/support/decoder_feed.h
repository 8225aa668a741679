// A decoder of the test's own, fed bytes as the engine's fill callback would: the bytes in chunks
// of 2047, then chunks of zeros. Also loads bits straight into its frame buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ac3/decoder_state.h"

namespace decoder_test {

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string& path);

// A reset decoder (on the heap: the struct is large) with the input it is fed from. Converts to
// ac3::decoder&, so that it can be handed to the stages as it is.
class test_decoder {
 public:
  test_decoder();
  ~test_decoder();
  test_decoder(const test_decoder&) = delete;
  test_decoder& operator=(const test_decoder&) = delete;

  ac3::decoder& operator*() { return *decoder_; }
  ac3::decoder* operator->() { return decoder_.get(); }
  operator ac3::decoder&() { return *decoder_; }

  struct feed {
    std::vector<uint8_t> input;
    size_t position = 0;
    uint8_t chunk[2047];
  };

 private:
  std::unique_ptr<ac3::decoder> decoder_;
  std::unique_ptr<feed> feed_;
  friend void feed_bytes(test_decoder& d, const std::vector<uint8_t>& bytes);
};

// Makes these bytes the decoder's input from the next byte on (any rest of an earlier input is
// dropped) and installs the callback.
void feed_bytes(test_decoder& d, const std::vector<uint8_t>& bytes);

// Puts bytes into the frame buffer as if a frame body had just been loaded: the next bits_take
// returns their first bits.
void load_frame_body(test_decoder& d, const std::vector<uint8_t>& bytes);

// Writes values MSB first into a byte vector, for frame bodies built in a test.
class bit_writer {
 public:
  void put(uint32_t value, int bits);
  std::vector<uint8_t> bytes() const;   // padded with zero bits to a whole byte
  int size_bits() const { return static_cast<int>(bits_.size()); }

 private:
  std::vector<bool> bits_;
};

// Collects the decoder's diagnostic lines while it lives.
class diagnostics_capture {
 public:
  diagnostics_capture();
  ~diagnostics_capture();
  std::string out;   // stream 1
  std::string err;   // stream 2
  // How often text occurs in err.
  int count_err(const std::string& text) const;
};

}  // namespace decoder_test
