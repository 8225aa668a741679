#include "ffmpeg_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ffmpeg_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

struct FfStream {
  AVCodecContext* ctx = nullptr;
  SwrContext* swr = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  int frame_size = 0;   // samples per encoder call
  int block_align = 1;  // whole units of output with ACM_STREAMCONVERTF_BLOCKALIGN
  DWORD src_align = 4;
  DWORD src_rate = 48000;
  uint8_t** resampled = nullptr;  // resampler output before it goes into the FIFO
  int resampled_capacity = 0;
  int64_t next_pts = 0;
  std::vector<uint8_t> queue;  // encoded bytes not yet handed out
  size_t queue_start = 0;
  bool flushed = false;
  DWORD suggested = 0;
};

namespace {

constexpr int kPcmChunkSamples = 1024;  // samples per call for encoders without a block size

bool same_format(const WAVEFORMATEX* a, const AcmFormatOffer& offer) {
  const WAVEFORMATEX& b = offer.format.wfx;
  return a->wFormatTag == b.wFormatTag && a->nChannels == b.nChannels &&
         a->nSamplesPerSec == b.nSamplesPerSec && a->nAvgBytesPerSec == b.nAvgBytesPerSec &&
         a->nBlockAlign == b.nBlockAlign && a->wBitsPerSample == b.wBitsPerSample && a->cbSize == b.cbSize;
}

void free_stream(FfStream* s) {
  if (s->resampled != nullptr) {
    av_freep(&s->resampled[0]);
    av_freep(&s->resampled);
  }
  av_packet_free(&s->packet);
  av_frame_free(&s->frame);
  if (s->fifo != nullptr) av_audio_fifo_free(s->fifo);
  swr_free(&s->swr);
  avcodec_free_context(&s->ctx);
  delete s;
}

size_t queued(const FfStream& s) { return s.queue.size() - s.queue_start; }

// Takes every packet the encoder has ready into the queue.
bool drain_packets(FfStream& s) {
  for (;;) {
    int r = avcodec_receive_packet(s.ctx, s.packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    s.queue.insert(s.queue.end(), s.packet->data, s.packet->data + s.packet->size);
    av_packet_unref(s.packet);
  }
}

// Encodes count samples from the FIFO, padded with silence to pad_to samples when that is larger.
bool encode_from_fifo(FfStream& s, int count, int pad_to) {
  const int samples = std::max(count, pad_to);
  s.frame->nb_samples = samples;
  if (av_frame_make_writable(s.frame) < 0) return false;
  if (av_audio_fifo_read(s.fifo, reinterpret_cast<void**>(s.frame->data), count) != count) return false;
  if (samples > count) {
    av_samples_set_silence(s.frame->data, count, samples - count, s.ctx->ch_layout.nb_channels,
                           s.ctx->sample_fmt);
  }
  s.frame->pts = s.next_pts;
  s.next_pts += samples;
  if (avcodec_send_frame(s.ctx, s.frame) < 0) return false;
  return drain_packets(s);
}

bool resampled_room(FfStream& s, int samples) {
  if (samples <= s.resampled_capacity) return true;
  if (s.resampled != nullptr) {
    av_freep(&s.resampled[0]);
    av_freep(&s.resampled);
  }
  s.resampled_capacity = 0;
  if (av_samples_alloc_array_and_samples(&s.resampled, nullptr, s.ctx->ch_layout.nb_channels, samples,
                                         s.ctx->sample_fmt, 0) < 0) {
    return false;
  }
  s.resampled_capacity = samples;
  return true;
}

// Resamples input (or, with in == nullptr, what the resampler still holds) into the FIFO.
bool feed(FfStream& s, const uint8_t* in, int frames) {
  const int room = swr_get_out_samples(s.swr, frames);
  if (room < 0 || !resampled_room(s, room + 16)) return false;
  const uint8_t* planes[1] = {in};
  int got = swr_convert(s.swr, s.resampled, s.resampled_capacity, in != nullptr ? planes : nullptr, frames);
  if (got < 0) return false;
  if (got > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.resampled), got) != got) return false;
  return true;
}

bool encode_full_frames(FfStream& s) {
  while (av_audio_fifo_size(s.fifo) >= s.frame_size) {
    if (!encode_from_fifo(s, s.frame_size, 0)) return false;
  }
  return true;
}

// The end: the resampler's tail, the last partial block (padded with silence where the encoder
// needs whole blocks), and what the encoder still holds.
bool flush(FfStream& s) {
  if (!feed(s, nullptr, 0) || !encode_full_frames(s)) return false;
  const int left = av_audio_fifo_size(s.fifo);
  if (left > 0) {
    const bool short_ok = (s.ctx->codec->capabilities &
                           (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
    if (!encode_from_fifo(s, left, short_ok ? 0 : s.frame_size)) return false;
  }
  if (avcodec_send_frame(s.ctx, nullptr) < 0) return false;
  s.flushed = true;
  return drain_packets(s);
}

}  // namespace

MMRESULT ff_stream_open(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, DWORD flags, void** stream) {
  size_t count = 0;
  const FfFormat* formats = ff_formats(&count);
  const FfFormat* fmt = nullptr;
  AcmFormatOffer offer{};
  for (size_t i = 0; i < count && fmt == nullptr; ++i) {
    if (formats[i].tag != dst->wFormatTag) continue;
    if (formats[i].bit_rate_kbps != 0 &&
        dst->nAvgBytesPerSec != static_cast<DWORD>(formats[i].bit_rate_kbps) * 125) {
      continue;
    }
    if (ff_describe(formats[i], *src, &offer) && same_format(dst, offer) &&
        std::memcmp(reinterpret_cast<const uint8_t*>(dst) + sizeof(WAVEFORMATEX), offer.format.extra,
                    dst->cbSize) == 0) {
      fmt = &formats[i];
    }
  }
  if (fmt == nullptr) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_STREAMOPENF_QUERY) != 0) return MMSYSERR_NOERROR;

  auto* s = new (std::nothrow) FfStream();
  if (s == nullptr) return MMSYSERR_NOMEM;
  s->ctx = ff_encoder_open(*fmt, *src);
  if (s->ctx == nullptr) {
    free_stream(s);
    return ACMERR_NOTPOSSIBLE;
  }
  s->src_align = src->nBlockAlign;
  s->src_rate = src->nSamplesPerSec;
  s->frame_size = s->ctx->frame_size > 0 ? s->ctx->frame_size : kPcmChunkSamples;
  s->block_align = dst->nBlockAlign > 0 ? dst->nBlockAlign : 1;
  AVChannelLayout in_layout;
  av_channel_layout_default(&in_layout, src->nChannels);
  s->fifo = av_audio_fifo_alloc(s->ctx->sample_fmt, s->ctx->ch_layout.nb_channels, s->frame_size * 4);
  s->frame = av_frame_alloc();
  s->packet = av_packet_alloc();
  bool ok =
      s->fifo != nullptr && s->frame != nullptr && s->packet != nullptr &&
      swr_alloc_set_opts2(&s->swr, &s->ctx->ch_layout, s->ctx->sample_fmt, s->ctx->sample_rate, &in_layout,
                          AV_SAMPLE_FMT_S16, static_cast<int>(src->nSamplesPerSec), 0, nullptr) == 0 &&
      swr_init(s->swr) == 0;
  if (ok) {
    s->frame->format = s->ctx->sample_fmt;
    s->frame->sample_rate = s->ctx->sample_rate;
    s->frame->nb_samples = s->frame_size;
    ok = av_channel_layout_copy(&s->frame->ch_layout, &s->ctx->ch_layout) == 0 &&
         av_frame_get_buffer(s->frame, 0) == 0;
  }
  if (!ok) {
    free_stream(s);
    return MMSYSERR_NOMEM;
  }
  // Room for what 6144 source bytes can yield at once: their blocks, one held back, one partial.
  const uint64_t samples =
      uint64_t{6144 / s->src_align} * static_cast<uint64_t>(s->ctx->sample_rate) / s->src_rate + 1;
  const uint64_t blocks = samples / static_cast<uint64_t>(s->frame_size) + 3;
  uint64_t block_bytes = static_cast<uint64_t>(s->ctx->block_align);
  if (block_bytes == 0) {
    block_bytes =
        fmt->bit_rate_kbps != 0
            ? uint64_t{144} * static_cast<uint64_t>(fmt->bit_rate_kbps) * 1000 / dst->nSamplesPerSec + 1
            : static_cast<uint64_t>(s->frame_size) * dst->nBlockAlign;
  }
  s->suggested = static_cast<DWORD>(blocks * block_bytes);
  *stream = s;
  return MMSYSERR_NOERROR;
}

MMRESULT ff_stream_size(void* stream, DWORD input, DWORD* output, DWORD flags) {
  const auto* s = static_cast<const FfStream*>(stream);
  if (flags == ACM_STREAMSIZEF_DESTINATION) {
    // Source bytes whose output surely fits input destination bytes.
    const uint64_t src = uint64_t{input} * 6144 / s->suggested / s->src_align * s->src_align;
    if (src == 0) return ACMERR_NOTPOSSIBLE;
    *output = static_cast<DWORD>(std::min<uint64_t>(src, UINT32_MAX));
    return MMSYSERR_NOERROR;
  }
  const uint64_t dst = (uint64_t{input} + 6143) / 6144 * s->suggested;
  if (dst > UINT32_MAX) return ACMERR_NOTPOSSIBLE;
  *output = static_cast<DWORD>(dst);
  return MMSYSERR_NOERROR;
}

MMRESULT ff_stream_convert(void* stream, ACMSTREAMHEADER* pash, DWORD flags) {
  FfStream& s = *static_cast<FfStream*>(stream);
  const bool end = (flags & ACM_STREAMCONVERTF_END) != 0;
  const DWORD frames = pash->cbSrcLength / s.src_align;
  // Input is taken whole unless encoded bytes are piling up; then this call only hands them out.
  const bool take_input = end || queued(s) < size_t{s.suggested} * 4;
  if (take_input && frames > 0) {
    if (s.flushed) return ACMERR_NOTPOSSIBLE;  // nothing can follow the end of the stream
    if (!feed(s, pash->pbSrc, static_cast<int>(frames)) || !encode_full_frames(s)) return ACMERR_NOTPOSSIBLE;
    pash->cbSrcLengthUsed = frames * s.src_align;
  }
  if (end && !s.flushed && !flush(s)) return ACMERR_NOTPOSSIBLE;

  size_t out = std::min<size_t>(queued(s), pash->cbDstLength);
  if ((flags & ACM_STREAMCONVERTF_BLOCKALIGN) != 0) out -= out % static_cast<size_t>(s.block_align);
  if (out > 0) std::memcpy(pash->pbDst, s.queue.data() + s.queue_start, out);
  pash->cbDstLengthUsed = static_cast<DWORD>(out);
  s.queue_start += out;
  // Keep the queue compact without moving bytes on every call.
  if (s.queue_start == s.queue.size()) {
    s.queue.clear();
    s.queue_start = 0;
  } else if (s.queue_start > s.queue.size() / 2) {
    s.queue.erase(s.queue.begin(), s.queue.begin() + static_cast<std::ptrdiff_t>(s.queue_start));
    s.queue_start = 0;
  }
  return MMSYSERR_NOERROR;
}

void ff_stream_close(void* stream) { free_stream(static_cast<FfStream*>(stream)); }
