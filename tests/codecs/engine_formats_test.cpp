// The bundled sample converted by the engine to every offered format: ffprobe sees the right
// codec, rate and channels, and ffmpeg decodes a duration within one AC-3 frame of the stream's.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "codec_support.h"
#include "engine_codec.h"
#include "platform/msacm/msacm.h"
#include "support/paths.h"

namespace codec_test {
namespace {

int ac3_frames(const std::string& path) {
  int status = 0;
  std::string n =
      run("ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames "
          "-of csv=p=0 '" +
              path + "'",
          &status);
  EXPECT_EQ(status, 0);
  return std::atoi(n.c_str());
}

// ffprobe's codec name for a format.
std::string codec_name(const WAVEFORMATEX& w) {
  switch (w.wFormatTag) {
    case WAVE_FORMAT_PCM:
      return w.wBitsPerSample == 8 ? "pcm_u8" : w.wBitsPerSample == 24 ? "pcm_s24le" : "pcm_s16le";
    case WAVE_FORMAT_IEEE_FLOAT:
      return "pcm_f32le";
    case WAVE_FORMAT_IMA_ADPCM:
      return "adpcm_ima_wav";
    case WAVE_FORMAT_ADPCM:
      return "adpcm_ms";
    case WAVE_FORMAT_ALAW:
      return "pcm_alaw";
    case WAVE_FORMAT_MULAW:
      return "pcm_mulaw";
    case WAVE_FORMAT_GSM610:
      return "gsm_ms";
    case WAVE_FORMAT_MPEGLAYER3:
      return "mp3";
    default:
      return "?";
  }
}

TEST(EngineFormats, DemoConvertsToEveryOfferedFormat) {
  const std::string demo = qelp_test::source_path("samples/demo.ac3");
  const int frames = ac3_frames(demo);
  ASSERT_GT(frames, 100);
  const double seconds = frames * 1536.0 / 48000.0;
  const std::string dir = qelp_test::scratch_dir();

  WAVEFORMATEX src{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
  std::vector<AcmFormatOffer> offers(64);
  offers.resize(acmFormatEnumOffers(&src, offers.data(), offers.size(), 0));
  ASSERT_EQ(offers.size(), 17u);  // 8 PCM and 9 compressed
  CQelpsnd engine;
  for (const AcmFormatOffer& offer : offers) {
    SCOPED_TRACE(offer.short_name);
    const std::string out = dir + "/" + offer.short_name + ".wav";
    ASSERT_EQ(engine_convert(engine, demo, out, offer.short_name), 1) << engine.m_lastErrorText;
    EXPECT_EQ(engine.m_lastError, QELP_OK) << engine.m_lastErrorText;
    const WAVEFORMATEX& w = offer.format.wfx;
    WaveHeader h = read_header(out);
    EXPECT_EQ(h.fmt_size, 18u + w.cbSize);
    EXPECT_EQ(h.file_size, 46u + w.cbSize + h.data_size);
    EXPECT_EQ(h.data_size, engine.m_outputBytes);
    auto p = probe(out);
    EXPECT_EQ(p["codec_name"], codec_name(w));
    EXPECT_EQ(p["sample_rate"], std::to_string(w.nSamplesPerSec));
    EXPECT_EQ(p["channels"], std::to_string(w.nChannels));
    const bool mp3 = w.wFormatTag == WAVE_FORMAT_MPEGLAYER3;
    const double delay = mp3 ? (h.extra[10] | (h.extra[11] << 8)) / 48000.0 : 0.0;
    // The duration ffmpeg decodes. (ffprobe's header estimate for ADPCM counts the block headers
    // as audio, since the file has no fact chunk, and overstates by about 1 %.)
    const std::vector<int16_t> decoded = decode(out, w.nChannels, w.nSamplesPerSec);
    const double duration = static_cast<double>(decoded.size() / w.nChannels) / w.nSamplesPerSec - delay;
    EXPECT_GE(duration, seconds - 0.001);
    EXPECT_LE(duration, seconds + 1536.0 / 48000.0);
    if (std::strcmp(offer.short_name, "pcm16") == 0) {
      EXPECT_EQ(h.data_size, static_cast<uint32_t>(frames) * 6144u);
    }
  }
}

TEST(EngineFormats, UnavailableFormatFailsInitEncoderWithTheStreamOpenReason) {
  CQelpsnd engine;
  const std::string out = qelp_test::scratch_dir() + "/nobody.wav";
  acmSetFormatChooser(
      [](ACMFORMATCHOOSEA* afc, const AcmFormatOffer*, size_t, void*) -> MMRESULT {
        // IMA ADPCM with a block size no encoder here makes.
        *afc->pwfx = WAVEFORMATEX{WAVE_FORMAT_IMA_ADPCM, 2, 48000, 48000, 4096, 4, 0};
        return MMSYSERR_NOERROR;
      },
      nullptr, 0);
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  std::string in = qelp_test::source_path("samples/demo.ac3");
  engine.SetInFile(in.data());
  std::string o = out;
  engine.SetOutFile(o.data());
  EXPECT_EQ(engine.InitEncoder(), 0);
  acmSetFormatChooser(nullptr, nullptr, 0);
  qelpsnd_set_diagnostics(nullptr, nullptr);
  EXPECT_EQ(engine.m_lastError, QELP_ERR_CODEC);
  EXPECT_NE(std::string(engine.m_lastErrorText).find("The requested operation cannot be performed."),
            std::string::npos)
      << engine.m_lastErrorText;
  EXPECT_NE(std::string(engine.m_lastErrorText).find(out), std::string::npos);
  EXPECT_FALSE(std::ifstream(out).good());
}

}  // namespace
}  // namespace codec_test
