#include "harness/input_source_run.h"

#include <cstdio>
#include <memory>

#include "iec61937_source.h"
#include "input_kind.h"

namespace fuzz_harness {

namespace {

// The head classified as the engine does: answers that point into the head stay inside it.
const char* check_head(const uint8_t* data, size_t size, qelp::WaveData& wave, bool& is_wave) {
  const qelp::InputKind kind = qelp::classify_input(data, size);
  is_wave = qelp::find_wave_data(data, size, wave);
  if (is_wave && wave.offset > size) return "the data chunk starts beyond the head";
  if (kind == qelp::InputKind::iec61937 && !is_wave) return "burst data outside a WAVE file";
  const size_t at = qelp::find_iec61937_preamble(data, size);
  if (at > size) return "a preamble beyond the head";
  if (at < size) {
    if (at % 2 != 0) return "a preamble at an odd offset";
    if (at + 8 > size) return "a preamble without room for Pc and Pd";
    if (data[at] != 0x72 || data[at + 1] != 0xF8 || data[at + 2] != 0x1F || data[at + 3] != 0x4E)
      return "a preamble that is not Pa Pb";
  }
  qelp::starts_with_eac3(data, size);  // its reads are checked by the sanitizers
  return nullptr;
}

}  // namespace

const char* run_input_source(const uint8_t* data, size_t size) {
  qelp::WaveData wave;
  bool is_wave = false;
  if (const char* failed = check_head(data, size, wave, is_wave)) return failed;

  // fmemopen refuses an empty buffer; /dev/null is an empty file that can seek, as the source does.
  std::FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::fopen("/dev/null", "rb");
  if (file == nullptr) return nullptr;
  const uint64_t file_size = size;
  std::unique_ptr<qelp::Iec61937Source> source(
      new qelp::Iec61937Source(file, is_wave ? wave.offset : 0, is_wave ? wave.size : UINT64_MAX));  // closes file
  const size_t piece = size > 0 ? 1 + data[size - 1] % 4096 : 1;
  if (source->peek_start() > qelp::InputSource::kPeekBytes) return "more peeked than room for";

  static uint8_t buffer[4096];
  uint64_t handed = 0;
  uint64_t last_position = source->position();
  for (;;) {
    const size_t n = source->read(buffer, piece);
    if (n > piece) return "a read handed out more than asked";
    handed += n;
    if (source->position() < last_position) return "the read position went back";
    last_position = source->position();
    if (n < piece) break;  // the end of the stream
  }
  if (source->read(buffer, piece) != 0) return "bytes after the end of the stream";
  if (handed > file_size) return "more stream bytes than the file holds";
  if (source->fetched() != handed) return "the fetched count disagrees with the bytes handed out";
  if (last_position > file_size) return "a read position beyond the file";
  return nullptr;
}

}  // namespace fuzz_harness
