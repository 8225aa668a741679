// Feeds bytes to the decoder's bit reader as the engine's fill callback would: the bytes in
// chunks of 2047, then chunks of zeros. Also loads bits straight into the frame buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace decoder_test {

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string& path);

// Makes these bytes the decoder's input from the next byte on (any rest of an earlier input is
// dropped) and installs the callback.
void feed_bytes(const std::vector<uint8_t>& bytes);

// Puts bytes into the frame buffer as if a frame body had just been loaded: the next bits_take
// returns their first bits.
void load_frame_body(const std::vector<uint8_t>& bytes);

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
