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
#include "frame_sequence.h"
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
  const auto real = [&input, origin] { return input.real_bytes - origin; };

  // The frames are told apart as the conversion tells them (frame_sequence.h), so both count alike.
  FrameSequence sequence;
  bool described = false;
  bool reached_end = false;
  uint32_t crc_failures_seen = 0;  // frames that failed their CRC, taken or not: "no frame passes"
  for (;;) {
    if (input.ended && ac3::input_bytes_consumed(d) >= real()) {
      reached_end = true;
      break;
    }
    if (limits.byte_limit != 0 && ac3::input_bytes_consumed(d) >= limits.byte_limit) break;
    d.error_flag = 0;
    ac3::read_syncinfo(d);
    const ac3::syncinfo& si = d.syncinfo;
    ac3::frame_kind kind = d.frame.kind;
    if (kind == ac3::frame_kind::no_sync || !header_within_input(d.frame.sync_start, real())) continue;
    // While the head is kept, the input seen ends where the head is full, though the file goes on:
    // a frame running past that point is not judged on the zeros behind it.
    if (input.keep_head && input.head_size == input.head_capacity && d.frame.claimed_end > real()) break;
    if (kind == ac3::frame_kind::bad_header) {
      ++info->bad_headers;
      continue;
    }
    if (kind == ac3::frame_kind::crc_failed) ++crc_failures_seen;
    bool other_rate = false;
    if (kind == ac3::frame_kind::decoded) {
      ac3::read_bsi(d);
      if (d.bsi.bsid > 8) kind = ac3::frame_kind::damaged;
      // A frame that cannot be decoded is silent for that reason alone, as in the conversion.
      other_rate = kind == ac3::frame_kind::decoded && described && si.sampling_rate != info->sampling_rate;
    }
    const FrameSequence::Step step = sequence.found(kind, d.frame.sync_start, d.frame.claimed_end);
    if (step.held_frame) {
      ++info->frames;
      ++info->crc_failures;
    }
    if (!step.this_frame) continue;
    ++info->frames;
    if (kind == ac3::frame_kind::damaged) ++info->unknown_bsid;
    if (other_rate) ++info->other_rate;
    if (kind == ac3::frame_kind::decoded && !described) {
      describe(si, d.bsi, *info);
      described = true;
      if (!limits.all_frames) break;
    }
  }
  d.error_flag = 0;
  if (reached_end && sequence.finish(real())) {
    ++info->frames;
    ++info->crc_failures;
  }
  info->eac3_frames = sequence.eac3_frames;
  if (limits.all_frames) info->junk_bytes = sequence.bytes_skipped;
  // The decoder may not call back into this input, which it is done with.
  ac3::bitstream_set_callback(d, nullptr, nullptr);
  ac3::chunk_discard(d);
  if (!described) {
    if (error_text != nullptr && error_size > 0) {
      if (real() == 0) {
        std::snprintf(error_text, static_cast<size_t>(error_size), "%s holds no AC-3 audio: it is empty",
                      name);
      } else if (sequence.eac3_frames != 0) {
        std::snprintf(error_text, static_cast<size_t>(error_size),
                      "%s is E-AC-3 (Dolby Digital Plus), which qelp does not decode", name);
      } else if (info->unknown_bsid != 0) {
        std::snprintf(error_text, static_cast<size_t>(error_size),
                      "%s holds no AC-3 audio: its frames have a bitstream version (bsid %u) this decoder "
                      "does not know",
                      name, static_cast<unsigned>(d.bsi.bsid));
      } else {
        qelp::say_no_ac3_audio(name, crc_failures_seen != 0, error_text, error_size);
      }
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
