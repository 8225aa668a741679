// The whole truth about a conversion: damaged frames counted and named with where they begin, exit
// status 3 for them, a hint when the input is no raw AC-3 stream at all (an MPEG program stream),
// and the samples a fixed amplification clipped, as a count made from the unamplified file says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

namespace fs = std::filesystem;
using cli_test::shell;
using qelp_test::data_path;

TEST(QelpDamage, ThreeFlippedBitsAreThreeSilentFramesAndExitThree) {
  const std::string dir = qelp_test::scratch_dir();
  std::vector<uint8_t> bytes = qelp_test::read_bytes(qelp_test::source_path("samples/demo.ac3"));
  for (int frame : {30, 31, 120}) bytes[frame * 1792 + 1000] ^= 0x40;  // 448 kbit/s: 1792-byte frames
  qelp_test::write_bytes(dir + "/flipped.ac3", bytes);
  cli_test::ShellRun r = shell("{qelp} convert '" + dir + "/flipped.ac3'");
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.out.find("3 of 157 frames were damaged and are silent (first at 0:01.0)"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("bytes skipped"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "") << "no hint for three frames in 157";
  EXPECT_EQ(qelp_test::read_wave(dir + "/flipped.wav").data_size, 157u * 6144);

  r = shell("{qelp} convert -y '" + qelp_test::source_path("samples/demo.ac3") + "' '" + dir + "/clean.wav'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "") << "a clean stream has nothing to warn about";
  EXPECT_EQ(r.out.find("damaged"), std::string::npos) << r.out;
}

// A DVD program stream is demuxed now: its AC-3 track converts cleanly. The hint stays for what is
// read as a raw stream and mostly is not one: the same program stream without its first pack header
// (as a piece cut out of a file), whose packet headers lie between the frames.
TEST(QelpDamage, AnMpegProgramStreamIsNoSuccessAndGetsTheHint) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string vob = dir + "/demo.vob";
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i '" + qelp_test::source_path("samples/demo.ac3") +
                         "' -c copy -f vob '" + vob + "'")
                            .c_str()),
            0);
  cli_test::ShellRun r = shell("{qelp} convert '" + vob + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("damaged"), std::string::npos) << r.err;

  const std::string piece = dir + "/piece.mpg";
  std::vector<uint8_t> bytes = qelp_test::read_bytes(vob);
  ASSERT_GT(bytes.size(), 4096u);
  qelp_test::write_bytes(piece, std::vector<uint8_t>(bytes.begin() + 14, bytes.end()));
  r = shell("{qelp} convert '" + piece + "'");
  EXPECT_EQ(r.status, 3) << r.err;
  // Frames split by the packet headers fail their checks; where a frame's place can be told, it
  // is kept as silence.
  EXPECT_NE(r.out.find(" frames were damaged and are silent"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" bytes skipped"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("qelp: " + piece + " may not be a raw AC-3 stream"), std::string::npos) << r.err;
  // With -q the damage is still said, in one line, and so is the hint.
  r = shell("{qelp} convert -q -y '" + piece + "'");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("qelp: " + piece + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("may not be a raw AC-3 stream"), std::string::npos) << r.err;
}

// -a 30 on the bundled sample: the clip count equals the samples the gain takes beyond full scale,
// counted in the unamplified file, and those are the samples at full scale afterwards.
TEST(QelpDamage, AFixedGainSaysHowManySamplesItClipped) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string demo = qelp_test::source_path("samples/demo.ac3");
  ASSERT_EQ(shell("{qelp} convert -q '" + demo + "' '" + dir + "/plain.wav'").status, 0);
  const double gain = std::pow(10.0, 30 / 20.0);
  size_t expected = 0;
  for (int16_t s : qelp_test::read_wave(dir + "/plain.wav").samples16()) expected += std::abs(s * gain) > 32767.0;
  ASSERT_EQ(cli_test::samples_at_full_scale(dir + "/plain.wav"), 0u) << "none at full scale before the gain";
  ASSERT_GT(expected, 1000u);

  cli_test::ShellRun r = shell("{qelp} convert -a 30 '" + demo + "' '" + dir + "/loud.wav'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(dir + "/loud.wav: amplified by +30.000 dB; " + std::to_string(expected) + " samples clipped"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(cli_test::samples_at_full_scale(dir + "/loud.wav"), expected);

  // The same through qelp normalize, and peak normalization says its gain and clips nothing.
  fs::copy_file(dir + "/plain.wav", dir + "/n.wav");
  r = shell("{qelp} normalize -a 30 '" + dir + "/n.wav'");
  EXPECT_NE(r.out.find("amplified by +30.000 dB; " + std::to_string(expected) + " samples clipped"),
            std::string::npos)
      << r.out;
  r = shell("{qelp} convert -n -y '" + demo + "' '" + dir + "/peak.wav'");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("found, gain +"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("clipped"), std::string::npos) << r.out;
}

}  // namespace
