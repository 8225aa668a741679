// The codec manager's own contract and its built-in PCM driver, called as the writer calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/msacm/acm_reason.h"
#include "platform/msacm/msacm.h"

namespace {

const WAVEFORMATEX kSource{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};

std::vector<AcmFormatOffer> offers_for(const WAVEFORMATEX& src) {
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  return offers;
}

const AcmFormatOffer* find_offer(const std::vector<AcmFormatOffer>& offers, const char* name) {
  for (const AcmFormatOffer& o : offers) {
    if (std::strcmp(o.short_name, name) == 0) return &o;
  }
  return nullptr;
}

// Opens a stream to the named PCM offer, converts the samples and returns the produced bytes.
std::vector<uint8_t> convert_pcm(const char* name, const std::vector<int16_t>& samples) {
  std::vector<AcmFormatOffer> offers = offers_for(kSource);
  const AcmFormatOffer* offer = find_offer(offers, name);
  EXPECT_NE(offer, nullptr) << name;
  if (offer == nullptr) return {};
  HACMSTREAM has = nullptr;
  EXPECT_EQ(
      acmStreamOpen(&has, nullptr, &kSource, &offer->format.wfx, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME),
      MMSYSERR_NOERROR);
  std::vector<uint8_t> src(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    src[2 * i] = static_cast<uint8_t>(samples[i]);
    src[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  DWORD dst_size = 0;
  EXPECT_EQ(acmStreamSize(has, static_cast<DWORD>(src.size()), &dst_size, ACM_STREAMSIZEF_SOURCE),
            MMSYSERR_NOERROR);
  std::vector<uint8_t> dst(dst_size);
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = src.data();
  h.cbSrcLength = static_cast<DWORD>(src.size());
  h.pbDst = dst.data();
  h.cbDstLength = dst_size;
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamConvert(has, &h, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
  EXPECT_EQ(h.cbSrcLengthUsed, src.size());
  EXPECT_EQ(h.cbDstLengthUsed, dst_size);
  EXPECT_NE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE, 0u);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  dst.resize(h.cbDstLengthUsed);
  return dst;
}

TEST(PcmDriver, OffersSixteenBitLikeTheSourceFirst) {
  std::vector<AcmFormatOffer> offers = offers_for(kSource);
  ASSERT_GE(offers.size(), 4u);
  const WAVEFORMATEX& first = offers[0].format.wfx;
  EXPECT_EQ(+first.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(+first.nChannels, 2);
  EXPECT_EQ(+first.nSamplesPerSec, 44100u);
  EXPECT_EQ(+first.wBitsPerSample, 16);
  EXPECT_EQ(+first.cbSize, 0);
  EXPECT_STREQ(offers[0].short_name, "pcm16");
  EXPECT_STREQ(offers[0].format_tag_name, "PCM");
  EXPECT_STREQ(offers[0].description, "44.100 kHz, 16 Bit, Stereo");
  const AcmFormatOffer* mono8 = find_offer(offers, "pcm8-mono");
  ASSERT_NE(mono8, nullptr);
  EXPECT_STREQ(mono8->description, "44.100 kHz, 8 Bit, Mono");
  EXPECT_EQ(+mono8->format.wfx.nBlockAlign, 1);
  EXPECT_EQ(+mono8->format.wfx.nAvgBytesPerSec, 44100u);
  // Every offer is one the manager can open from the source (the suggest rule).
  for (const AcmFormatOffer& o : offers) {
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &kSource, &o.format.wfx, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR)
        << o.short_name;
  }
}

TEST(PcmDriver, NothingIsOfferedForSourcesItCannotRead) {
  WAVEFORMATEX eight_bit{WAVE_FORMAT_PCM, 2, 48000, 96000, 2, 8, 0};
  AcmFormatOffer offers[8];
  EXPECT_EQ(acmFormatEnumOffers(&eight_bit, offers, 8, 0), 0u);
}

TEST(PcmDriver, ConvertsSampleValuesToEachFormat) {
  const std::vector<int16_t> in = {0, 0, 32767, -32768, -1, 1, 1000, -3000};
  EXPECT_EQ(convert_pcm("pcm16", in).size(), 16u);
  std::vector<uint8_t> u8 = convert_pcm("pcm8", in);
  EXPECT_EQ(u8, (std::vector<uint8_t>{128, 128, 255, 0, 127, 128, 131, 116}));
  std::vector<uint8_t> mono = convert_pcm("pcm16-mono", in);
  ASSERT_EQ(mono.size(), 8u);
  auto s16 = [&](size_t i) { return static_cast<int16_t>(mono[2 * i] | (mono[2 * i + 1] << 8)); };
  EXPECT_EQ(s16(0), 0);
  EXPECT_EQ(s16(1), -1);  // (32767 - 32768) / 2 rounded down
  EXPECT_EQ(s16(2), 0);
  EXPECT_EQ(s16(3), -1000);
  std::vector<uint8_t> s24 = convert_pcm("pcm24", in);
  ASSERT_EQ(s24.size(), 24u);
  EXPECT_EQ(std::vector<uint8_t>(s24.begin() + 6, s24.begin() + 12),
            (std::vector<uint8_t>{0, 0xFF, 0x7F, 0, 0x00, 0x80}));
  std::vector<uint8_t> fl = convert_pcm("float", in);
  ASSERT_EQ(fl.size(), 32u);
  float v = 0;
  std::memcpy(&v, fl.data() + 12, 4);  // -32768
  EXPECT_EQ(v, -1.0f);
}

TEST(AcmStream, RefusesBadHandlesFlagsAndHeaders) {
  const WAVEFORMATEX dst{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  HACMSTREAM has = nullptr;
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &kSource, &dst, nullptr, 0, 0, 0x100), MMSYSERR_INVALFLAG);
  EXPECT_EQ(acmStreamOpen(&has, nullptr, nullptr, &dst, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);
  const WAVEFORMATEX other_rate{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  EXPECT_EQ(acmStreamOpen(&has, nullptr, &kSource, &other_rate, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
  ASSERT_EQ(acmStreamOpen(&has, nullptr, &kSource, &dst, nullptr, 0, 0, 0), MMSYSERR_NOERROR);

  uint8_t src[64] = {};
  uint8_t out[64] = {};
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = src;
  h.cbSrcLength = sizeof src;
  h.pbDst = out;
  h.cbDstLength = sizeof out;
  EXPECT_EQ(acmStreamConvert(has, &h, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 1), MMSYSERR_INVALFLAG);
  ASSERT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamConvert(has, &h, 0x1000), MMSYSERR_INVALFLAG);
  h.cbSrcLength = sizeof src + 4;  // more than was prepared
  EXPECT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_INVALPARAM);
  h.cbSrcLength = 6;  // one and a half sample pairs: only the whole pair is taken
  EXPECT_EQ(acmStreamConvert(has, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
  EXPECT_EQ(h.cbSrcLengthUsed, 4u);
  h.cbSrcLength = sizeof src;
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  // The handle is gone now.
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_INVALHANDLE);
  DWORD size = 0;
  EXPECT_EQ(acmStreamSize(has, 6144, &size, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmFormatChoose, TooSmallBufferAndBadRequestsAreRefused) {
  WAVEFORMATEX src = kSource;
  WAVEFORMATEX out{};
  ACMFORMATCHOOSEA afc{};
  afc.cbStruct = sizeof afc;
  afc.pwfx = &out;
  afc.cbwfx = sizeof out;
  afc.fdwEnum = ACM_FORMATENUMF_SUGGEST;
  afc.pwfxEnum = &src;
  EXPECT_EQ(acmFormatChooseA(&afc), MMSYSERR_NOERROR);
  EXPECT_EQ(+out.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_STREQ(afc.szFormatTag, "PCM");
  afc.cbwfx = 10;
  EXPECT_EQ(acmFormatChooseA(&afc), MMSYSERR_INVALPARAM);
  afc.cbwfx = sizeof out;
  afc.fdwStyle = 1;
  EXPECT_EQ(acmFormatChooseA(&afc), MMSYSERR_INVALFLAG);
  afc.fdwStyle = 0;
  afc.cbStruct = 4;
  EXPECT_EQ(acmFormatChooseA(&afc), MMSYSERR_INVALPARAM);

  // An offer larger than the caller's buffer: 512, with the chooser's text for it.
  AcmFormatOffer big{};
  big.format.wfx = WAVEFORMATEX{0x7A03, 2, 48000, 1, 1, 0, 41 + 1};
  uint8_t buffer[59];
  afc.cbStruct = sizeof afc;
  afc.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer);
  afc.cbwfx = sizeof buffer;
  EXPECT_EQ(acmFormatOfferTake(&afc, &big), ACMERR_NOTPOSSIBLE);
  char text[200];
  acm_reason(AcmCall::format_choose, ACMERR_NOTPOSSIBLE, text, sizeof text);
  EXPECT_STREQ(
      text,
      "The buffer identified by the pwfx member of the ACMFORMATCHOOSE structure is too small to contain the "
      "selected format.");
  acm_reason(AcmCall::stream_open, ACMERR_NOTPOSSIBLE, text, sizeof text);
  EXPECT_STREQ(text, "The requested operation cannot be performed.");
  acm_reason(AcmCall::stream_close, MMSYSERR_INVALPARAM, text, sizeof text);  // no row for close
  EXPECT_STREQ(text, "Unknown error code (11)");
}

}  // namespace
