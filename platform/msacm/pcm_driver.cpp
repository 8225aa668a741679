#include "pcm_driver.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>

#include "format_text.h"

namespace {

struct PcmKind {
  WORD tag;
  WORD bits;
  const char* name;  // short name stem
};

// In the order the chooser offers them; the first is the default format.
constexpr PcmKind kKinds[] = {
    {WAVE_FORMAT_PCM, 16, "pcm16"},
    {WAVE_FORMAT_PCM, 8, "pcm8"},
    {WAVE_FORMAT_PCM, 24, "pcm24"},
    {WAVE_FORMAT_IEEE_FLOAT, 32, "float"},
};

struct PcmStream {
  uint16_t src_channels;
  uint16_t dst_channels;
  uint16_t dst_bits;
  bool dst_float;
};

bool source_usable(const WAVEFORMATEX* src) {
  return src->wFormatTag == WAVE_FORMAT_PCM && src->wBitsPerSample == 16 &&
         (src->nChannels == 1 || src->nChannels == 2) && src->nSamplesPerSec > 0 &&
         src->nBlockAlign == src->nChannels * 2;
}

bool kind_known(WORD tag, WORD bits) {
  for (const PcmKind& k : kKinds) {
    if (k.tag == tag && k.bits == bits) return true;
  }
  return false;
}

size_t pcm_suggest(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity) {
  if (!source_usable(src)) return 0;
  size_t n = 0;
  const uint16_t own = src->nChannels;
  const uint16_t other = own == 2 ? 1 : 2;
  for (const PcmKind& k : kKinds) {
    for (uint16_t ch : {own, other}) {
      if (n == capacity) return n;
      AcmFormatOffer& o = offers[n++];
      std::memset(&o, 0, sizeof o);
      const WORD align = static_cast<WORD>(ch * k.bits / 8);
      format_offer_header(&o, k.tag, ch, src->nSamplesPerSec, src->nSamplesPerSec * align, align, k.bits, 0);
      std::snprintf(o.format_tag_name, sizeof o.format_tag_name, "%s",
                    k.tag == WAVE_FORMAT_PCM ? "PCM" : "IEEE Float");
      char middle[32];
      std::snprintf(middle, sizeof middle, "%u Bit", static_cast<unsigned>(k.bits));
      format_text_describe(o.description, sizeof o.description, src->nSamplesPerSec, middle, ch);
      if (ch == own) {
        std::snprintf(o.short_name, sizeof o.short_name, "%s", k.name);
      } else {
        std::snprintf(o.short_name, sizeof o.short_name, "%s-%s", k.name, ch == 1 ? "mono" : "stereo");
      }
    }
  }
  return n;
}

MMRESULT pcm_open(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, DWORD flags, void** stream) {
  if (!source_usable(src) || !kind_known(dst->wFormatTag, dst->wBitsPerSample) ||
      (dst->nChannels != 1 && dst->nChannels != 2) || dst->nSamplesPerSec != src->nSamplesPerSec ||
      dst->nBlockAlign != dst->nChannels * dst->wBitsPerSample / 8 ||
      dst->nAvgBytesPerSec != dst->nSamplesPerSec * dst->nBlockAlign) {
    return ACMERR_NOTPOSSIBLE;
  }
  if ((flags & ACM_STREAMOPENF_QUERY) != 0) return MMSYSERR_NOERROR;
  auto* s = new (std::nothrow) PcmStream{src->nChannels, dst->nChannels, dst->wBitsPerSample,
                                         dst->wFormatTag == WAVE_FORMAT_IEEE_FLOAT};
  if (s == nullptr) return MMSYSERR_NOMEM;
  *stream = s;
  return MMSYSERR_NOERROR;
}

MMRESULT pcm_size(void* stream, DWORD input, DWORD* output, DWORD flags) {
  const auto* s = static_cast<const PcmStream*>(stream);
  const DWORD src_align = s->src_channels * 2u;
  const DWORD dst_align = s->dst_channels * s->dst_bits / 8u;
  const uint64_t out = flags == ACM_STREAMSIZEF_DESTINATION ? uint64_t{input / dst_align} * src_align
                                                            : uint64_t{input / src_align} * dst_align;
  if (out == 0 || out > UINT32_MAX) return ACMERR_NOTPOSSIBLE;
  *output = static_cast<DWORD>(out);
  return MMSYSERR_NOERROR;
}

int16_t sample_at(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Writes one 16-bit sample value in the destination's sample format; returns the bytes written.
size_t put_sample(uint8_t* out, int value, const PcmStream& s) {
  if (s.dst_float) {
    float f = static_cast<float>(value) / 32768.0f;
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
    return 4;
  }
  switch (s.dst_bits) {
    case 8:
      out[0] = static_cast<uint8_t>((value >> 8) + 128);
      return 1;
    case 24:
      out[0] = 0;
      out[1] = static_cast<uint8_t>(value);
      out[2] = static_cast<uint8_t>(value >> 8);
      return 3;
    default:
      out[0] = static_cast<uint8_t>(value);
      out[1] = static_cast<uint8_t>(value >> 8);
      return 2;
  }
}

MMRESULT pcm_convert(void* stream, ACMSTREAMHEADER* pash, DWORD) {
  const auto& s = *static_cast<const PcmStream*>(stream);
  const DWORD src_align = s.src_channels * 2u;
  const DWORD dst_align = s.dst_channels * s.dst_bits / 8u;
  const DWORD frames = std::min(pash->cbSrcLength / src_align, pash->cbDstLength / dst_align);
  const uint8_t* in = pash->pbSrc;
  uint8_t* out = pash->pbDst;
  if (!s.dst_float && s.dst_bits == 16 && s.dst_channels == s.src_channels) {
    // The same format on both sides: the bytes pass as they are.
    std::memcpy(out, in, frames * src_align);
    pash->cbSrcLengthUsed = frames * src_align;
    pash->cbDstLengthUsed = frames * dst_align;
    return MMSYSERR_NOERROR;
  }
  for (DWORD i = 0; i < frames; ++i) {
    const int left = sample_at(in);
    const int right = s.src_channels == 2 ? sample_at(in + 2) : left;
    in += src_align;
    if (s.dst_channels == 1) {
      out += put_sample(out, (left + right) >> 1, s);
    } else {
      out += put_sample(out, left, s);
      out += put_sample(out, right, s);
    }
  }
  pash->cbSrcLengthUsed = frames * src_align;
  pash->cbDstLengthUsed = frames * dst_align;
  return MMSYSERR_NOERROR;
}

void pcm_close(void* stream) { delete static_cast<PcmStream*>(stream); }

constexpr AcmDriver kPcmDriver = {
    ACM_DRIVER_INTERFACE_VERSION, "PCM", pcm_suggest, pcm_open, pcm_size, pcm_convert, pcm_close};

}  // namespace

const AcmDriver* pcm_driver() { return &kPcmDriver; }
