// qelp formats [IN]: the offers with their short names, for the stream's rate.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec_support.h"
#include "support/paths.h"

namespace codec_test {
namespace {

std::string qelp() { return qelp_test::binary_path("bin/qelp"); }

TEST(FormatsCommand, ListsEveryFormatAt48kHzWithoutInput) {
  int status = -1;
  std::string out = run(qelp() + " formats 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.rfind("Formats for 16-bit stereo PCM at 48000 Hz:\n", 0), 0u) << out;
  EXPECT_NE(out.find("\n  pcm16        PCM              48.000 kHz, 16 Bit, Stereo\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\n  ima-adpcm    IMA ADPCM        48.000 kHz, 4 Bit, Stereo\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("\n  gsm          GSM 6.10         8.000 kHz, Mono\n"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 18);  // the title and 17 formats
}

TEST(FormatsCommand, UsesTheRateOfTheGivenStream) {
  int status = -1;
  std::string out = run(qelp() + " formats '" + qelp_test::data_path("stereo_44k_192.ac3") + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("at 44100 Hz:"), std::string::npos) << out;
  EXPECT_NE(out.find("mp3-320      MPEG Layer-3     44.100 kHz, 320 kBit/s, Stereo"), std::string::npos)
      << out;
  out = run(qelp() + " formats '" + qelp_test::data_path("stereo_32k_96.ac3") + "'", &status);
  EXPECT_NE(out.find("at 32000 Hz:"), std::string::npos) << out;
}

TEST(FormatsCommand, UnreadableOrForeignInputIsOneLineAndFailure) {
  int status = -1;
  const std::string missing = qelp_test::scratch_dir() + "/missing.ac3";
  std::string out = run(qelp() + " formats '" + missing + "' 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "qelp: cannot open " + missing + ": No such file or directory\n");
  const std::string script = qelp_test::data_path("make_fixtures.sh");
  out = run(qelp() + " formats '" + script + "' 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "qelp: " + script + " holds no AC-3 audio\n");
}

TEST(FormatsCommand, WithoutTheModuleListsPcmAndSaysWhy) {
  int status = -1;
  std::string out = run("QELP_CODEC_MODULE=none " + qelp() + " formats 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.find("ima-adpcm"), std::string::npos);
  EXPECT_NE(out.find("float-mono"), std::string::npos);
  EXPECT_NE(out.find("qelp: compressed formats are not available: the FFmpeg codec module is switched off"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace codec_test
