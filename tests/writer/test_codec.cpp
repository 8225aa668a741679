#include "test_codec.h"

#include <algorithm>
#include <cstring>

#include "platform/msacm/format_text.h"

namespace writer_test {

namespace {

TestCodec g_codec;
int g_stream_token = 0;

bool source_ok(const WAVEFORMATEX* src) {
  return src->wFormatTag == WAVE_FORMAT_PCM && src->nChannels == 2 && src->wBitsPerSample == 16;
}

size_t suggest(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity) {
  if (!source_ok(src) || capacity == 0) return 0;
  AcmFormatOffer& o = offers[0];
  std::memset(&o, 0, sizeof o);
  format_offer_header(&o, kTestTag, 2, src->nSamplesPerSec, src->nSamplesPerSec * 4, 4, 16,
                      g_codec.extra_size);
  for (WORD i = 0; i < g_codec.extra_size; ++i) o.format.extra[i] = static_cast<uint8_t>(0x10 + i);
  std::snprintf(o.format_tag_name, sizeof o.format_tag_name, "Test Codec");
  format_text_describe(o.description, sizeof o.description, src->nSamplesPerSec, "16 Bit", 2);
  std::snprintf(o.short_name, sizeof o.short_name, "test");
  return 1;
}

MMRESULT open(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, DWORD flags, void** stream) {
  if (!source_ok(src) || dst->wFormatTag != kTestTag) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_STREAMOPENF_QUERY) == 0) *stream = &g_stream_token;
  return MMSYSERR_NOERROR;
}

MMRESULT size(void*, DWORD input, DWORD* output, DWORD) {
  *output = static_cast<DWORD>(uint64_t{input} * g_codec.suggested / 6144);
  return MMSYSERR_NOERROR;
}

MMRESULT convert(void*, ACMSTREAMHEADER* pash, DWORD flags) {
  TestCodec& c = g_codec;
  c.calls.push_back(
      {flags, pash->cbSrcLength, std::vector<uint8_t>(pash->pbSrc, pash->pbSrc + pash->cbSrcLength)});
  if (c.fail_on_call != 0 && static_cast<int>(c.calls.size()) == c.fail_on_call) return c.fail_code;
  if (c.never_consume) return MMSYSERR_NOERROR;
  const bool end = (flags & ACM_STREAMCONVERTF_END) != 0;
  DWORD take = pash->cbSrcLength;
  if (!end && c.consume != 0) take = std::min(take, c.consume);
  if (c.hold_until_end) {
    c.held.insert(c.held.end(), pash->pbSrc, pash->pbSrc + take);
    pash->cbSrcLengthUsed = take;
    if (end) {
      const DWORD out = static_cast<DWORD>(std::min<size_t>(c.held.size(), pash->cbDstLength));
      if (out > 0) std::memcpy(pash->pbDst, c.held.data(), out);
      c.held.erase(c.held.begin(), c.held.begin() + out);
      pash->cbDstLengthUsed = out;
    }
    return MMSYSERR_NOERROR;
  }
  take = std::min(take, pash->cbDstLength);
  std::memcpy(pash->pbDst, pash->pbSrc, take);
  pash->cbSrcLengthUsed = take;
  pash->cbDstLengthUsed = take;
  return MMSYSERR_NOERROR;
}

void close(void*) {}

constexpr AcmDriver kDriver = {ACM_DRIVER_INTERFACE_VERSION, "test", suggest, open, size, convert, close};

}  // namespace

TestCodec& test_codec() { return g_codec; }
void test_codec_reset() { g_codec = TestCodec{}; }
const AcmDriver* test_codec_driver() { return &kDriver; }

MMRESULT choose_by_name(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* name) {
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(offers[i].short_name, static_cast<const char*>(name)) == 0)
      return acmFormatOfferTake(afc, &offers[i]);
  }
  return MMSYSERR_INVALPARAM;
}

MMRESULT choose_cancel(ACMFORMATCHOOSEA*, const AcmFormatOffer*, size_t, void*) { return ACMERR_CANCELED; }

MMRESULT choose_unavailable(ACMFORMATCHOOSEA* afc, const AcmFormatOffer*, size_t, void*) {
  WAVEFORMATEX w{0x7A02, 2, afc->pwfxEnum->nSamplesPerSec, afc->pwfxEnum->nSamplesPerSec * 4, 4, 16, 0};
  std::memcpy(afc->pwfx, &w, sizeof w);
  std::snprintf(afc->szFormatTag, sizeof afc->szFormatTag, "Nobody's codec");
  return MMSYSERR_NOERROR;
}

}  // namespace writer_test
