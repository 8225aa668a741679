// "-" as the engine's input and output: the standard input is read once, front to back (a pipe
// gives its bytes only once, so the check for AC-3 audio and the decoder share them), and gives the
// same audio as the file; the standard output takes the WAVE file; a redirection that would make
// the output the input is refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using qelp_test::data_path;
using qelp_test::read_bytes;

void silence(int, const char*, void*) {}

// Points descriptor `which` at `target` until destroyed.
class Redirect {
 public:
  Redirect(int which, int target) : which_(which) {
    if (which == 1) std::fflush(stdout);
    saved_ = dup(which);
    dup2(target, which);
  }
  ~Redirect() {
    dup2(saved_, which_);
    close(saved_);
  }

 private:
  int which_;
  int saved_;
};

// Writes bytes into a pipe from a thread of its own; the read end stands for the standard input.
class Feeder {
 public:
  explicit Feeder(const std::vector<uint8_t>& bytes) {
    if (pipe(fds_) != 0) return;
    thread_ = std::thread([this, bytes] {
      size_t done = 0;
      while (done < bytes.size()) {
        const ssize_t n = write(fds_[1], bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      close(fds_[1]);
    });
  }
  ~Feeder() {
    if (thread_.joinable()) thread_.join();
    close(fds_[0]);
  }
  int read_end() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
  std::thread thread_;
};

class StandardStreams : public testing::Test {
 protected:
  void SetUp() override {
    qelpsnd_set_diagnostics(silence, nullptr);
    qelpsnd_set_overwrite(1);
    dir_ = qelp_test::scratch_dir();
    engine_ = std::make_unique<CQelpsnd>();
  }
  void TearDown() override {
    engine_.reset();
    qelpsnd_set_diagnostics(nullptr, nullptr);
  }

  // Converts in to out (InitEncoder starts the decoder afresh); the number of frames, or -1 when
  // it did not start.
  int convert(const std::string& in, const std::string& out) {
    std::string i = in, o = out;
    engine_->SetInFile(i.data());
    engine_->SetOutFile(o.data());
    if (engine_->InitEncoder() != 1) return -1;
    int frames = 0;
    while (engine_->DecodeFrame() == 1) ++frames;
    return frames;
  }

  std::string dir_;
  std::unique_ptr<CQelpsnd> engine_;
};

TEST_F(StandardStreams, APipedInputGivesTheSameAudioAsTheFile) {
  for (const char* name : {"3f2r_lfe_48k_448.ac3", "damaged_junk_start.ac3", "short_1280.ac3"}) {
    SCOPED_TRACE(name);
    const std::string file = data_path(name);
    ASSERT_GT(convert(file, dir_ + "/file.wav"), 0);
    const uint32_t skipped = static_cast<uint32_t>(engine_->m_bytesSkipped);
    int frames = 0;
    {
      Feeder feeder(read_bytes(file));
      Redirect in(0, feeder.read_end());
      frames = convert("-", dir_ + "/pipe.wav");
    }
    ASSERT_GT(frames, 0) << engine_->m_lastErrorText;
    EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
    EXPECT_EQ(engine_->m_inputSize, 0u) << "a pipe has no size";
    EXPECT_EQ(engine_->m_inputPosition, read_bytes(file).size());
    EXPECT_EQ(engine_->m_bytesSkipped, skipped);
    EXPECT_EQ(qelp_test::read_wave(dir_ + "/pipe.wav").data, qelp_test::read_wave(dir_ + "/file.wav").data);
  }
}

// The start-up check reads far into an input that begins with junk and stray sync words; what it
// read must still reach the decoder, and no byte twice.
TEST_F(StandardStreams, WhatTheCheckReadAheadIsDecodedOnce) {
  std::vector<uint8_t> bytes(300000, 0x5A);
  for (size_t at = 1000; at < bytes.size(); at += 20000) {
    bytes[at] = 0x0B;
    bytes[at + 1] = 0x77;
  }
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  bytes.insert(bytes.end(), clean.begin(), clean.end());
  const std::string file = dir_ + "/late.ac3";
  qelp_test::write_bytes(file, bytes);
  const int from_file = convert(file, dir_ + "/file.wav");
  // The stray sync words are false headers: passed over with the junk, not taken for frames.
  ASSERT_EQ(from_file, 63);
  EXPECT_EQ(engine_->m_framesMuted, 0u);
  EXPECT_EQ(engine_->m_bytesSkipped, 300000u);
  int from_pipe = 0;
  {
    Feeder feeder(bytes);
    Redirect in(0, feeder.read_end());
    from_pipe = convert("-", dir_ + "/pipe.wav");
  }
  EXPECT_EQ(from_pipe, from_file);
  EXPECT_EQ(qelp_test::read_wave(dir_ + "/pipe.wav").data, qelp_test::read_wave(dir_ + "/file.wav").data);
}

TEST_F(StandardStreams, AFileAsStandardInputHasItsSize) {
  const std::string file = data_path("stereo_48k_192.ac3");
  const int fd = open(file.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  {
    Redirect in(0, fd);
    std::string dash = "-";
    EXPECT_EQ(engine_->SetInFile(dash.data()), 0);
    EXPECT_EQ(engine_->m_inputSize, read_bytes(file).size());
    EXPECT_EQ(convert("-", dir_ + "/f.wav"), 63);
  }
  close(fd);
}

TEST_F(StandardStreams, AStandardInputWithoutAc3AudioIsRefusedByThatName) {
  Feeder feeder(std::vector<uint8_t>(5000, 0x42));
  Redirect in(0, feeder.read_end());
  EXPECT_EQ(convert("-", dir_ + "/never.wav"), -1);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_STREQ(engine_->m_lastErrorText, "standard input holds no AC-3 audio");
  EXPECT_FALSE(qelp_test::read_wave(dir_ + "/never.wav").ok);
}

TEST_F(StandardStreams, PipeToPipe) {
  const std::string file = data_path("mono_48k_96.ac3");
  ASSERT_EQ(convert(file, dir_ + "/file.wav"), 63);
  int out_fds[2];
  ASSERT_EQ(pipe(out_fds), 0);
  std::vector<uint8_t> received;
  std::thread reader([&] {
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(out_fds[0], buffer, sizeof buffer)) > 0) received.insert(received.end(), buffer, buffer + n);
  });
  int frames = 0;
  {
    Feeder feeder(read_bytes(file));
    Redirect in(0, feeder.read_end());
    Redirect out(1, out_fds[1]);
    frames = convert("-", "-");
  }
  close(out_fds[1]);
  reader.join();
  close(out_fds[0]);
  EXPECT_EQ(frames, 63);
  const std::vector<uint8_t> expected = read_bytes(dir_ + "/file.wav");
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin() + 46, expected.end(), received.begin() + 46));
}

TEST_F(StandardStreams, AStandardOutputThatIsTheInputIsRefused) {
  const std::string in = dir_ + "/in.ac3";
  qelp_test::write_bytes(in, read_bytes(data_path("short_1280.ac3")));
  const auto before = read_bytes(in);
  const int fd = open(in.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  {
    Redirect out(1, fd);
    EXPECT_EQ(convert(in, "-"), -1);
  }
  close(fd);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_SAME_FILE);
  EXPECT_STREQ(engine_->m_lastErrorText, "Refusing to write standard output over its own input");
  EXPECT_EQ(read_bytes(in), before);
}

}  // namespace
