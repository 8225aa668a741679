#include "support/ac3_bit_writer.h"

#include <stdexcept>
#include <string>

namespace ac3test {

void bit_writer::put(uint32_t value, int width) {
  if (width < 0 || width > 32) throw std::invalid_argument("bit_writer: width " + std::to_string(width));
  if (width < 32 && (value >> width) != 0) {
    throw std::invalid_argument("bit_writer: value " + std::to_string(value) + " does not fit in " +
                                std::to_string(width) + " bits");
  }
  for (int i = width - 1; i >= 0; --i) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1u) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80u >> (bits_ % 8)));
    ++bits_;
  }
}

void bit_writer::pad_to(int bit_position) {
  if (bit_position < bits_) throw std::invalid_argument("bit_writer: cannot pad backwards");
  while (bits_ < bit_position) {
    const int n = bit_position - bits_ > 32 ? 32 : bit_position - bits_;
    put(0, n);
  }
}

}  // namespace ac3test
