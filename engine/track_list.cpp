// qelpsnd_tracks: the audio tracks of an input — a container's through the demuxing module, with
// each AC-3 track's layout, rate and duration read from its own frames; one for a raw stream or a
// burst file.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ac3/decoder_state.h"
#include "ac3_reader.h"
#include "demux_source.h"
#include "input_file_check.h"
#include "input_kind.h"
#include "platform/demux/demux_loader.h"
#include "qelpsnd.h"
#include "stream_scan.h"

namespace qelp {

namespace {

// Copies text into dest (size bytes), cut short where it does not fit.
void copy_text(char* dest, size_t size, const char* text) {
  const size_t n = strnlen(text, size - 1);
  std::memcpy(dest, text, n);
  dest[n] = '\0';
}

void say(char* error_text, int error_size, const char* text) {
  if (error_text != nullptr && error_size > 0) std::snprintf(error_text, static_cast<size_t>(error_size), "%s", text);
}

// Fills an AC-3 track's entry from a scan of all its frames; false with the reason in note.
bool describe_ac3(ac3::decoder& decoder, const char* path, int track, QelpsndTrackInfo& t) {
  QelpsndStreamInfo info{};
  char reason[sizeof t.note + 1200];
  if (!stream_scan(decoder, path, TrackChoice{track}, ScanLimits{true, 0}, info, reason, sizeof reason)) {
    // The reason names the file; the listing does already.
    const size_t n = std::strlen(path);
    const char* text = std::strncmp(reason, path, n) == 0 ? reason + n : reason;
    while (*text == ':' || *text == ' ') ++text;
    copy_text(t.note, sizeof t.note, text);
    return false;
  }
  t.convertible = 1;
  std::snprintf(t.layout, sizeof t.layout, "%s%s", info.layout, info.lfeon ? " + LFE" : "");
  t.sampling_rate = info.sampling_rate;
  t.frames = info.frames;
  t.duration = info.sampling_rate != 0 ? info.frames * 1536.0 / info.sampling_rate : -1.0;
  if (t.language[0] == '\0') copy_text(t.language, sizeof t.language, info.language);
  return true;
}

// The head of the file, to tell what it is; false when it cannot be read or is no regular file (a
// named pipe would block the open; the scan that follows says what it is).
bool read_head(const char* path, uint8_t* head, size_t size, size_t& n) {
  std::FILE* f = open_regular_input(path);
  if (f == nullptr) return false;
  n = std::fread(head, 1, size, f);
  std::fclose(f);
  return true;
}

int list_container(ac3::decoder& decoder, const char* path, QelpsndTrackInfo* tracks, int capacity,
                   char* error_text, int error_size) {
  const DemuxApi* api = demux::module_api();
  if (api == nullptr) {
    char text[1400];
    std::snprintf(text, sizeof text, "Cannot read %s: %s", path, demux::module_problem());
    say(error_text, error_size, text);
    return -1;
  }
  char reason[1200] = "";
  DemuxHandle* h = api->open(path, 1, reason, sizeof reason);
  if (h == nullptr) {
    say(error_text, error_size, reason);
    return -1;
  }
  const int count = api->track_count(h);
  const char* format = api->format_name(h);
  for (int i = 0; i < count && i < capacity; ++i) {
    DemuxTrack d{};
    api->track(h, i, &d);
    QelpsndTrackInfo& t = tracks[i];
    t = QelpsndTrackInfo{};
    t.number = i + 1;
    copy_text(t.container, sizeof t.container, format);
    copy_text(t.codec, sizeof t.codec, demux_codec_name(d));
    if (d.channels > 0) std::snprintf(t.layout, sizeof t.layout, "%d channel%s", d.channels, d.channels == 1 ? "" : "s");
    t.sampling_rate = d.sample_rate > 0 ? static_cast<uint32_t>(d.sample_rate) : 0;
    copy_text(t.language, sizeof t.language, d.language);
    t.duration = d.duration;
    if (d.codec == kDemuxAc3) {
      describe_ac3(decoder, path, i + 1, t);
    } else {
      std::snprintf(t.note, sizeof t.note, "%s, which qelp does not decode", t.codec);
    }
  }
  api->close(h);
  return count;
}

}  // namespace

}  // namespace qelp

extern "C" int qelpsnd_tracks(const char* path, QelpsndTrackInfo* tracks, int capacity, char* error_text,
                              int error_size) {
  using namespace qelp;
  if (path == nullptr || (capacity > 0 && tracks == nullptr)) {
    say(error_text, error_size, "No input file was given");
    return -1;
  }
  // A decoder of its own, as for qelpsnd_stream_info.
  std::unique_ptr<ac3::decoder> decoder(new (std::nothrow) ac3::decoder);
  std::unique_ptr<uint8_t[]> head(new (std::nothrow) uint8_t[65536]);
  if (!decoder || !head) {
    say(error_text, error_size, "Out of memory");
    return -1;
  }
  size_t n = 0;
  const bool read = !is_standard_stream(path) && read_head(path, head.get(), 65536, n);
  const InputKind kind = read ? classify_input(head.get(), n) : InputKind::raw;
  if (kind == InputKind::container) return list_container(*decoder, path, tracks, capacity, error_text, error_size);
  // One stream: it is listed when it is AC-3; otherwise why not is the answer.
  QelpsndTrackInfo one{};
  one.number = 1;
  std::snprintf(one.codec, sizeof one.codec, "AC-3");
  if (kind == InputKind::iec61937) std::snprintf(one.container, sizeof one.container, "IEC 61937 bursts in WAVE");
  if (!describe_ac3(*decoder, path, 1, one)) {
    QelpsndStreamInfo info{};
    stream_scan(*decoder, path, TrackChoice{}, ScanLimits{false, 0}, info, error_text, error_size);
    return -1;
  }
  if (capacity > 0) tracks[0] = one;
  return 1;
}
