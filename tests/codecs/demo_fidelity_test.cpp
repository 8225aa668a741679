// The bundled sample through every offered format, decoded by ffmpeg and compared with the 16-bit
// PCM the engine handed to the writer in that same conversion (the decoder's dither runs on from
// one conversion to the next, so two conversions of a file differ slightly).
#include <gtest/gtest.h>

#include <cstring>

#include "codec_support.h"
#include "engine_codec.h"
#include "platform/msacm/msacm.h"
#include "support/paths.h"

namespace codec_test {
namespace {

struct Bar {
  const char* name;
  double min_snr_db;  // 200: exact
  int max_lag;        // encoder delay searched, in sample frames
};

// Set just below what was measured on samples/demo.ac3 with the Debian 12 libavcodec 59.37 encoders
// (measured: pcm8 27.20, pcm8-mono 23.33, ima-adpcm 26.49, ms-adpcm 25.73, alaw 37.68, mulaw 37.42,
// gsm 15.98 against ffmpeg's own 8 kHz mono reduction, mp3 15.63 / 20.37 / 23.81 / 31.20 after the
// encoder's 1105-sample delay). Lossless formats must be exact (200 stands for no error).
const Bar kBars[] = {
    {"pcm16", 200, 0},       {"pcm16-mono", 200, 0},  {"pcm8", 27.0, 0},       {"pcm8-mono", 23.0, 0},
    {"pcm24", 200, 0},       {"pcm24-mono", 200, 0},  {"float", 200, 0},       {"float-mono", 200, 0},
    {"ima-adpcm", 26.0, 0},  {"ms-adpcm", 25.5, 0},   {"alaw", 37.5, 0},       {"mulaw", 37.0, 0},
    {"gsm", 15.5, 0},        {"mp3-128", 15.3, 4000}, {"mp3-192", 20.0, 4000}, {"mp3-256", 23.5, 4000},
    {"mp3-320", 30.8, 4000},
};

std::vector<int16_t> mono_of(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> mono(stereo.size() / 2);
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
  return mono;
}

TEST(DemoFidelity, EveryFormatDecodesToOurPcmOutput) {
  const std::string demo = qelp_test::source_path("samples/demo.ac3");
  const std::string dir = qelp_test::scratch_dir();
  CQelpsnd engine;
  std::vector<int16_t> probe_pcm;
  ASSERT_EQ(engine_convert(engine, demo, dir + "/probe.wav", "pcm16", &probe_pcm), 1)
      << engine.m_lastErrorText;
  bool silent = true;
  for (int16_t s : probe_pcm) silent = silent && s == 0;
  if (silent) GTEST_SKIP() << "the decoder in this tree delivers silence; nothing to compare";

  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  for (const Bar& bar : kBars) {
    SCOPED_TRACE(bar.name);
    const AcmFormatOffer* offer = nullptr;
    for (const AcmFormatOffer& o : offers) {
      if (std::strcmp(o.short_name, bar.name) == 0) offer = &o;
    }
    ASSERT_NE(offer, nullptr);
    const int channels = offer->format.wfx.nChannels;
    const uint32_t rate = offer->format.wfx.nSamplesPerSec;
    const std::string out = dir + "/" + bar.name + ".wav";
    std::vector<int16_t> pcm;
    ASSERT_EQ(engine_convert(engine, demo, out, bar.name, &pcm), 1) << engine.m_lastErrorText;
    std::vector<int16_t> expected;
    if (rate != 48000) {
      // ffmpeg's own rate and channel reduction of that PCM, for GSM.
      const std::string pcm_path = dir + "/" + bar.name + "_pcm.wav";
      ASSERT_EQ(write_wave("pcm16", 48000, pcm, pcm_path), "");
      expected = decode(pcm_path, channels, rate);
    } else {
      expected = channels == 1 ? mono_of(pcm) : pcm;
    }
    int lag = 0;
    const double snr = snr_db(expected, decode(out, channels, rate), channels, bar.max_lag, &lag);
    EXPECT_GE(snr, bar.min_snr_db) << "lag " << lag;
  }
}

}  // namespace
}  // namespace codec_test
