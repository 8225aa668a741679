#include "ac3_reader.h"

#include <cstring>
#include <new>

#include "ac3/bitstream.h"
#include "failure.h"
#include "input_source.h"
#include "stream_scan.h"

namespace qelp {

namespace {

const char* input_name(const char* path) { return is_standard_stream(path) ? "standard input" : path; }

}  // namespace

bool is_standard_stream(const char* path) { return path != nullptr && std::strcmp(path, "-") == 0; }

CAc3Reader::CAc3Reader(Failure& failure) : failure_(failure) { ac3::decoder_reset(decoder_); }

CAc3Reader::~CAc3Reader() { close_input(); }

bool CAc3Reader::input_exhausted() const {
  return input_.ended && ac3::input_bytes_consumed(decoder_) >= input_.real_bytes;
}

int CAc3Reader::open_input(const char* path, TrackChoice choice) {
  close_input();
  input_.real_bytes = 0;
  input_.ended = false;
  input_.head_size = 0;
  input_.head_served = 0;
  input_.keep_head = false;
  if (!head_) {
    head_.reset(new (std::nothrow) uint8_t[kInputHeadBytes]);
    if (!head_) {
      failure_.set(QELP_ERR_MEMORY, "Out of memory while opening %s", input_name(path));
      return 0;
    }
  }
  input_.head = head_.get();
  input_.head_capacity = kInputHeadBytes;
  source_ = open_input_source(path, input_name(path), choice, failure_);
  input_.source = source_.get();
  return source_ ? 1 : 0;
}

int CAc3Reader::check_head(const char* name, QelpsndStreamInfo& info, char* error_text, int error_size) {
  input_.head_size = 0;
  input_.head_served = 0;
  input_.real_bytes = 0;
  input_.ended = false;
  input_.keep_head = true;
  return stream_scan_input(decoder_, input_, name, ScanLimits{false, kInputHeadBytes}, info, error_text,
                           error_size);
}

void CAc3Reader::deliver(uint8_t* dest, const uint8_t* pcm, bool muted, uint32_t clipped) {
  if (muted) {
    if (first_muted_frame < 0) first_muted_frame = frames_delivered;
    ++frames_muted;
    std::memset(dest, 0, ac3::kPcmFrameBytes);
  } else {
    std::memcpy(dest, pcm, ac3::kPcmFrameBytes);
  }
  samples_clipped += clipped;
  ++frames_delivered;
}

void CAc3Reader::take_sequence_counts() {
  bytes_skipped = sequence_.bytes_skipped;
  bytes_after_last = sequence_.bytes_after_last;
  frames_eac3 = sequence_.eac3_frames;
}

int CAc3Reader::produce(uint8_t* dest) {
  while (input_.source != nullptr && !finished_) {
    if (input_exhausted()) {
      finished_ = true;
      const bool held = sequence_.finish(input_.real_bytes);
      take_sequence_counts();
      if (!held) break;
      deliver(dest, nullptr, true, 0);
      return ac3::kPcmFrameBytes;
    }
    const ac3::decoded_frame& frame = *ac3::decode_one_frame(decoder_);
    if (frame.kind == ac3::frame_kind::no_sync || !header_within_input(frame.sync_start, input_.real_bytes))
      continue;
    const FrameSequence::Step step = sequence_.found(frame.kind, frame.sync_start, frame.claimed_end);
    take_sequence_counts();
    if (!step.held_frame && !step.this_frame) continue;

    bool muted = frame.muted != 0;
    if (step.this_frame && !muted) {
      if (sampling_rate == 0) sampling_rate = static_cast<int32_t>(frame.sampling_rate);
      if (frame.sampling_rate != static_cast<uint32_t>(sampling_rate)) {
        // Written at the output's rate it would play at the wrong speed: silent instead, and counted.
        muted = true;
        ++frames_other_rate;
      }
    }
    const uint32_t clipped = muted ? 0 : frame.samples_clipped;
    if (step.held_frame) {
      deliver(dest, nullptr, true, 0);
      if (step.this_frame) {
        deliver(held_pcm_, frame.pcm, muted, clipped);
        held_pending_ = true;
      }
      return ac3::kPcmFrameBytes;
    }
    deliver(dest, frame.pcm, muted, clipped);
    return ac3::kPcmFrameBytes;
  }
  std::memset(dest, 0, ac3::kPcmFrameBytes);
  return 0;
}

int CAc3Reader::start_decoding(int32_t rate) {
  // The decoder takes the input from its first byte: what the start-up check kept, then the rest.
  file_input_replay_head(input_);
  probe_pending_ = false;
  held_pending_ = false;
  finished_ = false;
  sequence_.reset();
  sampling_rate = rate;
  frames_delivered = 0;
  frames_muted = 0;
  frames_other_rate = 0;
  frames_eac3 = 0;
  first_muted_frame = -1;
  bytes_skipped = 0;
  bytes_after_last = 0;
  samples_clipped = 0;

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

  probe_pending_ = produce(probe_pcm_) != 0;
  return 1;
}

int CAc3Reader::start(const char* path, TrackChoice choice) {
  return open_input(path, choice) != 0 ? start_decoding() : 0;
}

int CAc3Reader::next_frame(uint8_t* dest) {
  if (probe_pending_) {
    probe_pending_ = false;
    std::memcpy(dest, probe_pcm_, ac3::kPcmFrameBytes);
    return ac3::kPcmFrameBytes;
  }
  if (held_pending_) {
    held_pending_ = false;
    std::memcpy(dest, held_pcm_, ac3::kPcmFrameBytes);
    return ac3::kPcmFrameBytes;
  }
  return produce(dest);
}

uint32_t CAc3Reader::read_position() const {
  const uint64_t at = read_position64();
  return at > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(at);
}

uint64_t CAc3Reader::read_position64() const {
  // The input is only read, front to back. The source has taken fetched() stream bytes from the
  // file, up to position(); of those the decoder has been handed real_bytes (the rest waits in the
  // head or the source), so the file's share read for them is position() x real_bytes / fetched().
  // For a raw stream position() equals fetched(): the count of bytes handed to the decoder.
  if (input_.source == nullptr) return 0;
  const uint64_t fetched = input_.source->fetched();
  if (fetched == 0) return 0;
  const uint64_t handed = input_.real_bytes < fetched ? input_.real_bytes : fetched;
  const uint64_t position = input_.source->position();
  return position == fetched ? handed
                            : static_cast<uint64_t>(static_cast<double>(position) * static_cast<double>(handed) /
                                                    static_cast<double>(fetched));
}

void CAc3Reader::close_input() {
  input_.source = nullptr;
  source_.reset();
}

bool CAc3Reader::input_open() const { return input_.source != nullptr; }

}  // namespace qelp
