// A most-significant-bit-first bit writer for building AC-3 frames in tests.
#pragma once

#include <cstdint>
#include <vector>

namespace ac3test {

class bit_writer {
 public:
  // Appends the low `width` bits of value (0..32), most significant first. Throws when value does
  // not fit in width bits, so that a test cannot silently write a truncated field.
  void put(uint32_t value, int width);

  // Appends zero bits until position() equals bit_position (which must not lie behind it).
  void pad_to(int bit_position);

  // Bits written so far.
  int position() const { return bits_; }

  // The bytes written; a partial last byte is padded with zero bits.
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int bits_ = 0;
};

}  // namespace ac3test
