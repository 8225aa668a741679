#include "iec61937_source.h"

namespace qelp {

namespace {

constexpr uint16_t kPa = 0xF872;
constexpr uint16_t kPb = 0x4E1F;
constexpr int kTypeNull = 0;
constexpr int kTypeAc3 = 1;
constexpr int kTypePause = 3;

}  // namespace

Iec61937Source::Iec61937Source(std::FILE* file, uint64_t data_offset, uint64_t data_size)
    : file_(file), position_(data_offset), data_left_(data_size) {
  if (std::fseek(file_, static_cast<long>(data_offset), SEEK_SET) != 0) ended_ = true;
}

Iec61937Source::~Iec61937Source() {
  if (file_ != nullptr) std::fclose(file_);
}

bool Iec61937Source::next_word(uint16_t& word) {
  if (buffer_at_ + 2 > buffer_size_) {
    // Keep an odd byte left over, then fill the rest of the buffer from the data.
    const size_t keep = buffer_size_ - buffer_at_;
    if (keep != 0) buffer_[0] = buffer_[buffer_at_];
    buffer_at_ = 0;
    buffer_size_ = keep;
    size_t want = sizeof buffer_ - keep;
    if (data_left_ < want) want = static_cast<size_t>(data_left_);
    const size_t got = want != 0 ? std::fread(buffer_ + keep, 1, want, file_) : 0;
    position_ += got;
    data_left_ -= got;
    buffer_size_ += got;
    if (got < want) data_left_ = 0;  // the file ended (or failed) before the header said
    if (buffer_size_ < 2) return false;
  }
  word = static_cast<uint16_t>(buffer_[buffer_at_] | buffer_[buffer_at_ + 1] << 8);
  buffer_at_ += 2;
  return true;
}

bool Iec61937Source::next_burst() {
  uint16_t word = 0;
  bool after_pa = false;
  while (next_word(word)) {
    if (!after_pa) {
      after_pa = word == kPa;
      continue;
    }
    after_pa = word == kPa;
    if (word != kPb) continue;
    uint16_t pc = 0;
    uint16_t pd = 0;
    if (!next_word(pc) || !next_word(pd)) return false;
    const int type = pc & 0x1F;
    if (type == kTypeAc3) {
      seen_ac3_ = true;
      payload_left_ = (static_cast<uint32_t>(pd) + 7) / 8;
      if (payload_left_ != 0) return true;
    } else if (type != kTypeNull && type != kTypePause && !seen_ac3_) {
      foreign_type_ = type;
      return false;
    }
  }
  return false;
}

size_t Iec61937Source::fetch(uint8_t* dest, size_t n) {
  size_t copied = 0;
  while (copied < n) {
    if (odd_byte_held_) {
      dest[copied++] = held_byte_;
      odd_byte_held_ = false;
      continue;
    }
    if (payload_left_ == 0) {
      if (ended_ || !next_burst()) {
        ended_ = true;
        break;
      }
    }
    uint16_t word = 0;
    if (!next_word(word)) {
      ended_ = true;
      break;
    }
    // The stream's byte order inside a little-endian word: the high byte comes first.
    dest[copied++] = static_cast<uint8_t>(word >> 8);
    --payload_left_;
    if (payload_left_ != 0) {
      held_byte_ = static_cast<uint8_t>(word & 0xFF);
      odd_byte_held_ = true;
      --payload_left_;
    }
  }
  return copied;
}

}  // namespace qelp
