#include "ac3_reader.h"

#include <cerrno>
#include <cstring>

#include "ac3/bitstream.h"
#include "failure.h"

namespace qelp {

CAc3Reader::CAc3Reader(Failure& failure) : failure_(failure) { ac3::decoder_reset(decoder_); }

CAc3Reader::~CAc3Reader() { close_input(); }

bool CAc3Reader::input_exhausted() const {
  return input_.ended && ac3::input_bytes_consumed(decoder_) >= input_.real_bytes;
}

bool CAc3Reader::frame_within_input() const { return ac3::last_sync_end(decoder_) <= input_.real_bytes; }

int CAc3Reader::start(const char* path) {
  close_input();
  input_.file = std::fopen(path, "rb");
  input_.real_bytes = 0;
  input_.ended = false;
  probe_pending_ = false;
  if (input_.file == nullptr) {
    failure_.set(QELP_ERR_INPUT, "Cannot open %s: %s", path, std::strerror(errno));
    return 0;
  }

  ac3::decoder_reset(decoder_);
  ac3::decoder_config config{};
  config.flags = 0;
  config.fill = file_fill_callback;
  config.fill_user = &input_;
  config.output_channels = 2;
  config.dual_mono_channel = 0;
  ac3::decoder_init(decoder_, config);
  // The probe frame is delivered, so it is folded down as this conversion asks.
  decoder_.surround_mode = surround;

  const ac3::decoded_frame* probe = ac3::decode_one_frame(decoder_);
  sampling_rate = static_cast<int32_t>(probe->sampling_rate);
  if (frame_within_input()) {
    std::memcpy(probe_pcm_, probe->pcm, sizeof probe_pcm_);
    probe_pending_ = true;
  }
  return 1;
}

int CAc3Reader::next_frame(uint8_t* dest) {
  if (probe_pending_) {
    probe_pending_ = false;
    std::memcpy(dest, probe_pcm_, ac3::kPcmFrameBytes);
    return ac3::kPcmFrameBytes;
  }
  if (input_.file != nullptr && !input_exhausted()) {
    const ac3::decoded_frame* frame = ac3::decode_one_frame(decoder_);
    if (frame_within_input()) {
      std::memcpy(dest, frame->pcm, ac3::kPcmFrameBytes);
      return ac3::kPcmFrameBytes;
    }
  }
  std::memset(dest, 0, ac3::kPcmFrameBytes);
  return 0;
}

uint32_t CAc3Reader::read_position() const {
  // The file is only read, front to back, so its position is the count of bytes read (asking the
  // stream would cost a system call per frame).
  if (input_.file == nullptr) return 0;
  return input_.real_bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(input_.real_bytes);
}

void CAc3Reader::close_input() {
  if (input_.file != nullptr) {
    std::fclose(input_.file);
    input_.file = nullptr;
  }
}

bool CAc3Reader::input_open() const { return input_.file != nullptr; }

}  // namespace qelp
