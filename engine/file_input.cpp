#include "file_input.h"

#include <cstring>

namespace qelp {

int file_fill_callback(void* user, uint8_t** start, uint8_t** end) {
  FileInput& in = *static_cast<FileInput*>(user);
  const uint32_t chunk = kInputChunkBytes;
  if (in.keep_head && in.source != nullptr && in.head_size < in.head_capacity) {
    // Read into the head's free room (at most a chunk); it is handed out from there below.
    const uint32_t room = in.head_capacity - in.head_size;
    in.head_size +=
        static_cast<uint32_t>(in.source->read(in.head + in.head_size, room < chunk ? room : chunk));
  }
  uint32_t n = 0;
  if (in.head_served < in.head_size) {
    const uint32_t left = in.head_size - in.head_served;
    n = left < chunk ? left : chunk;
    std::memcpy(in.chunk, in.head + in.head_served, n);
    in.head_served += n;
  }
  // While the head is kept, the file is read only into it.
  if (!in.keep_head && n < chunk && in.source != nullptr) {
    n += static_cast<uint32_t>(in.source->read(in.chunk + n, chunk - n));
  }
  in.real_bytes += n;
  if (n < chunk) {
    std::memset(in.chunk + n, 0, chunk - n);
    in.ended = true;
  }
  *start = in.chunk;
  *end = in.chunk + kInputChunkBytes;
  return 0;
}

void file_input_replay_head(FileInput& in) {
  in.keep_head = false;
  in.head_served = 0;
  in.real_bytes = 0;
  in.ended = false;
}

}  // namespace qelp
