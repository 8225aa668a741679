// How the drivers describe a format in the chooser: "48.000 kHz, 16 Bit, Stereo". Header-only so
// that a driver module built on its own can use it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "msacm.h"

// The sampling rate as the chooser shows it: 44100 -> "44.100 kHz".
inline void format_text_rate(char* out, size_t size, uint32_t rate) {
  std::snprintf(out, size, "%u.%03u kHz", rate / 1000u, rate % 1000u);
}

inline const char* format_text_channels(uint16_t channels) {
  return channels == 1 ? "Mono" : channels == 2 ? "Stereo" : "Multichannel";
}

// "<rate>, <middle>, <channels>", e.g. middle "16 Bit" or "128 kBit/s".
inline void format_text_describe(char* out, size_t size, uint32_t rate, const char* middle,
                                 uint16_t channels) {
  char r[32];
  format_text_rate(r, sizeof r, rate);
  std::snprintf(out, size, "%s, %s, %s", r, middle, format_text_channels(channels));
}

// Fills the common WAVEFORMATEX fields of an offer.
inline WAVEFORMATEX* format_offer_header(AcmFormatOffer* offer, WORD tag, WORD channels, DWORD rate,
                                         DWORD avg_bytes, WORD block_align, WORD bits, WORD extra) {
  WAVEFORMATEX* w = &offer->format.wfx;
  w->wFormatTag = tag;
  w->nChannels = channels;
  w->nSamplesPerSec = rate;
  w->nAvgBytesPerSec = avg_bytes;
  w->nBlockAlign = block_align;
  w->wBitsPerSample = bits;
  w->cbSize = extra;
  return w;
}
