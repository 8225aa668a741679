// Opening a libavcodec encoder for one of the driver's formats and a source format.
#pragma once

#include <cstdint>

#include "ffmpeg_formats.h"

struct AVCodecContext;

struct FfEncoderInfo {
  int sample_rate;
  int channels;
  int frame_size;       // samples per block the encoder takes
  int block_align;      // bytes per block (0: variable)
  int initial_padding;  // samples of encoder delay
  int extradata_size;
  uint8_t extradata[64];
};

// The channel count and rate fmt encodes at for this source.
int ff_target_rate(const FfFormat& fmt, const WAVEFORMATEX& src);
int ff_target_channels(const FfFormat& fmt, const WAVEFORMATEX& src);

// Opens the encoder, or returns nullptr when it is missing or refuses the source.
AVCodecContext* ff_encoder_open(const FfFormat& fmt, const WAVEFORMATEX& src);

// Opens the encoder once to learn its block layout and extra data.
bool ff_encoder_probe(const FfFormat& fmt, const WAVEFORMATEX& src, FfEncoderInfo* info);
