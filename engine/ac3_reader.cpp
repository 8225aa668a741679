#include "ac3_reader.h"

#include <cerrno>
#include <cstring>

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
uint64_t g_file_offset = 0;       // bytes read from the current file: its read position
uint8_t* g_memory_area = nullptr;
int g_memory_length = 0;
ac3::decoded_frame* g_last_frame = nullptr;

// The probe frame's PCM, delivered by the first next_frame so that the stream's first frame is kept.
uint8_t g_probe_pcm[ac3::kPcmFrameBytes];
bool g_probe_pending = false;

// The decoder has used up every real byte of the file: what is left is the zero padding.
bool input_exhausted() {
  return end_of_input && ac3::input_bytes_consumed() >= g_real_bytes;
}

// The frame just decoded began with a sync word inside the file's real bytes.
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

}  // namespace

int file_fill_callback(uint8_t** start, uint8_t** end) {
  *start = g_chunk;
  size_t n = g_input != nullptr ? std::fread(g_chunk, 1, kInputChunkBytes, g_input) : 0;
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

int CAc3Reader::start(const char* path, uint8_t* memory_area) {
  close_input();
  g_input = std::fopen(path, "rb");
  g_file_offset = 0;
  end_of_input = false;
  g_probe_pending = false;
  if (g_input == nullptr) {
    failure_set(QELP_ERR_INPUT, "Cannot open %s: %s", path, std::strerror(errno));
    return 0;
  }
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

  g_last_frame = ac3::decode_one_frame();
  sampling_rate = static_cast<int32_t>(g_last_frame->sampling_rate);
  if (frame_within_input()) {
    std::memcpy(g_probe_pcm, g_last_frame->pcm, sizeof g_probe_pcm);
    g_probe_pending = true;
  }
  init_decoder(surround);
  return 1;
}

int CAc3Reader::next_frame(uint8_t* memory_area, int length, uint8_t* dest) {
  memory_input_set(memory_area, length);
  if (g_probe_pending) {
    g_probe_pending = false;
    std::memcpy(dest, g_probe_pcm, ac3::kPcmFrameBytes);
    return ac3::kPcmFrameBytes;
  }
  if (g_input != nullptr && !input_exhausted()) {
    g_last_frame = ac3::decode_one_frame();
    if (frame_within_input()) {
      std::memcpy(dest, g_last_frame->pcm, ac3::kPcmFrameBytes);
      return ac3::kPcmFrameBytes;
    }
  }
  std::memset(dest, 0, ac3::kPcmFrameBytes);
  return 0;
}

uint32_t CAc3Reader::read_position() const {
  // The file is only read, front to back, so its position is the count of bytes read (asking the
  // stream would cost a system call per frame).
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
