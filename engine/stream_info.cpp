// The frame headers of an AC-3 file, read with the decoder's own sync search, CRC check and bit
// stream information parser, without decoding audio.
#include "stream_scan.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "ac3/stream_description.h"
#include "ac3_reader.h"
#include "engine_state.h"
#include "qelpsnd.h"

namespace {

constexpr int kChunkBytes = 2047;

qelp::ScanSource g_source{};  // where the running scan reads from
uint8_t g_chunk[kChunkBytes];
bool g_end = false;
uint64_t g_real_bytes = 0;

size_t read_file(void* context, uint8_t* into, size_t count) {
  return std::fread(into, 1, count, static_cast<std::FILE*>(context));
}

int info_fill_callback(uint8_t** start, uint8_t** end) {
  size_t n = g_source.read(g_source.context, g_chunk, kChunkBytes);
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

// Scans the source set up in g_source.
int scan_source(const char* path, qelp::ScanLimits limits, QelpsndStreamInfo& result, char* error_text,
                int error_size) {
  QelpsndStreamInfo* info = &result;
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
  if (!described) {
    if (g_real_bytes == origin) {
      if (error_text != nullptr && error_size > 0)
        std::snprintf(error_text, static_cast<size_t>(error_size), "%s holds no AC-3 audio: it is empty", path);
    } else {
      qelp::say_no_ac3_audio(path, info->frames != 0, error_text, error_size);
    }
    return 0;
  }
  return 1;
}

}  // namespace

void qelp::say_no_ac3_audio(const char* name, bool frames_seen, char* error_text, int error_size) {
  if (error_text == nullptr || error_size <= 0) return;
  std::snprintf(error_text, static_cast<size_t>(error_size), "%s holds no AC-3 audio%s", name,
                frames_seen ? ": no frame passes its CRC check" : "");
}

int qelp::stream_scan(const char* path, ScanLimits limits, QelpsndStreamInfo& result, char* error_text,
                      int error_size) {
  result = QelpsndStreamInfo{};
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    if (error_text != nullptr && error_size > 0)
      std::snprintf(error_text, static_cast<size_t>(error_size), "Cannot open %s: %s", path, std::strerror(errno));
    return 0;
  }
  const int found = stream_scan_source(ScanSource{read_file, file}, path, limits, result, error_text, error_size);
  std::fclose(file);
  return found;
}

int qelp::stream_scan_source(ScanSource source, const char* name, ScanLimits limits, QelpsndStreamInfo& result,
                             char* error_text, int error_size) {
  result = QelpsndStreamInfo{};
  g_source = source;
  const int found = scan_source(name, limits, result, error_text, error_size);
  g_source = ScanSource{};
  return found;
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

extern "C" int qelpsnd_holds_ac3(const char* path) {
  if (path == nullptr || qelp::is_standard_stream(path)) return 0;
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  // The scan shares the decoder's input state, which a running conversion or preview owns.
  if (qelp::g_activity != qelp::EngineActivity::idle) return -1;
  QelpsndStreamInfo info{};
  char reason[64];
  return qelp::stream_scan(path, qelp::ScanLimits{false, qelp::kInputHeadBytes}, info, reason, sizeof reason);
}
