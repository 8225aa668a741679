// `qelp convert -j N` run as a user runs it: the same files as one at a time, the messages in input
// order, the batch's exit status from its worst file, every started file valid after a signal, and
// the overwrite questions asked before any conversion starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using cli_test::shell;
using cli_test::ShellRun;
using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;

// The summary's timing ("in 12 ms (170x real time)") differs from run to run; the rest may not.
std::string without_times(const std::string& text) {
  static const std::regex timing(R"( in [0-9.:]+( ms| s)?( \([0-9.]+x real time\))?)");
  return std::regex_replace(text, timing, " in T");
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class QelpJobs : public testing::Test {
 protected:
  void SetUp() override { dir_ = qelp_test::scratch_dir(); }
  std::string at(const std::string& name) const { return dir_ + "/" + name; }
  void copy(const std::string& fixture, const std::string& name) const { fs::copy_file(data_path(fixture), at(name)); }
  // A file that holds no AC-3 audio at all.
  void junk(const std::string& name) const {
    std::ofstream out(at(name), std::ios::binary);
    for (int i = 0; i < 400; ++i) out << "not an AC-3 stream, just text. ";
  }
  ShellRun qelp(const std::string& args) const { return shell("cd '" + dir_ + "' && {qelp} convert " + args); }
  std::string dir_;
};

TEST_F(QelpJobs, OutputsAreByteForByteThoseOfOneAtATime) {
  const std::vector<std::string> fixtures = {"stereo_48k_192.ac3",  "3f2r_lfe_48k_448.ac3", "mono_48k_32.ac3",
                                             "stereo_44k_192.ac3",  "3f2r_lfe_32k_384.ac3", "damaged_bitflip_frame10.ac3",
                                             "stereo_cpl_48k_128.ac3"};
  std::string inputs;
  for (size_t i = 0; i < fixtures.size(); ++i) {
    copy(fixtures[i], "in" + std::to_string(i) + ".ac3");
    inputs += " in" + std::to_string(i) + ".ac3";
  }
  // The same dithered stream twice: a file converted after another starts clean on its thread too.
  copy("stereo_48k_192.ac3", "again.ac3");
  inputs += " again.ac3";
  // The codec formats too: their encoders run on several threads at once then.
  for (const std::string& options : {std::string("-q"), std::string("-q -s"), std::string("-q -n"),
                                     std::string("-q -f ima-adpcm"), std::string("-q -f mp3-192")}) {
    SCOPED_TRACE(options);
    for (const std::string& jobs : {std::string("-j 1"), std::string("-j 3"), std::string("-j 8"), std::string("")}) {
      const std::string out = "out" + replaced(replaced(jobs, " ", ""), "-", "_");
      fs::remove_all(at(out));
      fs::create_directory(at(out));
      const ShellRun r = qelp(options + " " + jobs + " -o " + out + inputs);
      EXPECT_EQ(r.status, 3) << jobs << ": one input is damaged\n" << r.err;
    }
    for (size_t i = 0; i <= fixtures.size(); ++i) {
      const std::string name = i < fixtures.size() ? "in" + std::to_string(i) + ".wav" : "again.wav";
      const auto alone = read_bytes(at("out_j1/" + name));
      ASSERT_GT(alone.size(), 44u) << name;
      EXPECT_EQ(read_bytes(at("out_j3/" + name)), alone) << name;
      EXPECT_EQ(read_bytes(at("out_j8/" + name)), alone) << name;
      EXPECT_EQ(read_bytes(at("out/" + name)), alone) << name << " (the default: one per processor)";
    }
    EXPECT_EQ(read_bytes(at("out_j3/again.wav")), read_bytes(at("out_j3/in0.wav")));
  }
}

TEST_F(QelpJobs, MessagesAndSummariesComeInInputOrder) {
  copy("3f2r_lfe_48k_640.ac3", "a.ac3");             // clean, and the slowest to convert
  copy("damaged_bitflip_frame10.ac3", "b.ac3");      // damaged
  junk("c.ac3");                                     // fails
  copy("mono_48k_32.ac3", "d.ac3");                  // clean, quick
  copy("damaged_junk_between.ac3", "e.ac3");         // damaged
  fs::create_directory(at("one"));
  fs::create_directory(at("four"));
  const ShellRun one = qelp("-v -j 1 -o one a.ac3 b.ac3 c.ac3 d.ac3 e.ac3");
  const ShellRun four = qelp("-v -j 4 -o four a.ac3 b.ac3 c.ac3 d.ac3 e.ac3");
  EXPECT_EQ(one.status, 1) << one.err;
  EXPECT_EQ(four.status, 1) << four.err;
  EXPECT_EQ(without_times(replaced(four.out, "four/", "one/")), without_times(one.out));
  EXPECT_EQ(replaced(four.err, "four/", "one/"), one.err);

  const size_t a = four.out.find("a.ac3 -> four/a.wav");
  const size_t b = four.out.find("b.ac3 -> four/b.wav");
  const size_t d = four.out.find("d.ac3 -> four/d.wav");
  const size_t e = four.out.find("e.ac3 -> four/e.wav");
  ASSERT_NE(a, std::string::npos) << four.out;
  EXPECT_LT(a, b);
  EXPECT_LT(b, d);
  EXPECT_LT(d, e) << four.out;
  // Each file's lines together, in input order: a's description before b's, c's failure between
  // b's and d's.
  const size_t c_failed = four.err.find("c.ac3");
  EXPECT_NE(c_failed, std::string::npos) << four.err;
  EXPECT_LT(four.err.find("a.ac3: AC-3"), four.err.find("b.ac3: AC-3")) << four.err;
  EXPECT_LT(four.err.find("b.ac3: AC-3"), c_failed) << four.err;
  EXPECT_LT(c_failed, four.err.find("d.ac3: AC-3")) << four.err;
}

TEST_F(QelpJobs, TheBatchExitsWithItsWorstFile) {
  copy("stereo_48k_192.ac3", "clean1.ac3");
  copy("mono_48k_32.ac3", "clean2.ac3");
  copy("damaged_bitflip_frame10.ac3", "damaged.ac3");
  junk("failing.ac3");
  struct Case {
    const char* inputs;
    int status;
  };
  for (const Case& c : {Case{"clean1.ac3 clean2.ac3", 0}, Case{"clean1.ac3 damaged.ac3 clean2.ac3", 3},
                        Case{"damaged.ac3 clean1.ac3 failing.ac3 clean2.ac3", 1}, Case{"failing.ac3 damaged.ac3", 1},
                        Case{"damaged.ac3 clean1.ac3", 3}}) {
    SCOPED_TRACE(c.inputs);
    fs::remove_all(at("out"));
    fs::create_directory(at("out"));
    const ShellRun r = qelp(std::string("-q -j 4 -o out ") + c.inputs);
    EXPECT_EQ(r.status, c.status) << r.err;
    // Every file but the failing one is converted, also those after it.
    for (const char* name : {"clean1", "clean2", "damaged"}) {
      if (std::string(c.inputs).find(name) != std::string::npos) {
        EXPECT_TRUE(read_wave(at("out/" + std::string(name) + ".wav")).ok) << name;
      }
    }
  }
}

TEST_F(QelpJobs, AnExistingOutputIsRefusedInItsPlaceAndTheOthersConverted) {
  copy("stereo_48k_192.ac3", "a.ac3");
  copy("mono_48k_32.ac3", "b.ac3");
  copy("stereo_44k_192.ac3", "c.ac3");
  {
    std::ofstream keep(at("b.wav"));
    keep << "keep me";
  }
  const ShellRun r = qelp("-j 3 a.ac3 b.ac3 c.ac3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qelp: b.wav exists; not overwritten (use -y to overwrite)\n");
  EXPECT_EQ(read_bytes(at("b.wav")), (std::vector<uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_TRUE(read_wave(at("a.wav")).ok);
  EXPECT_TRUE(read_wave(at("c.wav")).ok);
  EXPECT_LT(r.out.find("a.ac3 -> a.wav"), r.out.find("c.ac3 -> c.wav")) << r.out;

  const ShellRun y = qelp("-q -y -j 3 a.ac3 b.ac3 c.ac3");
  EXPECT_EQ(y.status, 0) << y.err;
  EXPECT_TRUE(read_wave(at("b.wav")).ok) << "-y overwrites";
}

TEST_F(QelpJobs, OnATerminalEveryQuestionIsAskedBeforeTheRunStarts) {
  copy("stereo_48k_192.ac3", "a.ac3");
  copy("mono_48k_32.ac3", "b.ac3");
  copy("stereo_44k_192.ac3", "c.ac3");
  for (const char* name : {"a.wav", "b.wav"}) {
    std::ofstream keep(at(name));
    keep << "old";
  }
  // The answers arrive on the terminal: yes for a.wav, no for b.wav.
  const std::string line = "cd '" + dir_ + "' && {qelp} convert -j 3 a.ac3 b.ac3 c.ac3; echo \"status $?\"";
  const ShellRun r = cli_test::on_terminal_with_input(line, "y\nn\n");
  const size_t ask_a = r.out.find("a.wav exists. Overwrite? [y/N]");
  const size_t ask_b = r.out.find("b.wav exists. Overwrite? [y/N]");
  const size_t first_summary = r.out.find(".ac3 -> ");
  ASSERT_NE(ask_a, std::string::npos) << r.out;
  ASSERT_NE(ask_b, std::string::npos) << r.out;
  ASSERT_NE(first_summary, std::string::npos) << r.out;
  EXPECT_LT(ask_a, ask_b);
  EXPECT_LT(ask_b, first_summary) << "no conversion before the last answer\n" << r.out;
  EXPECT_NE(r.out.find("qelp: b.wav exists; not overwritten"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("status 1"), std::string::npos) << r.out;
  EXPECT_TRUE(read_wave(at("a.wav")).ok) << "answered yes";
  EXPECT_EQ(read_bytes(at("b.wav")), (std::vector<uint8_t>{'o', 'l', 'd'})) << "answered no";
  EXPECT_TRUE(read_wave(at("c.wav")).ok);
}

TEST_F(QelpJobs, ANumberOfJobsOutOfRangeIsAUsageError) {
  copy("mono_48k_32.ac3", "a.ac3");
  for (const std::string value : {"0", "x", "257", "-1", "2.5", ""}) {
    SCOPED_TRACE(value);
    const ShellRun r = qelp("-j '" + value + "' a.ac3");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-j takes the number of files to convert at once, 1 to 256"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(at("a.wav")));
  }
  const ShellRun r = qelp("-q --jobs=2 a.ac3");
  EXPECT_EQ(r.status, 0) << r.err;
  // The standard input and output take part: one job, whatever -j says.
  const ShellRun piped = shell("{qelp} convert -q -j 4 - - < '" + at("a.ac3") + "' > '" + at("piped.wav") + "'");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(read_wave(at("piped.wav")).data, read_wave(at("a.wav")).data);
}

// qelp started without a shell, so that a signal reaches it and nothing else; its standard error
// goes to err_path.
pid_t start_qelp(const std::vector<std::string>& args, const std::string& err_path) {
  std::vector<std::string> all = {qelp_test::binary_path("bin/qelp")};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool exists_with_header(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec) && fs::file_size(path, ec) >= 44;
}

TEST_F(QelpJobs, ASignalMidBatchLeavesEveryStartedFileAValidWaveFile) {
  // Four long inputs (5040 frames, 107 s of audio each), two at a time.
  const auto piece = read_bytes(data_path("stereo_48k_192.ac3"));
  std::vector<uint8_t> whole;
  for (int i = 0; i < 80; ++i) whole.insert(whole.end(), piece.begin(), piece.end());
  for (int k = 1; k <= 4; ++k) qelp_test::write_bytes(at("long" + std::to_string(k) + ".ac3"), whole);

  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    fs::remove_all(at("out"));
    fs::create_directory(at("out"));
    const pid_t pid = start_qelp({"convert", "-q", "-j", "2", "-o", at("out"), at("long1.ac3"), at("long2.ac3"),
                                  at("long3.ac3"), at("long4.ac3")},
                                 at("err"));
    ASSERT_GT(pid, 0);
    // Once both first files have been started, the signal.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(exists_with_header(at("out/long1.wav")) && exists_with_header(at("out/long2.wav"))) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, signal);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 130);

    std::ifstream err_file(at("err"));
    const std::string err((std::istreambuf_iterator<char>(err_file)), std::istreambuf_iterator<char>());
    int started = 0;
    for (int k = 1; k <= 4; ++k) {
      const std::string out = at("out/long" + std::to_string(k) + ".wav");
      if (!fs::exists(out)) continue;
      SCOPED_TRACE(out);
      ++started;
      const qelp_test::WaveFile w = read_wave(out);
      ASSERT_TRUE(w.ok) << w.error;
      EXPECT_EQ(uint64_t{w.riff_size} + 8, w.file_size) << "the RIFF size is completed";
      EXPECT_EQ(uint64_t{w.data_offset} + w.data_size, w.file_size) << "the data size is completed";
      EXPECT_EQ(w.data_size % 6144, 0u) << "whole frames";
      EXPECT_GT(w.data_size, 0u);
      EXPECT_NE(err.find("cancelled; " + out + " holds the"), std::string::npos) << err;
    }
    EXPECT_GE(started, 2) << err;
  }
}

}  // namespace
