// qelp play as a user runs it: to the end, stopped with Ctrl-C, without a sound device, with a
// missing file or wrong arguments.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player_test_support.h"
#include "support/paths.h"

namespace {

// A running `qelp play ...` with its standard error in a pipe (standard output goes there too).
class QelpPlay {
 public:
  QelpPlay(const std::vector<std::string>& args, const char* device) {
    int fds[2];
    if (pipe(fds) != 0) return;
    // Everything the child needs is made before the fork: it only redirects and runs the program.
    std::string program = qelp_test::binary_path("bin/qelp");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(const_cast<char*>("play"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::string device_setting = std::string("QELP_AUDIO_DEVICE=") + device;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "QELP_AUDIO_DEVICE=", 18) != 0) envp.push_back(*e);
    }
    envp.push_back(device_setting.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      close(fds[1]);
      execve(program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~QelpPlay() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // Reads output until `text` has appeared (true) or the program closed its output (false).
  bool read_until(const std::string& text) {
    char buf[512];
    while (output_.find(text) == std::string::npos) {
      ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) return false;
      output_.append(buf, static_cast<size_t>(n));
    }
    return true;
  }

  void signal(int sig) { kill(pid_, sig); }

  // Reads the rest of the output and returns the exit status (-1 when it did not exit normally).
  int finish() {
    read_until("\x01never\x01");
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& output() const { return output_; }
  bool started() const { return pid_ > 0 && out_ >= 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool reaped_ = false;
  std::string output_;
};

TEST(PlayCommand, PlaysAFileToItsEndOnTheNullDevice) {
  QelpPlay run({qelp_test::data_path("mono_48k_32.ac3")}, "null");
  ASSERT_TRUE(run.started());
  EXPECT_EQ(run.finish(), 0) << run.output();
  EXPECT_NE(run.output().find("Playing"), std::string::npos) << run.output();
  EXPECT_NE(run.output().find("0:02.0"), std::string::npos) << "duration missing: " << run.output();
  EXPECT_NE(run.output().find("Played"), std::string::npos) << run.output();
}

TEST(PlayCommand, CtrlCStopsCleanlyAndExitsWith130) {
  // Twenty seconds of sound: ten copies of a two-second stream, frame after frame.
  std::string long_file = qelp_test::scratch_dir() + "/long.ac3";
  {
    std::ifstream in(qelp_test::data_path("mono_48k_32.ac3"), std::ios::binary);
    std::string one((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(long_file, std::ios::binary);
    for (int i = 0; i < 10; ++i) out << one;
  }
  QelpPlay run({long_file, "-s"}, "null");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(run.read_until("Playing")) << run.output();
  run.signal(SIGINT);
  EXPECT_EQ(run.finish(), 130) << "as an interrupted conversion: " << run.output();
  EXPECT_NE(run.output().find("Stopped"), std::string::npos) << run.output();
  EXPECT_EQ(run.output().find("Played"), std::string::npos) << "it played to the end instead: " << run.output();
}

TEST(PlayCommand, SaysClearlyWhenNoSoundDeviceCanBeOpened) {
  QelpPlay run({qelp_test::data_path("mono_48k_32.ac3")}, "qelp-no-such-device");
  ASSERT_TRUE(run.started());
  EXPECT_EQ(run.finish(), 1) << run.output();
  EXPECT_NE(run.output().find("cannot open the sound device"), std::string::npos) << run.output();
  EXPECT_NE(run.output().find("set QELP_AUDIO_DEVICE to an ALSA device name, or to null"), std::string::npos)
      << run.output();
  EXPECT_EQ(std::count(run.output().begin(), run.output().end(), '\n'), 1) << run.output();
  EXPECT_NE(run.output().find("qelp-no-such-device"), std::string::npos) << run.output();
  EXPECT_NE(run.output().find("mono_48k_32.ac3"), std::string::npos) << run.output();
}

TEST(PlayCommand, MissingFileAndWrongArgumentsAreRefused) {
  QelpPlay missing({"/nonexistent/clip.ac3"}, "null");
  EXPECT_EQ(missing.finish(), 1);
  EXPECT_NE(missing.output().find("/nonexistent/clip.ac3"), std::string::npos) << missing.output();

  std::string empty = qelp_test::scratch_dir() + "/empty.ac3";
  std::ofstream(empty, std::ios::binary).flush();
  QelpPlay nothing({empty}, "null");
  EXPECT_EQ(nothing.finish(), 1);
  EXPECT_NE(nothing.output().find("holds no AC-3 audio"), std::string::npos) << nothing.output();

  QelpPlay none({}, "null");
  EXPECT_EQ(none.finish(), 2);
  EXPECT_NE(none.output().find("see 'qelp play --help'"), std::string::npos) << none.output();

  QelpPlay unknown({qelp_test::data_path("mono_48k_32.ac3"), "--loud"}, "null");
  EXPECT_EQ(unknown.finish(), 2);
  EXPECT_NE(unknown.output().find("--loud"), std::string::npos) << unknown.output();

  QelpPlay two({"a.ac3", "b.ac3"}, "null");
  EXPECT_EQ(two.finish(), 2);
}

}  // namespace
