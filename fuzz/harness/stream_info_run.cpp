#include "harness/stream_info_run.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "ac3/decoder_state.h"
#include "file_input.h"
#include "input_source.h"
#include "qelpsnd.h"
#include "stream_scan.h"

namespace fuzz_harness {

namespace {

bool terminated(const char* text, size_t capacity) { return std::memchr(text, '\0', capacity) != nullptr; }

bool same(const QelpsndStreamInfo& a, const QelpsndStreamInfo& b) {
  return a.sampling_rate == b.sampling_rate && a.bit_rate == b.bit_rate && a.frames == b.frames &&
         a.crc_failures == b.crc_failures && a.bad_headers == b.bad_headers && a.junk_bytes == b.junk_bytes &&
         a.acmod == b.acmod && a.lfeon == b.lfeon && a.bsmod == b.bsmod && a.cmixlev == b.cmixlev &&
         a.surmixlev == b.surmixlev && a.dsurmod == b.dsurmod && a.dialnorm == b.dialnorm &&
         a.langcode == b.langcode && a.langcod == b.langcod && std::strcmp(a.layout, b.layout) == 0 &&
         std::strcmp(a.language, b.language) == 0 && std::strcmp(a.service, b.service) == 0;
}

struct scan_result {
  int found = 0;
  QelpsndStreamInfo info{};
  char error[256] = {};
};

const char* scan(const uint8_t* stream, size_t size, uint8_t settings, scan_result& r) {
  // fmemopen refuses an empty buffer; an empty file reads the same.
  static const uint8_t nothing[1] = {0};
  std::FILE* file = size > 0 ? fmemopen(const_cast<uint8_t*>(stream), size, "rb")
                             : fmemopen(const_cast<uint8_t*>(nothing), 1, "rb");
  if (file == nullptr) return nullptr;
  if (size == 0) std::fgetc(file);
  qelp::RawFileSource source(file);  // closes the file
  std::unique_ptr<qelp::FileInput> input(new qelp::FileInput);
  input->source = &source;
  uint8_t head[1024];
  if (settings & 2) {
    input->head = head;
    input->head_capacity = sizeof head;
    input->keep_head = true;
  }
  std::unique_ptr<ac3::decoder> decoder(new ac3::decoder);
  const qelp::ScanLimits limits{(settings & 1) != 0, (settings & 4) != 0 ? 4096u : 0u};
  r.found = qelp::stream_scan_input(*decoder, *input, "input", limits, r.info, r.error, sizeof r.error);
  if (settings & 2) {
    qelp::file_input_replay_head(*input);
    scan_result again;
    again.found = qelp::stream_scan_input(*decoder, *input, "input", limits, again.info, again.error,
                                          sizeof again.error);
    if (again.found < r.found) return "the replayed head holds no frame where the kept head held one";
  }
  if (r.found != 0 && r.found != 1) return "the scan's verdict is neither 0 nor 1";
  const QelpsndStreamInfo& i = r.info;
  if (!terminated(i.layout, sizeof i.layout) || !terminated(i.language, sizeof i.language) ||
      !terminated(i.service, sizeof i.service) || !terminated(r.error, sizeof r.error))
    return "a text of the description is not terminated";
  if (r.found) {
    if (i.sampling_rate != 48000 && i.sampling_rate != 44100 && i.sampling_rate != 32000)
      return "a found frame has no valid sampling rate";
    if (i.acmod < 0 || i.acmod > 7 || i.frames < 1 || i.layout[0] == '\0') return "a found frame is not described";
  } else if (r.error[0] == '\0') {
    return "a scan that found nothing says nothing";
  }
  // Frames that failed their check, have an unknown bsid or another rate are among the frames; a
  // bad header is no frame at all.
  if (static_cast<uint64_t>(i.crc_failures) + i.unknown_bsid + i.other_rate > i.frames)
    return "more bad frames than frames";
  if (i.junk_bytes > size) return "more junk bytes than bytes";
  return nullptr;
}

}  // namespace


const char* run_stream_info(const uint8_t* data, size_t size) {
  if (size == 0) return nullptr;
  const uint8_t settings = data[size - 1];
  scan_result first, second;
  const char* failed = scan(data, size - 1, settings, first);
  if (failed == nullptr) failed = scan(data, size - 1, settings, second);
  if (failed == nullptr && (first.found != second.found || !same(first.info, second.info)))
    failed = "the same input scanned twice gave different answers";
  return failed;
}

}  // namespace fuzz_harness
