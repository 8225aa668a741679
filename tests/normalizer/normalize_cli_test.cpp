// qelp normalize as a user runs it: the result line, the exit status, one line naming the file on
// failure, and its option checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/paths.h"
#include "wav_fixture.h"

using namespace normalizer_test;

namespace {

struct QelpRun {
  int status;
  std::string output;  // standard output and standard error together
};

QelpRun qelp(const std::string& args) {
  const std::string command = qelp_test::binary_path("bin/qelp") + " " + args + " 2>&1 </dev/null";
  QelpRun run{-1, ""};
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

int count_lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST(QelpNormalize, PeakNormalizationPrintsPeakAndGain) {
  const std::string path = qelp_test::scratch_dir() + "/a.wav";
  write_file(path, wav_bytes(pcm16({16383, -100, 5})));
  QelpRun run = qelp("normalize " + path);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, path + ": peak 16383 of 32767 found, gain +6.021 dB applied\n");
  const Bytes out = read_file(path);
  EXPECT_EQ(samples16(Bytes(out.begin() + 46, out.end())), (std::vector<int16_t>{32767, -200, 10}));

  // QelpRun again: the peak is at full scale now.
  run = qelp("normalize " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, path + ": peak already at full scale, no amplification required\n");
}

TEST(QelpNormalize, FixedAmplificationAndItsRange) {
  const std::string path = qelp_test::scratch_dir() + "/a.wav";
  write_file(path, wav_bytes(pcm16({1000, -1000})));
  QelpRun run = qelp("normalize " + path + " --amplify 6");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, path + ": amplified by +6.000 dB\n");
  const Bytes out = read_file(path);
  EXPECT_EQ(samples16(Bytes(out.begin() + 46, out.end())), (std::vector<int16_t>{1995, -1995}));

  // The range of qelp convert: 5 to 50 dB, or 0 for the peak.
  for (const char* bad : {"-6", "x", "4", "51", "101", ""}) {
    run = qelp("normalize " + path + " --amplify '" + bad + "'");
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.output.find("--amplify takes a whole number of dB from 5 to 50 (0: normalize to the peak), not '" +
                              std::string(bad) + "'; see 'qelp normalize --help'"),
              std::string::npos)
        << bad << ": " << run.output;
    EXPECT_EQ(count_lines(run.output), 1) << run.output;
  }
  EXPECT_EQ(read_file(path), out);  // refused options change nothing
}

TEST(QelpNormalize, FailuresEndNonZeroWithOneLineNamingTheFile) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string bad = dir + "/not-a-wav.wav";
  write_file(bad, Bytes(64, 0));
  QelpRun run = qelp("normalize " + bad);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "qelp: cannot normalize " + bad + ": This is not a PCM WAV file.\n");

  run = qelp("normalize " + dir + "/missing.wav");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(count_lines(run.output), 1) << run.output;
  EXPECT_NE(run.output.find(dir + "/missing.wav"), std::string::npos);

  // A file that another opener holds.
  const std::string held = dir + "/held.wav";
  write_file(held, wav_bytes(pcm16({5})));
  int fd = ::open(held.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  run = qelp("normalize " + held);
  ::close(fd);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(count_lines(run.output), 1) << run.output;
  EXPECT_NE(run.output.find(held), std::string::npos);
  EXPECT_NE(run.output.find("in use"), std::string::npos);

  EXPECT_EQ(qelp("normalize").status, 2);
  EXPECT_EQ(qelp("normalize a.wav b.wav").status, 2);
}

// --debug shows the engine's own trace, -v what was rewritten, -q nothing on success.
TEST(QelpNormalize, DebugShowsTheEngineMessagesVerboseWhatWasRewritten) {
  const std::string path = qelp_test::scratch_dir() + "/a.wav";
  write_file(path, wav_bytes(pcm16({100, -50})));
  QelpRun run = qelp("normalize --debug " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("Pass 1: Finding peak levels..."), std::string::npos);
  EXPECT_NE(run.output.find("Performing amplification of 50.309 dB"), std::string::npos) << run.output;
  write_file(path, wav_bytes(pcm16({100, -50})));
  run = qelp("normalize -v " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output.find("Pass 1"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(path + ": 16-bit PCM, 4 data bytes rewritten"), std::string::npos) << run.output;
  run = qelp("normalize -q " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");
}
