// The frame headers of an AC-3 file, read with the decoder's own sync search, CRC check and bit
// stream information parser, without decoding audio.
#include "stream_scan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "ac3/stream_description.h"
#include "engine_state.h"
#include "qelpsnd.h"

namespace {

constexpr int kChunkBytes = 2047;

std::FILE* g_file = nullptr;
uint8_t g_chunk[kChunkBytes];
bool g_end = false;
uint64_t g_real_bytes = 0;

int info_fill_callback(uint8_t** start, uint8_t** end) {
  size_t n = std::fread(g_chunk, 1, kChunkBytes, g_file);
  g_real_bytes += n;
  if (n < static_cast<size_t>(kChunkBytes)) {
    std::memset(g_chunk + n, 0, kChunkBytes - n);
    g_end = true;
  }
  *start = g_chunk;
  *end = g_chunk + kChunkBytes;
  return 0;
}

void describe(const ac3::syncinfo& si, const ac3::bsi& b, QelpsndStreamInfo& info) {
  info.sampling_rate = si.sampling_rate;
  info.bit_rate = si.bit_rate;
  info.acmod = b.acmod;
  info.lfeon = b.lfeon;
  info.bsmod = b.bsmod;
  info.cmixlev = b.cmixlev;
  info.surmixlev = b.surmixlev;
  info.dsurmod = b.dsurmod;
  info.dialnorm = b.dialnorm;
  info.langcode = b.langcode;
  info.langcod = b.langcod;
  std::snprintf(info.layout, sizeof info.layout, "%s", ac3::acmod_layout_text(b.acmod));
  std::snprintf(info.service, sizeof info.service, "%s", ac3::bsmod_service_text(b.bsmod));
  info.language[0] = '\0';
  if (b.langcode && b.langcod < 128) ac3::language_text(b.langcod, info.language, sizeof info.language);
}

}  // namespace

int qelp::stream_scan(const char* path, ScanLimits limits, QelpsndStreamInfo& result, char* error_text,
                      int error_size) {
  auto fail = [&](const char* format, const char* detail) {
    if (error_text != nullptr && error_size > 0) std::snprintf(error_text, static_cast<size_t>(error_size), format, path, detail);
    return 0;
  };
  QelpsndStreamInfo* info = &result;
  *info = QelpsndStreamInfo{};
  g_file = std::fopen(path, "rb");
  if (g_file == nullptr) return fail("Cannot open %s: %s", std::strerror(errno));

  ac3::fill_callback previous = ac3::bitstream_callback();
  ac3::bitstream_set_callback(info_fill_callback);
  ac3::chunk_discard();
  g_end = false;
  g_real_bytes = ac3::input_bytes_consumed();
  const uint64_t origin = g_real_bytes;

  ac3::syncinfo si{};
  ac3::bsi b{};
  bool described = false;
  uint64_t frame_bytes = 0;
  while (!(g_end && ac3::input_bytes_consumed() >= g_real_bytes)) {
    if (limits.byte_limit != 0 && ac3::input_bytes_consumed() - origin >= limits.byte_limit) break;
    ac3::error_flag = 0;
    ac3::read_syncinfo(si);
    if (ac3::last_sync_end() > g_real_bytes) break;  // only zero padding was left
    ++info->frames;
    if (ac3::error_flag) {
      if (si.fscod == 3 || si.frmsizecod >= 38) {
        ++info->bad_headers;
        frame_bytes += 5;
      } else {
        ++info->crc_failures;
        frame_bytes += 2u * si.frame_size;
      }
      continue;
    }
    frame_bytes += 2u * si.frame_size;
    if (!described) {
      ac3::read_bsi(b);
      describe(si, b, *info);
      described = true;
      if (!limits.all_frames) break;
    }
  }
  ac3::error_flag = 0;
  uint64_t used = (ac3::input_bytes_consumed() < g_real_bytes ? ac3::input_bytes_consumed() : g_real_bytes) - origin;
  if (limits.all_frames) info->junk_bytes = (g_real_bytes - origin) - (frame_bytes < used ? frame_bytes : used);
  ac3::chunk_discard();
  ac3::bitstream_set_callback(previous);
  std::fclose(g_file);
  g_file = nullptr;
  if (!described) {
    if (g_real_bytes == origin) return fail("%s is empty%s", "");
    return fail("%s holds no AC-3 audio%s", info->frames ? " (no frame passes its CRC check)" : "");
  }
  return 1;
}

extern "C" int qelpsnd_stream_info(const char* path, int scan_all, QelpsndStreamInfo* info, char* error_text,
                                   int error_size) {
  if (qelp::g_activity != qelp::EngineActivity::idle) {
    *info = QelpsndStreamInfo{};
    if (error_text != nullptr && error_size > 0)
      std::snprintf(error_text, static_cast<size_t>(error_size), "Cannot read %s now: a conversion or preview is running", path);
    return 0;
  }
  return qelp::stream_scan(path, qelp::ScanLimits{scan_all != 0, 0}, *info, error_text, error_size);
}
