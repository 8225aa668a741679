#include "ac3_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "failure.h"

namespace qelp {

CAc3Reader* g_ac3_reader = nullptr;
bool end_of_input = false;
bool decoder_ready = false;

namespace {

std::FILE* g_input = nullptr;
uint8_t g_chunk[kInputChunkBytes];
uint64_t g_real_bytes = 0;        // input bytes handed to the decoder so far (counted since load)
uint64_t g_file_offset = 0;       // bytes of the current input handed to the decoder
uint8_t* g_memory_area = nullptr;
int g_memory_length = 0;
ac3::decoded_frame* g_last_frame = nullptr;

// The head: the input's first bytes, read ahead for the start-up check and handed to the decoder
// before the rest.
std::unique_ptr<uint8_t[]> g_head;
uint32_t g_head_size = 0;
uint32_t g_head_served = 0;

// The probe frame's PCM, delivered by the first next_frame so that the stream's first frame is kept.
uint8_t g_probe_pcm[ac3::kPcmFrameBytes];
bool g_probe_pending = false;

// The decoder has used up every real byte of the input: what is left is the zero padding.
bool input_exhausted() {
  return end_of_input && ac3::input_bytes_consumed() >= g_real_bytes;
}

// The frame just decoded began with a sync word inside the input's real bytes.
bool frame_within_input() {
  return ac3::last_sync_end() <= g_real_bytes;
}

void init_decoder(int32_t surround) {
  ac3::surround_mode = surround;
  ac3::decoder_config config{};
  config.flags = 0;
  config.fill = g_input != nullptr ? file_fill_callback : memory_fill_callback;
  config.output_channels = 2;
  config.dual_mono_channel = 0;
  ac3::decoder_init(config);
}

const char* input_name(const char* path) { return is_standard_stream(path) ? "standard input" : path; }

}  // namespace

bool is_standard_stream(const char* path) { return path != nullptr && std::strcmp(path, "-") == 0; }

int file_fill_callback(uint8_t** start, uint8_t** end) {
  *start = g_chunk;
  size_t n = 0;
  if (g_head_served < g_head_size) {
    const uint32_t left = g_head_size - g_head_served;
    n = left < static_cast<uint32_t>(kInputChunkBytes) ? left : static_cast<uint32_t>(kInputChunkBytes);
    std::memcpy(g_chunk, g_head.get() + g_head_served, n);
    g_head_served += static_cast<uint32_t>(n);
  }
  if (n < static_cast<size_t>(kInputChunkBytes) && g_input != nullptr) {
    n += std::fread(g_chunk + n, 1, kInputChunkBytes - n, g_input);
  }
  g_real_bytes += n;
  g_file_offset += n;
  if (n < static_cast<size_t>(kInputChunkBytes)) {
    std::memset(g_chunk + n, 0, kInputChunkBytes - n);
    end_of_input = true;
  }
  *end = g_chunk + kInputChunkBytes;
  return 0;
}

int memory_fill_callback(uint8_t** start, uint8_t** end) {
  *start = g_memory_area;
  *end = g_memory_area + g_memory_length;
  return 0;
}

void memory_input_set(uint8_t* area, int length) {
  g_memory_area = area;
  g_memory_length = length;
}

CAc3Reader::CAc3Reader() {
  end_of_input = false;
  decoder_ready = false;
}

CAc3Reader::~CAc3Reader() = default;

int CAc3Reader::open_input(const char* path) {
  close_input();
  g_head_size = 0;
  g_head_served = 0;
  g_file_offset = 0;
  if (!g_head) {
    g_head.reset(new (std::nothrow) uint8_t[kInputHeadBytes]);
    if (!g_head) {
      failure_set(QELP_ERR_MEMORY, "Out of memory while opening %s", input_name(path));
      return 0;
    }
  }
  if (is_standard_stream(path)) {
    // A duplicate, so that closing the input leaves the process's standard input alone.
    const int fd = dup(STDIN_FILENO);
    g_input = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (g_input == nullptr && fd >= 0) close(fd);
  } else {
    g_input = std::fopen(path, "rb");
  }
  if (g_input == nullptr) {
    failure_set(QELP_ERR_INPUT, "Cannot open %s: %s", input_name(path), std::strerror(errno));
    return 0;
  }
  return 1;
}

size_t CAc3Reader::read_ahead(uint8_t* into, size_t count) {
  if (g_input == nullptr || !g_head) return 0;
  const uint32_t room = kInputHeadBytes - g_head_size;
  const size_t n = std::fread(g_head.get() + g_head_size, 1, count < room ? count : room, g_input);
  std::memcpy(into, g_head.get() + g_head_size, n);
  g_head_size += static_cast<uint32_t>(n);
  return n;
}

bool CAc3Reader::take_frame(uint64_t consumed_before) {
  if (!frame_within_input()) {
    // The search ran into the padding behind the input, or gave up with input left: the real
    // bytes it read are passed over; behind the last frame only when the input had ended.
    const uint64_t consumed = ac3::input_bytes_consumed();
    const uint64_t end = consumed < g_real_bytes ? consumed : g_real_bytes;
    if (end > consumed_before) {
      bytes_skipped += end - consumed_before;
      if (input_exhausted()) bytes_after_last += end - consumed_before;
    }
    return false;
  }
  const uint64_t sync_start = ac3::last_sync_end() - 2;
  if (sync_start > consumed_before) bytes_skipped += sync_start - consumed_before;
  if (g_last_frame->muted != 0) {
    if (first_muted_frame < 0) first_muted_frame = frames_delivered;
    ++frames_muted;
  }
  samples_clipped += g_last_frame->samples_clipped;
  ++frames_delivered;
  return true;
}

int CAc3Reader::start_decoding(uint8_t* memory_area) {
  end_of_input = false;
  g_probe_pending = false;
  frames_delivered = 0;
  frames_muted = 0;
  first_muted_frame = -1;
  bytes_skipped = 0;
  bytes_after_last = 0;
  samples_clipped = 0;
  memory_input_set(memory_area, kMemoryInputBytes);
  // What is left of an earlier input's last chunk must not be read as part of this file.
  ac3::chunk_discard();
  g_real_bytes = ac3::input_bytes_consumed();

  if (!decoder_ready) {
    init_decoder(surround);
    decoder_ready = true;
  }
  // The probe frame is delivered, so it is folded down as this conversion asks, not as the last one did.
  ac3::surround_mode = surround;

  const uint64_t before = ac3::input_bytes_consumed();
  g_last_frame = ac3::decode_one_frame();
  sampling_rate = static_cast<int32_t>(g_last_frame->sampling_rate);
  if (take_frame(before)) {
    std::memcpy(g_probe_pcm, g_last_frame->pcm, sizeof g_probe_pcm);
    g_probe_pending = true;
  }
  init_decoder(surround);
  return 1;
}

int CAc3Reader::start(const char* path, uint8_t* memory_area) {
  return open_input(path) != 0 ? start_decoding(memory_area) : 0;
}

int CAc3Reader::next_frame(uint8_t* memory_area, int length, uint8_t* dest) {
  memory_input_set(memory_area, length);
  if (g_probe_pending) {
    g_probe_pending = false;
    std::memcpy(dest, g_probe_pcm, ac3::kPcmFrameBytes);
    return ac3::kPcmFrameBytes;
  }
  if (g_input != nullptr && !input_exhausted()) {
    const uint64_t before = ac3::input_bytes_consumed();
    g_last_frame = ac3::decode_one_frame();
    if (take_frame(before)) {
      std::memcpy(dest, g_last_frame->pcm, ac3::kPcmFrameBytes);
      return ac3::kPcmFrameBytes;
    }
  }
  std::memset(dest, 0, ac3::kPcmFrameBytes);
  return 0;
}

uint32_t CAc3Reader::read_position() const {
  // The input is only read, front to back, so its position is the count of bytes handed to the
  // decoder (asking the stream would cost a system call per frame, and a pipe has none).
  if (g_input == nullptr) return 0;
  return g_file_offset > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(g_file_offset);
}

void CAc3Reader::close_input() {
  if (g_input != nullptr) {
    std::fclose(g_input);
    g_input = nullptr;
  }
}

bool CAc3Reader::input_open() const { return g_input != nullptr; }

}  // namespace qelp
