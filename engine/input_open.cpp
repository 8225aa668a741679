// open_input_source: what an input file holds, and the source that hands out its AC-3 stream.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "ac3_reader.h"
#include "demux_source.h"
#include "iec61937_source.h"
#include "input_file_check.h"
#include "input_kind.h"
#include "input_source.h"
#include "platform/demux/demux_loader.h"

namespace qelp {

namespace {

// Bytes looked at to tell what a file is.
constexpr size_t kClassifyBytes = 65536;

template <class Source, class... Args>
std::unique_ptr<InputSource> make_source(const char* name, Failure& failure, Args&&... args) {
  std::unique_ptr<InputSource> source(new (std::nothrow) Source(std::forward<Args>(args)...));
  if (!source) failure.set(QELP_ERR_MEMORY, "Out of memory while opening %s", name);
  return source;
}

// A raw stream has one track; asking for another is a mistake worth saying.
bool one_track_only(const char* name, TrackChoice choice, const char* what, Failure& failure) {
  if (choice.track <= 1) return true;
  failure.set(QELP_ERR_INPUT, "%s has no track %d: it is %s, a single track", name, choice.track, what);
  return false;
}

std::unique_ptr<InputSource> open_raw(std::FILE* file, const char* name, TrackChoice choice, Failure& failure) {
  if (!one_track_only(name, choice, "a raw stream", failure)) {
    std::fclose(file);
    return nullptr;
  }
  std::unique_ptr<InputSource> source = make_source<RawFileSource>(name, failure, file);
  if (!source) {
    std::fclose(file);
    return nullptr;
  }
  const size_t n = source->peek_start();
  if (starts_with_eac3(source->peeked(), n)) {
    failure.set(QELP_ERR_INPUT, "%s is E-AC-3 (Dolby Digital Plus), which qelp does not decode", name);
    return nullptr;
  }
  return source;
}

std::unique_ptr<InputSource> open_iec61937(std::FILE* file, const WaveData& data, const char* name,
                                           TrackChoice choice, Failure& failure) {
  if (!one_track_only(name, choice, "a WAVE file of IEC 61937 bursts", failure)) {
    std::fclose(file);
    return nullptr;
  }
  auto* iec = new (std::nothrow) Iec61937Source(file, data.offset, data.size);
  if (iec == nullptr) {
    std::fclose(file);
    failure.set(QELP_ERR_MEMORY, "Out of memory while opening %s", name);
    return nullptr;
  }
  std::unique_ptr<InputSource> source(iec);
  source->peek_start();
  if (iec->foreign_type() != 0) {
    failure.set(QELP_ERR_INPUT, "%s carries %s in IEC 61937 bursts, which qelp does not decode", name,
                iec61937_type_name(iec->foreign_type()));
    return nullptr;
  }
  return source;
}

// "AC-3 (track 1), AAC (track 2)": what a container's tracks are, for a refusal.
std::string track_list_text(const DemuxApi& api, DemuxHandle* h, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    DemuxTrack t{};
    if (!api.track(h, i, &t)) continue;
    if (!text.empty()) text += ", ";
    text += std::string(demux_codec_name(t)) + " (track " + std::to_string(i + 1) + ")";
  }
  return text;
}

std::unique_ptr<InputSource> open_container(const char* path, const char* name, TrackChoice choice,
                                            Failure& failure) {
  const DemuxApi* api = demux::module_api();
  if (api == nullptr) {
    failure.set(QELP_ERR_INPUT, "Cannot read %s: %s", name, demux::module_problem());
    return nullptr;
  }
  char reason[1200] = "";
  DemuxHandle* h = api->open(path, 0, reason, sizeof reason);
  if (h == nullptr) {
    failure.set(QELP_ERR_INPUT, "%s", reason[0] != '\0' ? reason : "Cannot read the container");
    return nullptr;
  }
  const int count = api->track_count(h);
  int index = choice.track - 1;
  if (count == 0) {
    failure.set(QELP_ERR_INPUT, "%s holds no AC-3 audio: it has no audio track", name);
  } else if (choice.track == 0) {
    for (index = 0; index < count; ++index) {
      DemuxTrack t{};
      if (api->track(h, index, &t) && t.codec == kDemuxAc3) break;
    }
    if (index == count) {
      failure.set(QELP_ERR_INPUT, "%s has no AC-3 track; its audio is %s, which qelp does not decode", name,
                  track_list_text(*api, h, count).c_str());
    }
  } else if (index >= count) {
    failure.set(QELP_ERR_INPUT, "%s has no track %d; its audio tracks are %s", name, choice.track,
                track_list_text(*api, h, count).c_str());
  }
  DemuxTrack track{};
  if (failure.code() == QELP_OK && api->track(h, index, &track) && track.codec != kDemuxAc3) {
    failure.set(QELP_ERR_INPUT, "%s: track %d is %s, which qelp does not decode", name, index + 1,
                demux_codec_name(track));
  }
  if (failure.code() == QELP_OK && !api->select(h, index, reason, sizeof reason)) {
    failure.set(QELP_ERR_INPUT, "%s", reason);
  }
  if (failure.code() != QELP_OK) {
    api->close(h);
    return nullptr;
  }
  std::unique_ptr<InputSource> source(new (std::nothrow) DemuxSource(*api, h));
  if (!source) {
    api->close(h);
    failure.set(QELP_ERR_MEMORY, "Out of memory while opening %s", name);
    return nullptr;
  }
  const size_t n = source->peek_start();
  if (starts_with_eac3(source->peeked(), n)) {
    failure.set(QELP_ERR_INPUT, "%s: track %d is E-AC-3, which qelp does not decode", name, index + 1);
    return nullptr;
  }
  return source;
}

}  // namespace

const char* demux_codec_name(const DemuxTrack& track) {
  switch (track.codec) {
    case kDemuxAc3: return "AC-3";
    case kDemuxEac3: return "E-AC-3";
    case kDemuxDts: return "DTS";
    case kDemuxTrueHd: return "TrueHD";
    case kDemuxAac: return "AAC";
    case kDemuxMpegAudio: return "MPEG audio";
    case kDemuxPcm: return "PCM";
    default: return track.codec_name[0] != '\0' ? track.codec_name : "an unknown codec";
  }
}

std::unique_ptr<InputSource> open_input_source(const char* path, const char* name, TrackChoice choice,
                                               Failure& failure) {
  failure.clear();
  if (is_standard_stream(path)) {
    // A duplicate, so that closing the input leaves the process's standard input alone.
    const int fd = dup(STDIN_FILENO);
    std::FILE* file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
      if (fd >= 0) close(fd);
      failure.set(QELP_ERR_INPUT, "Cannot open %s: %s", name, std::strerror(errno));
      return nullptr;
    }
    return open_raw(file, name, choice, failure);
  }
  // A named pipe, a folder or a device is refused before it is opened (opening a FIFO would wait
  // for a writer); standard input is the way to pipe a stream in.
  if (!input_is_readable_file(path, failure)) return nullptr;
  std::FILE* file = open_regular_input(path);
  if (file == nullptr) {
    failure.set(QELP_ERR_INPUT, "Cannot open %s: %s", name, std::strerror(errno));
    return nullptr;
  }
  std::unique_ptr<uint8_t[]> head(new (std::nothrow) uint8_t[kClassifyBytes]);
  if (!head) {
    std::fclose(file);
    failure.set(QELP_ERR_MEMORY, "Out of memory while opening %s", name);
    return nullptr;
  }
  const size_t n = std::fread(head.get(), 1, kClassifyBytes, file);
  const InputKind kind = classify_input(head.get(), n);
  if (kind == InputKind::container) {
    std::fclose(file);
    return open_container(path, name, choice, failure);
  }
  if (kind == InputKind::iec61937) {
    WaveData data;
    find_wave_data(head.get(), n, data);
    return open_iec61937(file, data, name, choice, failure);
  }
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    failure.set(QELP_ERR_INPUT, "Cannot read %s: %s", name, std::strerror(errno));
    std::fclose(file);
    return nullptr;
  }
  return open_raw(file, name, choice, failure);
}

}  // namespace qelp
