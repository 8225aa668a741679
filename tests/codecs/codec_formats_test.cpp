// Every offered format, written through the writer and read back by ffprobe and ffmpeg as
// independent readers: the right codec, rate and channels, a header of 46 + c bytes (and a fact
// chunk for all but PCM) holding the fields the codec reported, the whole input decoded (the END
// flush at close), and audio that matches the source within what the codec can do.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "codec_support.h"
#include "platform/msacm/msacm.h"
#include "support/paths.h"

namespace codec_test {
namespace {

struct Expect {
  const char* name;
  const char* codec;  // ffprobe's codec_name
  int channels;
  uint32_t rate;      // 0: the source's rate
  double min_snr_db;  // at 48 kHz on programme(); see kMeasured below
  bool delayed;       // the codec delays its output (nCodecDelay in the extra bytes)
};

// Signal-to-error bars, each set just below what was measured on programme(48000, 40) with the
// Debian 12 libavcodec 59.37 encoders (measured: ima 39.72, ms 39.08, alaw 37.42, mulaw 37.10,
// gsm 16.03 against ffmpeg's own 8 kHz mono reduction of the source, mp3 24.22 / 28.25 / 33.95 /
// 35.51, pcm8 24.44 and mono pcm8 21.38). Lossless formats must be exact (200 stands for no error).
const Expect kExpected[] = {
    {"pcm16", "pcm_s16le", 2, 0, 200, false},
    {"pcm16-mono", "pcm_s16le", 1, 0, 200, false},
    {"pcm8", "pcm_u8", 2, 0, 24.0, false},
    {"pcm8-mono", "pcm_u8", 1, 0, 21.0, false},
    {"pcm24", "pcm_s24le", 2, 0, 200, false},
    {"pcm24-mono", "pcm_s24le", 1, 0, 200, false},
    {"float", "pcm_f32le", 2, 0, 200, false},
    {"float-mono", "pcm_f32le", 1, 0, 200, false},
    {"ima-adpcm", "adpcm_ima_wav", 2, 0, 39.0, false},
    {"ms-adpcm", "adpcm_ms", 2, 0, 38.5, false},
    {"alaw", "pcm_alaw", 2, 0, 37.0, false},
    {"mulaw", "pcm_mulaw", 2, 0, 36.5, false},
    {"gsm", "gsm_ms", 1, 8000, 15.5, false},
    {"mp3-128", "mp3", 2, 0, 23.5, true},
    {"mp3-192", "mp3", 2, 0, 27.5, true},
    {"mp3-256", "mp3", 2, 0, 33.5, true},
    {"mp3-320", "mp3", 2, 0, 35.0, true},
};

void PrintTo(const Expect& e, std::ostream* os) { *os << e.name; }

constexpr int kFrames = 40;  // AC-3 frames of programme: 61440 sample pairs
constexpr size_t kFrameSamples = 1536;

// Our own mono reduction, the one the PCM driver makes: (L + R) / 2 rounded down.
std::vector<int16_t> mono_of(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> mono(stereo.size() / 2);
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
  return mono;
}

const AcmFormatOffer* find_offer(const std::vector<AcmFormatOffer>& offers, const char* name) {
  for (const AcmFormatOffer& o : offers) {
    if (std::strcmp(o.short_name, name) == 0) return &o;
  }
  return nullptr;
}

class CodecFormat : public testing::TestWithParam<Expect> {};

TEST_P(CodecFormat, RoundTripsThroughFfmpegAt48kHz) {
  const Expect& e = GetParam();
  const uint32_t rate = 48000;
  const std::vector<int16_t> source = programme(rate, kFrames);
  const std::string dir = qelp_test::scratch_dir();
  const std::string path = dir + "/" + e.name + ".wav";
  ASSERT_EQ(write_wave(e.name, rate, source, path), "");

  // The header holds exactly the format the codec offered.
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  const AcmFormatOffer* offer = find_offer(offers, e.name);
  ASSERT_NE(offer, nullptr);
  const WAVEFORMATEX& w = offer->format.wfx;
  WaveHeader h = read_header(path);
  EXPECT_EQ(h.fmt_size, 18u + w.cbSize);
  EXPECT_EQ(h.extra_size, +w.cbSize);
  // Every format but PCM has a fact chunk with the sample frames per channel.
  const uint32_t out_rate = e.rate != 0 ? e.rate : rate;
  const bool pcm = w.wFormatTag == WAVE_FORMAT_PCM;
  EXPECT_EQ(h.has_fact, !pcm);
  if (!pcm) {
    EXPECT_EQ(h.fact_frames, source.size() / 2 * out_rate / rate);
  }
  EXPECT_EQ(h.data_offset, 46u + w.cbSize + (pcm ? 0 : 12));
  EXPECT_EQ(h.file_size, h.data_offset + h.data_size);
  EXPECT_EQ(h.riff_size, h.file_size - 8);
  EXPECT_EQ(h.tag, +w.wFormatTag);
  EXPECT_EQ(h.channels, +w.nChannels);
  EXPECT_EQ(h.rate, +w.nSamplesPerSec);
  EXPECT_EQ(h.avg_bytes, +w.nAvgBytesPerSec);
  EXPECT_EQ(h.block_align, +w.nBlockAlign);
  EXPECT_EQ(h.bits, +w.wBitsPerSample);
  EXPECT_EQ(h.extra, std::vector<uint8_t>(offer->format.extra, offer->format.extra + w.cbSize));
  if (h.block_align > 1) {
    EXPECT_EQ(h.data_size % h.block_align, 0u) << "a partial block was written";
  }

  // ffprobe reads it as the codec we meant.
  auto p = probe(path);
  EXPECT_EQ(p["codec_name"], e.codec);
  EXPECT_EQ(p["sample_rate"], std::to_string(out_rate));
  EXPECT_EQ(p["channels"], std::to_string(e.channels));

  // ffmpeg decodes the whole input: nothing of the tail is lost, at most one AC-3 frame is added.
  std::vector<int16_t> ref;
  if (out_rate != rate) {
    ASSERT_EQ(write_wave("pcm16", rate, source, dir + "/ref.wav"), "");
    ref = decode(dir + "/ref.wav", e.channels, out_rate);  // ffmpeg's own reduction for GSM
  } else {
    ref = e.channels == 1 ? mono_of(source) : source;
  }
  std::vector<int16_t> got = decode(path, e.channels, out_rate);
  int lag = 0;
  const double snr = snr_db(ref, got, e.channels, e.delayed ? 4000 : 0, &lag);
  const size_t in_frames = ref.size() / e.channels;
  const size_t out_frames = got.size() / e.channels - static_cast<size_t>(lag);
  const size_t frame_at_rate = kFrameSamples * out_rate / rate;
  EXPECT_GE(out_frames, in_frames) << "the tail of the input is missing";
  EXPECT_LE(out_frames, in_frames + frame_at_rate);
  if (e.delayed) {
    // The delay the decoder shows is the one the format announces (MPEGLAYER3WAVEFORMAT nCodecDelay).
    EXPECT_EQ(lag, h.extra[10] | (h.extra[11] << 8));
  }
  EXPECT_GE(snr, e.min_snr_db) << "lag " << lag;
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, CodecFormat, testing::ValuesIn(kExpected),
                         [](const testing::TestParamInfo<Expect>& info) {
                           std::string n = info.param.name;
                           for (char& c : n) {
                             if (c == '-') c = '_';
                           }
                           return n;
                         });

TEST(CodecOffers, EveryCompressedFormatIsOfferedAtEachAc3Rate) {
  for (uint32_t rate : {48000u, 44100u, 32000u}) {
    WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
    std::vector<AcmFormatOffer> offers(64);
    offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
    for (const Expect& e : kExpected) {
      const AcmFormatOffer* o = find_offer(offers, e.name);
      ASSERT_NE(o, nullptr) << e.name << " at " << rate;
      EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &o->format.wfx, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
                MMSYSERR_NOERROR)
          << e.name;
    }
    EXPECT_STREQ(find_offer(offers, "pcm16")->short_name, offers[0].short_name);  // the default comes first
  }
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  EXPECT_STREQ(find_offer(offers, "ima-adpcm")->description, "44.100 kHz, 4 Bit, Stereo");
  EXPECT_STREQ(find_offer(offers, "ima-adpcm")->format_tag_name, "IMA ADPCM");
  EXPECT_STREQ(find_offer(offers, "gsm")->description, "8.000 kHz, Mono");
  EXPECT_STREQ(find_offer(offers, "mp3-192")->description, "44.100 kHz, 192 kBit/s, Stereo");
}

TEST(CodecOffers, FormatsDifferingFromTheOfferAreRefusedAtOpen) {
  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  const AcmFormatOffer* ima = find_offer(offers, "ima-adpcm");
  ASSERT_NE(ima, nullptr);
  AcmFormatBuffer changed = ima->format;
  changed.wfx.nBlockAlign = 2048;  // a block size the encoder does not make
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &changed.wfx, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
            ACMERR_NOTPOSSIBLE);
  const AcmFormatOffer* mp3 = find_offer(offers, "mp3-128");
  ASSERT_NE(mp3, nullptr);
  changed = mp3->format;
  changed.wfx.nAvgBytesPerSec = 100 * 125;  // 100 kbit/s is not offered
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &changed.wfx, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
            ACMERR_NOTPOSSIBLE);
}

class CodecAtRate : public testing::TestWithParam<std::tuple<const char*, uint32_t>> {};

// The block and bit-rate codecs at the other AC-3 rates: right rate, whole input decoded.
TEST_P(CodecAtRate, KeepsRateAndLength) {
  const char* name = std::get<0>(GetParam());
  const uint32_t rate = std::get<1>(GetParam());
  const std::vector<int16_t> source = programme(rate, 20);
  const std::string path = qelp_test::scratch_dir() + "/out.wav";
  ASSERT_EQ(write_wave(name, rate, source, path), "");
  const bool gsm = std::strcmp(name, "gsm") == 0;
  const uint32_t out_rate = gsm ? 8000 : rate;
  const int channels = gsm ? 1 : 2;
  auto p = probe(path);
  EXPECT_EQ(p["sample_rate"], std::to_string(out_rate));
  std::vector<int16_t> got = decode(path, channels, out_rate);
  const double seconds_in = static_cast<double>(source.size() / 2) / rate;
  const double seconds_out = static_cast<double>(got.size() / channels) / out_rate;
  const double delay = std::strncmp(name, "mp3", 3) == 0 ? 1105.0 / rate : 0.0;
  EXPECT_GE(seconds_out - delay, seconds_in - 1e-9);
  EXPECT_LE(seconds_out - delay, seconds_in + 1536.0 / rate);
}

INSTANTIATE_TEST_SUITE_P(OtherRates, CodecAtRate,
                         testing::Combine(testing::Values("ima-adpcm", "ms-adpcm", "gsm", "mp3-128",
                                                          "mp3-320"),
                                          testing::Values(44100u, 32000u)));

}  // namespace
}  // namespace codec_test
