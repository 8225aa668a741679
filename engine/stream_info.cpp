// The frame headers of an AC-3 file, read with the decoder's own sync search, CRC check and bit
// stream information parser, without decoding audio.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "ac3/stream_description.h"
#include "ac3_reader.h"
#include "failure.h"
#include "file_input.h"
#include "input_source.h"
#include "qelpsnd.h"
#include "stream_scan.h"

namespace {

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

// Says why the scan found nothing, in the caller's buffer: format has two %s, the path and detail.
int scan_failed(char* error_text, int error_size, const char* format, const char* path, const char* detail) {
  if (error_text != nullptr && error_size > 0)
    std::snprintf(error_text, static_cast<size_t>(error_size), format, path, detail);
  return 0;
}

}  // namespace

void qelp::say_no_ac3_audio(const char* name, bool frames_seen, char* error_text, int error_size) {
  if (error_text == nullptr || error_size <= 0) return;
  std::snprintf(error_text, static_cast<size_t>(error_size), "%s holds no AC-3 audio%s", name,
                frames_seen ? ": no frame passes its CRC check" : "");
}

int qelp::stream_scan_input(ac3::decoder& d, FileInput& input, const char* name, ScanLimits limits,
                            QelpsndStreamInfo& result, char* error_text, int error_size) {
  QelpsndStreamInfo* info = &result;
  *info = QelpsndStreamInfo{};
  ac3::decoder_reset(d);
  ac3::bitstream_set_callback(d, file_fill_callback, &input);
  const uint64_t origin = input.real_bytes;

  bool described = false;
  uint64_t frame_bytes = 0;
  while (!(input.ended && ac3::input_bytes_consumed(d) >= input.real_bytes - origin)) {
    if (limits.byte_limit != 0 && ac3::input_bytes_consumed(d) >= limits.byte_limit) break;
    d.error_flag = 0;
    ac3::read_syncinfo(d);
    const ac3::syncinfo& si = d.syncinfo;
    if (ac3::last_sync_end(d) > input.real_bytes - origin) break;  // only zero padding was left
    ++info->frames;
    if (d.error_flag) {
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
      ac3::read_bsi(d);
      describe(si, d.bsi, *info);
      described = true;
      if (!limits.all_frames) break;
    }
  }
  d.error_flag = 0;
  const uint64_t real = input.real_bytes - origin;
  const uint64_t consumed = ac3::input_bytes_consumed(d);
  const uint64_t used = consumed < real ? consumed : real;
  if (limits.all_frames) info->junk_bytes = real - (frame_bytes < used ? frame_bytes : used);
  // The decoder may not call back into this input, which it is done with.
  ac3::bitstream_set_callback(d, nullptr, nullptr);
  ac3::chunk_discard(d);
  if (!described) {
    if (real == 0) {
      if (error_text != nullptr && error_size > 0)
        std::snprintf(error_text, static_cast<size_t>(error_size), "%s holds no AC-3 audio: it is empty",
                      name);
    } else {
      qelp::say_no_ac3_audio(name, info->frames != 0, error_text, error_size);
    }
    return 0;
  }
  return 1;
}

int qelp::stream_scan(ac3::decoder& d, const char* path, TrackChoice choice, ScanLimits limits,
                      QelpsndStreamInfo& result, char* error_text, int error_size) {
  result = QelpsndStreamInfo{};
  FailureRecord record;
  // A path is a file here, even "-" (the standard input cannot be read ahead of a conversion).
  const std::string file = is_standard_stream(path) ? std::string("./-") : std::string(path);
  std::unique_ptr<InputSource> source = open_input_source(file.c_str(), path, choice, record.failure);
  if (!source) return scan_failed(error_text, error_size, "%s%s", record.text, "");
  FileInput input;
  input.source = source.get();
  return stream_scan_input(d, input, path, limits, result, error_text, error_size);
}

extern "C" int qelpsnd_stream_info(const char* path, int scan_all, QelpsndStreamInfo* info, char* error_text,
                                   int error_size) {
  return qelpsnd_track_stream_info(path, 0, scan_all, info, error_text, error_size);
}

extern "C" int qelpsnd_track_stream_info(const char* path, int track, int scan_all, QelpsndStreamInfo* info,
                                         char* error_text, int error_size) {
  // A decoder of its own: the scan runs beside any conversion or preview.
  std::unique_ptr<ac3::decoder> decoder(new (std::nothrow) ac3::decoder);
  if (!decoder) {
    *info = QelpsndStreamInfo{};
    return scan_failed(error_text, error_size, "Cannot read %s: %s", path, "out of memory");
  }
  return qelp::stream_scan(*decoder, path, qelp::TrackChoice{track}, qelp::ScanLimits{scan_all != 0, 0}, *info,
                           error_text, error_size);
}

extern "C" int qelpsnd_holds_ac3(const char* path) {
  if (path == nullptr || qelp::is_standard_stream(path)) return 0;
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  // A decoder of its own, as for qelpsnd_stream_info; without one the answer is not known.
  std::unique_ptr<ac3::decoder> decoder(new (std::nothrow) ac3::decoder);
  if (!decoder) return -1;
  QelpsndStreamInfo info{};
  char reason[64];
  return qelp::stream_scan(*decoder, path, qelp::TrackChoice{}, qelp::ScanLimits{false, qelp::kInputHeadBytes}, info,
                           reason, sizeof reason);
}
