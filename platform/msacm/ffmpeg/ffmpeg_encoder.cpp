#include "ffmpeg_encoder.h"

#include <cstring>
#include <initializer_list>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

// Our source is 16-bit; take the encoder's 16-bit sample format when it has one.
AVSampleFormat pick_sample_format(const AVCodec* codec) {
  if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
  for (AVSampleFormat wanted :
       {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT}) {
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
      if (*f == wanted) return wanted;
    }
  }
  return codec->sample_fmts[0];
}

bool source_usable(const WAVEFORMATEX& src) {
  return src.wFormatTag == WAVE_FORMAT_PCM && src.wBitsPerSample == 16 &&
         (src.nChannels == 1 || src.nChannels == 2) && src.nSamplesPerSec >= 8000 &&
         src.nSamplesPerSec <= 192000;
}

}  // namespace

int ff_target_rate(const FfFormat& fmt, const WAVEFORMATEX& src) {
  return fmt.mono_8khz ? 8000 : static_cast<int>(src.nSamplesPerSec);
}

int ff_target_channels(const FfFormat& fmt, const WAVEFORMATEX& src) {
  return fmt.mono_8khz ? 1 : src.nChannels;
}

AVCodecContext* ff_encoder_open(const FfFormat& fmt, const WAVEFORMATEX& src) {
  if (!source_usable(src)) return nullptr;
  const AVCodec* codec = avcodec_find_encoder_by_name(fmt.encoder);
  if (codec == nullptr) return nullptr;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  if (ctx == nullptr) return nullptr;
  ctx->sample_rate = ff_target_rate(fmt, src);
  av_channel_layout_default(&ctx->ch_layout, ff_target_channels(fmt, src));
  ctx->sample_fmt = pick_sample_format(codec);
  ctx->time_base = AVRational{1, ctx->sample_rate};
  if (fmt.bit_rate_kbps != 0) ctx->bit_rate = int64_t{fmt.bit_rate_kbps} * 1000;
  if (avcodec_open2(ctx, codec, nullptr) < 0) {
    avcodec_free_context(&ctx);
    return nullptr;
  }
  return ctx;
}

bool ff_encoder_probe(const FfFormat& fmt, const WAVEFORMATEX& src, FfEncoderInfo* info) {
  AVCodecContext* ctx = ff_encoder_open(fmt, src);
  if (ctx == nullptr) return false;
  std::memset(info, 0, sizeof *info);
  info->sample_rate = ctx->sample_rate;
  info->channels = ctx->ch_layout.nb_channels;
  info->frame_size = ctx->frame_size;
  info->block_align = ctx->block_align;
  info->initial_padding = ctx->initial_padding;
  if (ctx->extradata != nullptr && ctx->extradata_size > 0 &&
      static_cast<size_t>(ctx->extradata_size) <= sizeof info->extradata) {
    info->extradata_size = ctx->extradata_size;
    std::memcpy(info->extradata, ctx->extradata, static_cast<size_t>(ctx->extradata_size));
  }
  avcodec_free_context(&ctx);
  const bool block_codec =
      fmt.tag == WAVE_FORMAT_IMA_ADPCM || fmt.tag == WAVE_FORMAT_ADPCM || fmt.tag == WAVE_FORMAT_GSM610;
  if (block_codec && (info->frame_size <= 0 || info->block_align <= 0)) return false;
  return true;
}
