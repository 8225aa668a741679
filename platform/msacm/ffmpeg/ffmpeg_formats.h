// The compressed formats the FFmpeg driver makes, and how each is described in a WAVE file.
#pragma once

#include <cstddef>

#include "platform/msacm/msacm.h"

struct FfFormat {
  WORD tag;
  const char* encoder;   // libavcodec encoder name
  const char* tag_name;  // format-tag name the chooser shows
  const char* short_name;
  int bit_rate_kbps;  // MP3 only
  bool mono_8khz;     // GSM 6.10: always 8 kHz mono
};

// The formats in the order they are offered.
const FfFormat* ff_formats(size_t* count);

// Fills offer with the format fmt makes from src, as the encoder reports it; false when the
// encoder is missing or refuses the source.
bool ff_describe(const FfFormat& fmt, const WAVEFORMATEX& src, AcmFormatOffer* offer);
