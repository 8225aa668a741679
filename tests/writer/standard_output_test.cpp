// The standard output as the writer's file: a pipe (or a file opened for appending) gets the
// header at once, with the largest RIFF and data sizes, and is never rewritten; a redirection to a
// regular file gets its header rewritten where it began. Diagnostics never mix into the audio.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "writer_fixture.h"

namespace writer_test {
namespace {

// Points descriptor `which` (1 or 2) at `target` until destroyed.
class Redirect {
 public:
  Redirect(int which, int target) : which_(which) {
    std::fflush(which == 1 ? stdout : stderr);
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

std::vector<uint8_t> read_fd(int fd) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  return bytes;
}

class StandardOutputTest : public WriterTest {
 protected:
  // Writes count frames to the standard output, which points at fd meanwhile.
  void write_through(int fd, int count) {
    writer_.to_standard_output = true;
    ASSERT_EQ(writer_.set_path("standard output"), 1);
    Redirect out(1, fd);
    ASSERT_EQ(writer_.open(), 1) << failure_.text;
    ASSERT_TRUE(write_frames(0, count));
    ASSERT_EQ(writer_.close(), 1) << failure_.text;
  }
  void TearDown() override {
    writer_.to_standard_output = false;
    WriterTest::TearDown();
  }
};

TEST_F(StandardOutputTest, APipeGetsTheLargestSizesOnceAndTheDataBehindThem) {
  // No sink: what the engine would print on the standard output goes to standard error instead.
  qelpsnd_set_diagnostics(nullptr, nullptr);
  const std::string errors = dir_ + "/stderr.txt";
  const int err_fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(err_fd, 0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    Redirect err(2, err_fd);
    write_through(fds[1], 3);
  }
  close(fds[1]);
  close(err_fd);
  const std::vector<uint8_t> f = read_fd(fds[0]);
  close(fds[0]);

  ASSERT_EQ(f.size(), 46u + 3 * 6144);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(le32(f, 4), 0xFFFFFFFFu);
  EXPECT_EQ(le16(f, 20), 1u);
  EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "data");
  EXPECT_EQ(le32(f, 42), 0xFFFFFFFFu);
  for (int i = 0; i < 3; ++i) {
    const std::vector<uint8_t> frame = frame_bytes(i);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), f.begin() + 46 + 6144 * i)) << "frame " << i;
  }
  EXPECT_EQ(writer_.total, 3u * 6144);
  EXPECT_NE(read_all(errors).size(), 0u) << "the engine's lines went to standard error";
}

TEST_F(StandardOutputTest, AFormatOtherThanPcmOnAPipeLeavesItsLengthUnknown) {
  choose("test");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  write_through(fds[1], 2);
  close(fds[1]);
  const std::vector<uint8_t> f = read_fd(fds[0]);
  close(fds[0]);
  ASSERT_EQ(f.size(), kTestCodecHeader + 2 * 6144);
  EXPECT_EQ(std::string(f.begin() + 38, f.begin() + 42), "fact");
  EXPECT_EQ(le32(f, 46), 0u);
  EXPECT_EQ(le32(f, kTestCodecDataSizeAt), 0xFFFFFFFFu);
}

TEST_F(StandardOutputTest, ARegularFileGetsItsHeaderRewrittenWhereItBegan) {
  const std::string path = dir_ + "/redirected.wav";
  write_all(path, {'a', 'b', 'c'});
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 0, SEEK_END), 3);
  write_through(fd, 2);
  close(fd);
  const std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 3u + 46 + 2 * 6144);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 7), "abcRIFF");
  EXPECT_EQ(le32(f, 3 + 4), 38u + 2 * 6144);
  EXPECT_EQ(le32(f, 3 + 42), 2u * 6144);
}

TEST_F(StandardOutputTest, AFileOpenedForAppendingIsWrittenAsAPipe) {
  const std::string path = dir_ + "/appended.wav";
  write_all(path, {'x'});
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  write_through(fd, 1);
  close(fd);
  const std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 1u + 46 + 6144);
  EXPECT_EQ(f[0], 'x');
  EXPECT_EQ(le32(f, 1 + 4), 0xFFFFFFFFu);
  EXPECT_EQ(le32(f, 1 + 42), 0xFFFFFFFFu);
}

// Without a sink the engine's lines for the standard output go to standard error as long as any
// writer sends audio there: two writers at once, and the lines come back only after both are done.
TEST(StandardOutputLines, StayOffTheStandardOutputWhileAnyWriterSendsAudioThere) {
  qelpsnd_set_diagnostics(nullptr, nullptr);
  const std::string dir = qelp_test::scratch_dir();
  const int out_fd = open((dir + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err_fd = open((dir + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(out_fd, 0);
  ASSERT_GE(err_fd, 0);
  {
    Redirect out(1, out_fd);
    Redirect err(2, err_fd);
    qelp::diag_standard_output_claim();
    qelp::diag_standard_output_claim();
    qelp::diag_out("first\n");
    qelp::diag_standard_output_release();
    qelp::diag_out("second\n");
    qelp::diag_standard_output_release();
    qelp::diag_out("third\n");
    qelp::diag_standard_output_release();  // one too many changes nothing
    qelp::diag_out("fourth\n");
    std::fflush(stdout);
    std::fflush(stderr);
  }
  close(out_fd);
  close(err_fd);
  const std::vector<uint8_t> out = read_all(dir + "/out.txt");
  const std::vector<uint8_t> err = read_all(dir + "/err.txt");
  EXPECT_EQ(std::string(out.begin(), out.end()), "third\nfourth\n");
  EXPECT_EQ(std::string(err.begin(), err.end()), "first\nsecond\n");
}

}  // namespace
}  // namespace writer_test
