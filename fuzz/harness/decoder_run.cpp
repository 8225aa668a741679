#include "harness/decoder_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "ac3/stages.h"
#include "qelpsnd.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QELP_HARNESS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QELP_HARNESS_ASAN 1
#endif
#ifdef QELP_HARNESS_ASAN
#include <sanitizer/asan_interface.h>
#define HARNESS_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define HARNESS_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define HARNESS_POISON(p, n) ((void)(p), (void)(n))
#define HARNESS_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace fuzz_harness {

namespace {

constexpr size_t kChunkChoices[8] = {2047, 1, 2, 3, 7, 64, 500, 1024};
constexpr size_t kMaxChunk = 2048;
constexpr uint8_t kStopPattern[5] = {0x0B, 0x77, 0x00, 0x00, 0xFF};

// The input handed out a chunk at a time, as the engine's file input does: the bytes, then chunks
// of zeros. Each chunk is a copy in one of two buffers; under AddressSanitizer everything but the
// current chunk is poisoned, so that a read past the chunk's end, or from a chunk already handed
// back, is reported where it happens.
struct feeder {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
  size_t chunk = 2047;
  int padding_chunks = 0;
  int current = 0;
  alignas(16) uint8_t buffers[2][kMaxChunk];

  feeder() { HARNESS_POISON(buffers, sizeof buffers); }
  ~feeder() { HARNESS_UNPOISON(buffers, sizeof buffers); }
  feeder(const feeder&) = delete;
  feeder& operator=(const feeder&) = delete;
};

int fill(void* user, uint8_t** start, uint8_t** end) {
  feeder& f = *static_cast<feeder*>(user);
  HARNESS_POISON(f.buffers[f.current], kMaxChunk);
  f.current ^= 1;
  uint8_t* buffer = f.buffers[f.current];
  size_t n = f.size - f.position < f.chunk ? f.size - f.position : f.chunk;
  if (n > 0) {
    HARNESS_UNPOISON(buffer, n);
    std::memcpy(buffer, f.data + f.position, n);
    f.position += n;
  } else {
    // Past the end: first a chunk of zeros, as the engine's input gives, then sync words with a
    // reserved sampling rate, which end a search at once and make a bad frame without loading a
    // body. Most mutations leave bytes without a sync word behind the last frame; a search through
    // zeros alone would run 64 KiB and take most of the execution's time.
    n = kMaxChunk - 1;
    HARNESS_UNPOISON(buffer, n);
    if (f.padding_chunks++ == 0) {
      std::memset(buffer, 0, n);
    } else {
      for (size_t i = 0; i < n; ++i) buffer[i] = kStopPattern[i % sizeof kStopPattern];
    }
  }
  *start = buffer;
  *end = buffer + n;
  return 0;
}

// A 64-bit running hash of everything a run produces, to compare two runs.
struct digest {
  uint64_t value = 0x9e3779b97f4a7c15ull;
  void add(const void* bytes, size_t n) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; ++i) value = (value ^ p[i]) * 0x100000001b3ull;
  }
  void add_words(const void* bytes, size_t n) {  // n a multiple of 8
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      value = (value ^ w) * 0x100000001b3ull;
      value ^= value >> 29;
    }
  }
  void add_int(int64_t v) { add(&v, sizeof v); }
};

bool all_finite(const float* values, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// One frame through the stages before the transform, as decode_one_frame runs them.
const char* parse_one_frame(ac3::decoder& d, digest& out) {
  ac3::read_syncinfo(d);
  if (d.error_flag) {
    d.error_flag = 0;
    out.add_int(-1);
    return nullptr;
  }
  ++d.frame_counter;
  ac3::read_bsi(d);
  if (!d.banner_printed) {
    ac3::print_stream_banner(d.syncinfo, d.bsi);
    d.banner_printed = 1;
  }
  ac3::audblk_frame_begin(d);
  out.add(&d.bsi, sizeof d.bsi);
  for (int block = 0; block < ac3::kBlocksPerFrame; ++block) {
    const int slots = d.bsi.nfchans + d.bsi.lfeon;
    const size_t cleared = sizeof(float) * ac3::kBins * static_cast<size_t>(slots <= ac3::kCoeffSlots ? slots : ac3::kCoeffSlots);
    std::memset(d.coeffs, 0, cleared);
    ac3::read_audblk(d);
    ac3::expand_exponents(d);
    if (d.error_flag) break;
    ac3::allocate_bits(d);
    ac3::unpack_coefficients(d);
    if (d.error_flag) break;
    if (d.bsi.acmod == 2) ac3::rematrix_stereo(d);
    ac3::check_guards(d);
    if (d.error_flag) break;
    if (!all_finite(&d.coeffs[0][0], sizeof d.coeffs / sizeof(float))) return "a coefficient is not finite";
    out.add_words(d.coeffs, cleared);
  }
  out.add_int(d.error_flag);
  d.error_flag = 0;
  return nullptr;
}

const char* check_frame(const ac3::decoder& d, const ac3::decoded_frame* f) {
  if (f != &d.frame || f->pcm != d.pcm) return "decode_one_frame did not return the decoder's PCM frame";
  if (f->muted != 0 && f->muted != 1) return "muted is neither 0 nor 1";
  if (f->samples_clipped > static_cast<uint32_t>(ac3::kPcmFrameBytes / 2)) return "more clipped samples than samples";
  bool any = false;
  for (int i = 0; i < ac3::kPcmFrameBytes; i += 2) {
    const int16_t s = static_cast<int16_t>(f->pcm[i] | (f->pcm[i + 1] << 8));
    if (s == INT16_MIN) return "a sample lies beyond -32767";
    any = any || s != 0;
  }
  if (f->muted && any) return "a muted frame is not silent";
  if (!f->muted) {
    if (f->sampling_rate != 48000 && f->sampling_rate != 44100 && f->sampling_rate != 32000)
      return "a decoded frame has no valid sampling rate";
    if (!all_finite(&d.delay[0][0], sizeof d.delay / sizeof(float))) return "the transform's overlap is not finite";
    if (!all_finite(&d.samples[0][0], sizeof d.samples / sizeof(float))) return "a block's samples are not finite";
  }
  return nullptr;
}

// The decoder and its input, made once per process. Every run starts them over completely (the
// struct cleared byte by byte, then reset), so that nothing of an earlier input reaches the next.
struct harness_state {
  ac3::decoder decoder;
  feeder feed;
};

const char* run_once(const fuzz_input& input, stages which, int max_frames, uint64_t& result) {
  static harness_state* state = new harness_state;
  feeder& feed = state->feed;
  feed.data = input.stream;
  feed.size = input.size;
  feed.position = 0;
  feed.chunk = input.settings.chunk_bytes;
  feed.padding_chunks = 0;
  ac3::decoder& d = state->decoder;
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  ac3::decoder_reset(d);
  const ac3::decoder_config config{0, fill, 2, input.settings.dual_mono_channel, &feed};
  ac3::decoder_init(d, config);
  d.surround_mode = input.settings.surround_mode;
  d.portable_vectors = input.settings.portable_vectors;

  digest out;
  for (int frame = 0; frame < max_frames && ac3::input_bytes_consumed(d) < input.size; ++frame) {
    const uint64_t before = ac3::input_bytes_consumed(d);
    if (which == stages::parse) {
      if (const char* failed = parse_one_frame(d, out)) return failed;
    } else {
      const ac3::decoded_frame* f = ac3::decode_one_frame(d);
      if (const char* failed = check_frame(d, f)) return failed;
      out.add_int(f->muted);
      out.add_int(f->samples_clipped);
      out.add_int(f->sampling_rate);
      out.add_words(f->pcm, ac3::kPcmFrameBytes);
    }
    if (ac3::input_bytes_consumed(d) <= before) return "a frame consumed no input";
  }
  result = out.value;
  return nullptr;
}

}  // namespace

fuzz_input split_input(const uint8_t* data, size_t size) {
  fuzz_input in;
  if (size == 0) return in;
  const uint8_t s = data[size - 1];
  in.stream = data;
  in.size = size - 1;
  in.settings.chunk_bytes = kChunkChoices[s & 7];
  in.settings.dual_mono_channel = (s >> 3) & 1;
  in.settings.surround_mode = (s >> 4) & 1;
  in.settings.portable_vectors = (s >> 5) & 1;
  return in;
}

uint8_t settings_byte(const decode_settings& settings) {
  int choice = 0;
  for (int i = 0; i < 8; ++i) {
    if (kChunkChoices[i] == settings.chunk_bytes) choice = i;
  }
  return static_cast<uint8_t>(choice | (settings.dual_mono_channel ? 8 : 0) | (settings.surround_mode ? 16 : 0) |
                              (settings.portable_vectors ? 32 : 0));
}

const char* run_decoder(const fuzz_input& input, stages which, int max_frames) {
  uint64_t first = 0, second = 0;
  if (const char* failed = run_once(input, which, max_frames, first)) return failed;
  if (const char* failed = run_once(input, which, max_frames, second)) return failed;
  if (first != second) return "the same input decoded twice gave different output";
  return nullptr;
}

namespace {
void discard(int, const char*, void*) {}
}  // namespace

void fuzz_one_input(const uint8_t* data, size_t size, stages which, int max_frames) {
  qelpsnd_set_diagnostics(discard, nullptr);
  if (const char* failed = run_decoder(split_input(data, size), which, max_frames)) {
    std::fprintf(stderr, "invariant broken: %s\n", failed);
    __builtin_trap();
  }
}

}  // namespace fuzz_harness
