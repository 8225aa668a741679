// The demuxing module: the audio tracks of a container file through libavformat, handed over as
// the container stores them. Only libavformat's demuxers run: parsing is switched off
// (AVFMT_FLAG_NOPARSE), the stream information probe (which opens decoders) is never called, and
// no decoder is looked up or opened; codec names come from libavcodec's descriptor table.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include "platform/demux/demux_module.h"

struct DemuxHandle {
  char path[4096] = "";
  AVFormatContext* context = nullptr;
  AVPacket* packet = nullptr;
  bool packets_read = false;   // the context is no longer at the file's start
  std::vector<int> audio;      // the container's stream index of each audio track
  std::vector<DemuxTrack> tracks;
  int selected = -1;           // stream index whose bytes read hands out
  int packet_offset = 0;       // bytes of the held packet handed out
  bool holding = false;        // packet holds a packet of the selected stream
  bool ended = false;
};

namespace {

// A program stream announces its streams as their packets come: look this far into it.
constexpr int64_t kDiscoveryBytes = 8 << 20;

void say(char* error, int size, const char* format, const char* path, int code) {
  if (error == nullptr || size <= 0) return;
  char reason[256];
  av_strerror(code, reason, sizeof reason);
  std::snprintf(error, static_cast<size_t>(size), format, path, reason);
}

// A demuxing context on path, without parsers and without frame fill-in (which would need them).
AVFormatContext* open_context(const char* path, char* error, int error_size) {
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) {
    say(error, error_size, "Cannot read %s: %s", path, AVERROR(ENOMEM));
    return nullptr;
  }
  context->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
  const int r = avformat_open_input(&context, path, nullptr, nullptr);
  if (r < 0) {
    say(error, error_size, "Cannot read %s as a container: %s", path, r);
    return nullptr;  // avformat_open_input freed the context
  }
  return context;
}

DemuxCodec codec_kind(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_AC3: return kDemuxAc3;
    case AV_CODEC_ID_EAC3: return kDemuxEac3;
    case AV_CODEC_ID_DTS: return kDemuxDts;
    case AV_CODEC_ID_TRUEHD:
    case AV_CODEC_ID_MLP: return kDemuxTrueHd;
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM: return kDemuxAac;
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3: return kDemuxMpegAudio;
    default: break;
  }
  const AVCodecDescriptor* d = avcodec_descriptor_get(id);
  if (d != nullptr && std::strncmp(d->name, "pcm_", 4) == 0) return kDemuxPcm;
  return kDemuxOther;
}

// Per stream: the first and the last time stamp seen while reading, for durations the header lacks.
struct StreamSpan {
  int64_t first = AV_NOPTS_VALUE;
  int64_t end = AV_NOPTS_VALUE;
};

// Reads packets (whole file: to its end; else the first kDiscoveryBytes) so that a program stream's
// streams appear and the spans are known. True when the end of the file was reached.
bool read_ahead(DemuxHandle& h, bool whole_file, std::vector<StreamSpan>& spans) {
  AVFormatContext* c = h.context;
  h.packets_read = true;
  while (true) {
    const int r = av_read_frame(c, h.packet);
    if (r < 0) return r == AVERROR_EOF;
    const unsigned index = static_cast<unsigned>(h.packet->stream_index);
    if (spans.size() < c->nb_streams) spans.resize(c->nb_streams);
    if (index < spans.size()) {
      const int64_t t = h.packet->pts != AV_NOPTS_VALUE ? h.packet->pts : h.packet->dts;
      if (t != AV_NOPTS_VALUE) {
        StreamSpan& s = spans[index];
        if (s.first == AV_NOPTS_VALUE || t < s.first) s.first = t;
        const int64_t end = t + h.packet->duration;
        if (s.end == AV_NOPTS_VALUE || end > s.end) s.end = end;
      }
    }
    av_packet_unref(h.packet);
    if (!whole_file && c->pb != nullptr && avio_tell(c->pb) > kDiscoveryBytes) return false;
  }
}

void list_tracks(DemuxHandle& h, const std::vector<StreamSpan>& spans, bool reached_end) {
  AVFormatContext* c = h.context;
  for (unsigned i = 0; i < c->nb_streams; ++i) {
    const AVStream* st = c->streams[i];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    DemuxTrack t{};
    t.codec = codec_kind(p->codec_id);
    std::snprintf(t.codec_name, sizeof t.codec_name, "%s", avcodec_get_name(p->codec_id));
    t.channels = p->ch_layout.nb_channels;
    t.sample_rate = p->sample_rate;
    const AVDictionaryEntry* language = av_dict_get(st->metadata, "language", nullptr, 0);
    if (language != nullptr) std::snprintf(t.language, sizeof t.language, "%s", language->value);
    const double tb = av_q2d(st->time_base);
    t.duration = -1.0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
      t.duration = static_cast<double>(st->duration) * tb;
    } else if (reached_end && i < spans.size() && spans[i].first != AV_NOPTS_VALUE) {
      t.duration = static_cast<double>(spans[i].end - spans[i].first) * tb;
    } else if (c->duration != AV_NOPTS_VALUE && c->duration > 0) {
      t.duration = static_cast<double>(c->duration) / AV_TIME_BASE;
    }
    h.audio.push_back(static_cast<int>(i));
    h.tracks.push_back(t);
  }
}

void demux_close(DemuxHandle* h) {
  if (h == nullptr) return;
  av_packet_free(&h->packet);
  avformat_close_input(&h->context);
  delete h;
}

DemuxHandle* demux_open(const char* path, int whole_file, char* error, int error_size) {
  if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);  // failures come back as text
  auto* h = new (std::nothrow) DemuxHandle;
  if (h == nullptr) return nullptr;
  std::snprintf(h->path, sizeof h->path, "%s", path);
  h->packet = av_packet_alloc();
  h->context = h->packet != nullptr ? open_context(path, error, error_size) : nullptr;
  if (h->context == nullptr) {
    demux_close(h);
    return nullptr;
  }
  std::vector<StreamSpan> spans;
  bool reached_end = false;
  if (whole_file != 0 || (h->context->ctx_flags & AVFMTCTX_NOHEADER) != 0) {
    reached_end = read_ahead(*h, whole_file != 0, spans);
  }
  list_tracks(*h, spans, reached_end);
  return h;
}

int32_t demux_track_count(DemuxHandle* h) { return static_cast<int32_t>(h->tracks.size()); }

int32_t demux_track(DemuxHandle* h, int32_t index, DemuxTrack* out) {
  if (index < 0 || static_cast<size_t>(index) >= h->tracks.size()) return 0;
  *out = h->tracks[static_cast<size_t>(index)];
  return 1;
}

int32_t demux_select(DemuxHandle* h, int32_t index, char* error, int error_size) {
  if (index < 0 || static_cast<size_t>(index) >= h->audio.size()) {
    if (error != nullptr && error_size > 0) std::snprintf(error, static_cast<size_t>(error_size), "%s: no such track", h->path);
    return 0;
  }
  if (h->packets_read) {
    // Start again from the file's first byte; streams come back in the same order.
    av_packet_unref(h->packet);
    avformat_close_input(&h->context);
    h->context = open_context(h->path, error, error_size);
    if (h->context == nullptr) return 0;
    h->packets_read = false;
  }
  h->selected = h->audio[static_cast<size_t>(index)];
  // The other streams' packets need not be read into memory where the demuxer can skip them.
  for (unsigned i = 0; i < h->context->nb_streams; ++i) {
    h->context->streams[i]->discard = static_cast<int>(i) == h->selected ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  h->holding = false;
  h->packet_offset = 0;
  h->ended = false;
  return 1;
}

int64_t demux_read(DemuxHandle* h, uint8_t* dest, int64_t n) {
  if (h->selected < 0) return -1;
  int64_t copied = 0;
  while (copied < n) {
    if (h->holding) {
      const int64_t left = h->packet->size - h->packet_offset;
      const int64_t take = left < n - copied ? left : n - copied;
      std::memcpy(dest + copied, h->packet->data + h->packet_offset, static_cast<size_t>(take));
      copied += take;
      h->packet_offset += static_cast<int>(take);
      if (h->packet_offset < h->packet->size) continue;
      av_packet_unref(h->packet);
      h->holding = false;
    }
    if (h->ended) break;
    h->packets_read = true;
    const int r = av_read_frame(h->context, h->packet);
    if (r < 0) {
      h->ended = true;
      if (r != AVERROR_EOF && copied == 0) return -1;
      break;
    }
    if (h->packet->stream_index != h->selected || h->packet->size <= 0) {
      av_packet_unref(h->packet);
      continue;
    }
    h->holding = true;
    h->packet_offset = 0;
  }
  return copied;
}

uint64_t demux_position(DemuxHandle* h) {
  if (h->context == nullptr || h->context->pb == nullptr) return 0;
  const int64_t at = avio_tell(h->context->pb);
  return at > 0 ? static_cast<uint64_t>(at) : 0;
}

const char* demux_versions() {
  // Made once (a thread-safe initialisation), the same text for every caller.
  static const std::string text = [] {
    const unsigned v = avformat_version();
    return "libavformat " + std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xFF) + "." +
           std::to_string(v & 0xFF);
  }();
  return text.c_str();
}

const char* demux_format_name(DemuxHandle* h) {
  const AVInputFormat* f = h->context != nullptr ? h->context->iformat : nullptr;
  if (f == nullptr) return "";
  return f->long_name != nullptr ? f->long_name : f->name;
}

const DemuxApi kApi = {QELP_DEMUX_INTERFACE_VERSION, demux_open, demux_track_count, demux_track, demux_select,
                       demux_read, demux_position, demux_close, demux_versions, demux_format_name};

}  // namespace

extern "C" __attribute__((visibility("default"))) const DemuxApi* qelp_demux_entry() { return &kApi; }
