// The bundled sample converted by the engine to every offered format: ffprobe sees the right
// codec, rate, channels and duration (within one codec block), and ffmpeg decodes a duration
// within one AC-3 frame of the stream's.
#include <gtest/gtest.h>

#include <cstdlib>
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

// Sample frames in one block of the codec: what a last, padded block can add to a duration.
uint32_t codec_block_samples(const WaveHeader& h) {
  switch (h.tag) {
    case WAVE_FORMAT_IMA_ADPCM:
    case WAVE_FORMAT_ADPCM:
    case WAVE_FORMAT_GSM610:
      return h.extra.size() >= 2 ? h.extra[0] | (h.extra[1] << 8) : 0;  // wSamplesPerBlock
    case WAVE_FORMAT_MPEGLAYER3:
      return 1152;
    default:
      return 1;
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
    const bool pcm = w.wFormatTag == WAVE_FORMAT_PCM;
    EXPECT_EQ(h.fmt_size, 18u + w.cbSize);
    EXPECT_EQ(h.has_fact, !pcm);
    EXPECT_EQ(h.file_size, 46u + w.cbSize + (pcm ? 0 : 12) + h.data_size);
    EXPECT_EQ(h.data_size, engine.m_outputBytes);
    auto p = probe(out);
    EXPECT_EQ(p["codec_name"], codec_name(w));
    EXPECT_EQ(p["sample_rate"], std::to_string(w.nSamplesPerSec));
    EXPECT_EQ(p["channels"], std::to_string(w.nChannels));
    const bool mp3 = w.wFormatTag == WAVE_FORMAT_MPEGLAYER3;
    const double delay = mp3 ? (h.extra[10] | (h.extra[11] << 8)) / 48000.0 : 0.0;
    // The duration ffprobe reads from the header is the stream's within one codec block: from the
    // fact chunk for ADPCM and GSM, whose last block is padded. For MPEG Layer-3 ffprobe takes the
    // byte rate instead, which also counts the encoder's delay the format announces.
    const double block = codec_block_samples(h) / static_cast<double>(w.nSamplesPerSec);
    EXPECT_NEAR(std::atof(p["duration"].c_str()), seconds + delay, block + 1e-6) << "block " << block;
    if (!pcm) {
      EXPECT_EQ(h.fact_frames, static_cast<uint64_t>(frames) * 1536u * w.nSamplesPerSec / 48000u);
    }
    // The duration ffmpeg decodes.
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
