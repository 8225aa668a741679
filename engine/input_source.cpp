#include "input_source.h"

#include <cstring>

namespace qelp {

size_t InputSource::read(uint8_t* dest, size_t n) {
  size_t copied = 0;
  if (peek_served_ < peek_size_) {
    const size_t left = peek_size_ - peek_served_;
    copied = left < n ? left : n;
    std::memcpy(dest, peek_ + peek_served_, copied);
    peek_served_ += copied;
  }
  if (copied < n) {
    const size_t more = fetch(dest + copied, n - copied);
    fetched_ += more;
    copied += more;
  }
  return copied;
}

size_t InputSource::peek_start() {
  if (peek_size_ == 0 && peek_served_ == 0) {
    peek_size_ = fetch(peek_, kPeekBytes);
    fetched_ += peek_size_;
  }
  return peek_size_;
}

RawFileSource::~RawFileSource() {
  if (file_ != nullptr) std::fclose(file_);
}

size_t RawFileSource::fetch(uint8_t* dest, size_t n) {
  const size_t got = std::fread(dest, 1, n, file_);
  position_ += got;
  return got;
}

}  // namespace qelp
