// qelp in a pipeline: '-' reads a raw AC-3 stream from standard input and writes the WAVE file to
// standard output; nothing but audio reaches standard output then; a pipe has no size, so the
// progress shows bytes, speed and time instead of a percentage.
#include <gtest/gtest.h>

#include <string>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using cli_test::shell;

const std::string& demo() {
  static const std::string path = qelp_test::source_path("samples/demo.ac3");
  return path;
}

TEST(QelpPipes, StandardInputToStandardOutputGivesTheFilesAudio) {
  const std::string dir = qelp_test::scratch_dir();
  ASSERT_EQ(shell("{qelp} convert -q '" + demo() + "' '" + dir + "/file.wav'").status, 0);
  cli_test::ShellRun r = shell("cat '" + demo() + "' | {qelp} convert - - > '" + dir + "/pipe.wav'");
  EXPECT_EQ(r.status, 0) << r.err;
  const qelp_test::WaveFile file = qelp_test::read_wave(dir + "/file.wav");
  const qelp_test::WaveFile pipe = qelp_test::read_wave(dir + "/pipe.wav");
  ASSERT_TRUE(pipe.ok) << pipe.error;
  EXPECT_EQ(pipe.data, file.data);
  EXPECT_NE(r.err.find("standard input -> standard output: 0:05.0 of audio"), std::string::npos)
      << "the summary goes to standard error: " << r.err;

  // Through a pipe all the way: the header says the largest sizes, and ffprobe reads 157 frames'
  // worth of 16-bit stereo at 48 kHz from it.
  r = shell("cat '" + demo() + "' | {qelp} convert -q - - | ffprobe -v error -show_entries "
            "stream=codec_name,sample_rate,channels:packet=size -of csv=p=0 -");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("pcm_s16le,48000,2\n"), std::string::npos) << r.out.substr(0, 200);
  size_t bytes = 0;
  for (size_t at = 0; at < r.out.size();) {
    const size_t end = r.out.find('\n', at);
    const std::string line = r.out.substr(at, end - at);
    if (line.find(',') == std::string::npos) bytes += std::stoul(line);  // a packet's size
    at = end + 1;
  }
  EXPECT_EQ(bytes, 157u * 6144);
}

TEST(QelpPipes, AFileToStandardOutputReadsInFfprobe) {
  cli_test::ShellRun r = shell("{qelp} convert '" + demo() + "' - | ffmpeg -v error -i - -f s16le - | wc -c");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::stoul(r.out), 157u * 6144) << r.out;
  // Not a byte of text on standard output, whatever is asked for.
  r = shell("{qelp} convert -v --debug '" + demo() + "' - | head -c 4");
  EXPECT_EQ(r.out, "RIFF");
  EXPECT_NE(r.err.find("AC-3 3/2 + LFE, 48000 Hz, 448 kbit/s"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Codec selected"), std::string::npos) << "the trace goes to standard error: " << r.err;
}

TEST(QelpPipes, RefusesTerminalsAndNormalizingAStream) {
  cli_test::ShellRun r = shell("{qelp} convert -n '" + demo() + "' - > /dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("normalizing rewrites the file in place"), std::string::npos) << r.err;
  r = cli_test::on_terminal("{qelp} convert '" + demo() + "' -");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("qelp: will not write WAVE data to a terminal"), std::string::npos) << r.out;
  r = cli_test::on_terminal("{qelp} convert - /dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("qelp: the standard input is a terminal"), std::string::npos) << r.out;
}

TEST(QelpPipes, WithoutASizeTheProgressShowsBytesSpeedAndTime) {
  const std::string dir = qelp_test::scratch_dir();
  cli_test::ShellRun r = cli_test::on_terminal("cat '" + demo() + "' | {qelp} convert - '" + dir + "/p.wav'", 100);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("standard input  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" MB read  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" elapsed"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('%'), std::string::npos) << r.out;
  // A file shows its percentage.
  r = cli_test::on_terminal("{qelp} convert -y '" + demo() + "' '" + dir + "/p.wav'", 100);
  EXPECT_NE(r.out.find("100%"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" left"), std::string::npos) << r.out;
}

TEST(QelpPipes, NoProgressLineIsWiderThanTheTerminal) {
  const std::string dir = qelp_test::scratch_dir();
  for (int columns : {40, 72}) {
    cli_test::ShellRun r = cli_test::on_terminal("{qelp} convert -y '" + demo() + "' '" + dir + "/w.wav'", columns);
    ASSERT_EQ(r.status, 0) << r.out;
    // The bar's redraws: each starts with a carriage return and ends with the erase-line code.
    size_t drawn = 0;
    for (size_t at = r.out.find('\r'); at != std::string::npos; at = r.out.find('\r', at + 1)) {
      const size_t end = r.out.find("\033[K", at);
      if (end == std::string::npos || r.out.find('\r', at + 1) < end) continue;
      EXPECT_LE(end - at - 1, static_cast<size_t>(columns - 1)) << r.out.substr(at + 1, end - at - 1);
      ++drawn;
    }
    EXPECT_GT(drawn, 0u) << columns;
  }
}

}  // namespace
