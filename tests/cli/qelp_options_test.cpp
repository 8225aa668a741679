// The usual options, the usual way, in every command: combined short options, --opt=value and
// -f value alike, one amplification range, --version, help for each command, one line naming an
// unknown option or command, -n with --amplify refused, and Ctrl-C in play ending with 130.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

namespace fs = std::filesystem;
using cli_test::shell;
using qelp_test::data_path;

TEST(QelpOptions, VersionNamesTheProgramTheLibraryAndItsModules) {
  cli_test::ShellRun r = shell("{qelp} --version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("qelp 0.", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nlibqelpsnd 0."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\ncodec module: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("qelp_acm_ffmpeg.so (libavcodec "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\ndemux module: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("qelp_demux_ffmpeg.so (libavformat "), std::string::npos) << r.out;
  r = shell("QELP_CODEC_MODULE=none QELP_DEMUX_MODULE=none {qelp} --version");
  EXPECT_NE(r.out.find("codec module: not loaded: the FFmpeg codec module is switched off"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("demux module: not loaded: "), std::string::npos) << r.out;
}

TEST(QelpOptions, CombinedShortOptionsAndValuesInEverySpelling) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string in = data_path("short_1280.ac3");
  for (const char* args : {"-yq --format=pcm24", "-yqf pcm24", "-y -q -f pcm24", "--yes --quiet --format pcm24",
                                  "-yqfpcm24"}) {
    SCOPED_TRACE(args);
    cli_test::ShellRun r = shell(std::string("{qelp} convert ") + args + " '" + in + "' '" + dir + "/x.wav'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(qelp_test::read_wave(dir + "/x.wav").bits_per_sample, 24);
  }
}

TEST(QelpOptions, OneAmplificationRangeForConvertAndNormalize) {
  const std::string dir = qelp_test::scratch_dir();
  ASSERT_EQ(shell("{qelp} convert -q '" + data_path("short_1280.ac3") + "' '" + dir + "/f.wav'").status, 0);
  const auto before = qelp_test::read_bytes(dir + "/f.wav");
  const std::string expected = "qelp: --amplify takes a whole number of dB from 5 to 50 (0: normalize to the peak)";
  for (const char* bad : {"4", "51", "100", "-6", "x"}) {
    SCOPED_TRACE(bad);
    cli_test::ShellRun c = shell(std::string("{qelp} convert -y -a ") + bad + " '" + data_path("short_1280.ac3") +
                                 "' '" + dir + "/f.wav'");
    EXPECT_EQ(c.status, 2);
    EXPECT_EQ(c.err.rfind(expected, 0), 0u) << c.err;
    cli_test::ShellRun n = shell(std::string("{qelp} normalize --amplify=") + bad + " '" + dir + "/f.wav'");
    EXPECT_EQ(n.status, 2);
    EXPECT_EQ(n.err.rfind(expected, 0), 0u) << n.err;
  }
  EXPECT_EQ(qelp_test::read_bytes(dir + "/f.wav"), before) << "refused options change nothing";
  for (const char* command : {"convert", "normalize"}) {
    EXPECT_NE(shell(std::string("{qelp} ") + command + " --help").out.find("5 to 50"), std::string::npos) << command;
  }
  cli_test::ShellRun r = shell("{qelp} normalize -a 6 '" + dir + "/f.wav'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, dir + "/f.wav: amplified by +6.000 dB\n");
}

TEST(QelpOptions, NormalizeAndAmplifyTogetherAreRefused) {
  const std::string dir = qelp_test::scratch_dir();
  for (const char* args : {"-n -a 6", "-a 0 -n", "--normalize --amplify=10"}) {
    cli_test::ShellRun r = shell(std::string("{qelp} convert ") + args + " '" + data_path("short_1280.ac3") + "' '" +
                                 dir + "/x.wav'");
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err,
              "qelp: -n normalizes to the peak and --amplify applies a fixed gain; give one of them; see 'qelp "
              "convert --help'\n")
        << args;
    EXPECT_FALSE(fs::exists(dir + "/x.wav"));
  }
}

TEST(QelpOptions, UnknownOptionsAndCommandsNameThemselvesInOneLine) {
  struct Case {
    const char* line;
    const char* said;
  };
  const Case cases[] = {
      {"{qelp} convert --bogus x.ac3", "qelp: unknown option '--bogus'; see 'qelp convert --help'\n"},
      {"{qelp} convert -yz x.ac3", "qelp: unknown option '-z'; see 'qelp convert --help'\n"},
      {"{qelp} normalize --loud x.wav", "qelp: unknown option '--loud'; see 'qelp normalize --help'\n"},
      {"{qelp} play --loud x.ac3", "qelp: unknown option '--loud'; see 'qelp play --help'\n"},
      {"{qelp} info -x x.ac3", "qelp: unknown option '-x'; see 'qelp info --help'\n"},
      {"{qelp} formats --all", "qelp: unknown option '--all'; see 'qelp formats --help'\n"},
      {"{qelp} convert -f", "qelp: option '-f' needs a value; see 'qelp convert --help'\n"},
      {"{qelp} frobnicate", "qelp: unknown command 'frobnicate'; see 'qelp --help'\n"},
      {"{qelp} --frobnicate", "qelp: unknown option '--frobnicate'; see 'qelp --help'\n"},
      {"{qelp} help frobnicate", "qelp: unknown command 'frobnicate'; see 'qelp --help'\n"},
  };
  for (const Case& c : cases) {
    cli_test::ShellRun r = shell(c.line);
    EXPECT_EQ(r.status, 2) << c.line;
    EXPECT_EQ(r.err, c.said) << c.line;
    EXPECT_EQ(r.out, "") << c.line;
  }
}

TEST(QelpOptions, HelpForEachCommand) {
  for (const char* command : {"convert", "info", "formats", "normalize", "play"}) {
    cli_test::ShellRun help = shell(std::string("{qelp} help ") + command);
    cli_test::ShellRun dashed = shell(std::string("{qelp} ") + command + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: qelp ") + command, 0), 0u) << help.out;
    EXPECT_EQ(help.out, dashed.out) << command;
  }
  EXPECT_NE(shell("{qelp} convert --help").out.find("3 written completely, but the input was damaged"),
            std::string::npos);
}

// "No AC-3 here" is said one way by every command.
TEST(QelpOptions, OneWayOfSayingThereIsNoAc3Audio) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string text = dir + "/notes.ac3";
  qelp_test::write_bytes(text, std::vector<uint8_t>(3000, 'x'));
  const std::string said = "qelp: " + text + " holds no AC-3 audio\n";
  EXPECT_EQ(shell("{qelp} convert '" + text + "' '" + dir + "/n.wav'").err, said);
  EXPECT_EQ(shell("{qelp} info '" + text + "'").err, said);
  EXPECT_EQ(shell("{qelp} formats '" + text + "'").err, said);
  EXPECT_EQ(shell("QELP_AUDIO_DEVICE=null {qelp} play '" + text + "'").err, said);
  EXPECT_EQ(shell("{qelp} convert '" + dir + "/missing.ac3'").err,
            "qelp: cannot open " + dir + "/missing.ac3: No such file or directory\n");
}

TEST(QelpOptions, PlayTakesTheShortSurroundOption) {
  cli_test::ShellRun r = shell("QELP_AUDIO_DEVICE=null {qelp} play -s -q '" + data_path("short_1280.ac3") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
}

}  // namespace
