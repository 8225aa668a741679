#include "file_input.h"

#include <cstring>

namespace qelp {

int file_fill_callback(void* user, uint8_t** start, uint8_t** end) {
  FileInput& in = *static_cast<FileInput*>(user);
  const size_t n = in.file != nullptr ? std::fread(in.chunk, 1, kInputChunkBytes, in.file) : 0;
  in.real_bytes += n;
  if (n < static_cast<size_t>(kInputChunkBytes)) {
    std::memset(in.chunk + n, 0, kInputChunkBytes - n);
    in.ended = true;
  }
  *start = in.chunk;
  *end = in.chunk + kInputChunkBytes;
  return 0;
}

}  // namespace qelp
