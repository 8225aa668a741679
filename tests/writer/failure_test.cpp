// Failures end the conversion, never the process: each returns 0 with a code and a text naming the
// file, leaves no half-written file behind, and a file that was written keeps a header matching it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "writer_fixture.h"

namespace writer_test {
namespace {

TEST_F(WriterTest, CancelledChooserReturnsZeroAndCreatesNothing) {
  acmSetFormatChooser(choose_cancel, nullptr, 0);
  std::string path = use_path("cancel.wav");
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_FALSE(writer_.is_open());
  EXPECT_EQ(failure_.code, QELP_ERR_CANCELLED);
  EXPECT_NE(std::string(failure_.text).find(path), std::string::npos) << failure_.text;
  EXPECT_FALSE(file_exists(path));
  EXPECT_NE(
      err().find(
          "\noutput_wavefile_open() : acmFormatChoose() failed. The user chose the Cancel button or the "
          "Close command on the System menu to close the dialog box."),
      std::string::npos)
      << err();
}

TEST_F(WriterTest, CancelLeavesAnExistingFileAlone) {
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  std::string path = use_path("keep.wav");
  write_all(path, {1, 2, 3});
  acmSetFormatChooser(choose_cancel, nullptr, 0);
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(read_all(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(WriterTest, UnavailableFormatFailsAtStreamOpenWithItsReason) {
  acmSetFormatChooser(choose_unavailable, nullptr, 0);
  std::string path = use_path("nobody.wav");
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_CODEC);
  EXPECT_NE(std::string(failure_.text).find(path), std::string::npos) << failure_.text;
  EXPECT_NE(
      err().find(
          "\noutput_wavefile_open() : acmStreamOpen() failed, The requested operation cannot be performed."),
      std::string::npos)
      << err();
  EXPECT_FALSE(file_exists(path));
  // The writer is usable again afterwards.
  acmSetFormatChooser(nullptr, nullptr, 0);
  EXPECT_EQ(writer_.open(), 1) << failure_.text;
  EXPECT_EQ(writer_.close(), 1);
}

TEST_F(WriterTest, ChooserFindingNoFormatReportsNoDriver) {
  writer_.format = qelp::StreamFormat{6, 48000, 6144};  // no driver makes anything from six channels
  std::string path = use_path("six.wav");
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_CODEC);
  EXPECT_NE(err().find("acmFormatChoose() failed. A suitable driver is not available to provide valid format "
                       "selections. "),
            std::string::npos)
      << err();
  EXPECT_FALSE(file_exists(path));
}

TEST_F(WriterTest, ExistingFileIsKeptUnlessOverwriteIsAllowed) {
  std::string path = use_path("exists.wav");
  write_all(path, {9, 9, 9, 9});
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::never);
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_EXISTS);
  EXPECT_NE(err().find("\noutput_wavefile_open() : Aborted."), std::string::npos);
  EXPECT_EQ(read_all(path), (std::vector<uint8_t>{9, 9, 9, 9}));

  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  ASSERT_TRUE(write_frames(0, 1));
  ASSERT_EQ(writer_.close(), 1);
  EXPECT_EQ(read_all(path).size(), 46u + 6144u);
}

// Puts text on standard input for the overwrite question, restoring the real one afterwards.
class StdinText {
 public:
  explicit StdinText(const char* text) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    close(fds[1]);
    saved_ = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
    std::clearerr(stdin);
  }
  ~StdinText() {
    dup2(saved_, 0);
    close(saved_);
    std::clearerr(stdin);
  }

 private:
  int saved_ = -1;
};

TEST_F(WriterTest, OverwriteQuestionTakesOnlyYes) {
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
  std::string path = use_path("ask.wav");
  write_all(path, {5, 5});
  {
    StdinText answer("n");
    EXPECT_EQ(writer_.open(), 0);
  }
  EXPECT_EQ(failure_.code, QELP_ERR_EXISTS);
  EXPECT_NE(out().find("\n" + path + " already exists, overwrite? "), std::string::npos) << out();
  EXPECT_EQ(read_all(path), (std::vector<uint8_t>{5, 5}));
  {
    StdinText answer("Y");
    ASSERT_EQ(writer_.open(), 1) << failure_.text;
  }
  ASSERT_EQ(writer_.close(), 1);
  EXPECT_EQ(read_all(path).size(), 46u);
}

TEST_F(WriterTest, UncreatableFileIsReportedWithItsPath) {
  std::string path = use_path("no/such/folder/out.wav");
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_OUTPUT);
  EXPECT_NE(std::string(failure_.text).find("Could not create " + path), std::string::npos) << failure_.text;
  EXPECT_NE(err().find("\noutput_wavefile_open() : Could not create " + path), std::string::npos);
}

TEST_F(WriterTest, FileLockedByAnotherOpenerIsRefusedUntouched) {
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  std::string path = use_path("locked.wav");
  write_all(path, {7, 7, 7});
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(writer_.open(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_BUSY);
  EXPECT_NE(std::string(failure_.text).find(path), std::string::npos);
  EXPECT_EQ(read_all(path), (std::vector<uint8_t>{7, 7, 7}));  // not truncated
  close(fd);

  // While the writer holds it, another exclusive opener is refused.
  ASSERT_EQ(writer_.open(), 1) << failure_.text;
  fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(writer_.close(), 1);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);  // released at close
  close(fd);
}

// Lowers the process's file size limit for one test, so writes fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

// Frames whose converted bytes fill the staging buffer once; the frame after them makes it go out.
constexpr int kFramesPerWrite = static_cast<int>(qelp::kOutputStagingBytes / 6144);

TEST_F(WriterTest, WriteFailureStopsWithAHeaderMatchingTheDataWritten) {
  std::string path = use_path("full.wav");
  ASSERT_EQ(writer_.open(), 1);
  const uint32_t first_write = kFramesPerWrite * 6144;
  int failed_at = -1;
  {
    // Room for the header, the first buffer's worth and half a frame more.
    FileSizeLimit limit(46 + first_write + 3072);
    for (int i = 0; i < 4 * kFramesPerWrite && failed_at < 0; ++i) {
      if (!write_frames(i, 1)) failed_at = i;
    }
    EXPECT_EQ(failure_.code, QELP_ERR_OUTPUT);
    EXPECT_NE(std::string(failure_.text).find(path), std::string::npos);
    EXPECT_FALSE(write_frames(failed_at + 1, 1));  // stays stopped
    EXPECT_EQ(writer_.close(), 1);
  }
  // The second buffer's write fails; the frame that would not fit the first buffer tells.
  EXPECT_EQ(failed_at, 2 * kFramesPerWrite);
  EXPECT_EQ(writer_.total, first_write);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u + first_write);  // the half-written buffer is cut off again
  EXPECT_EQ(le32(f, 42), first_write);
  EXPECT_EQ(le32(f, 4), 38u + first_write);
  std::vector<uint8_t> last = frame_bytes(kFramesPerWrite - 1);
  EXPECT_TRUE(std::equal(last.begin(), last.end(), f.end() - 6144));
  EXPECT_NE(err().find("\noutput_wavefile_write() : fwrite() failed."), std::string::npos);
}

TEST_F(WriterTest, WriteFailureOfTheLastStagedBytesFailsTheClose) {
  std::string path = use_path("full_at_close.wav");
  ASSERT_EQ(writer_.open(), 1);
  {
    FileSizeLimit limit(46 + 3 * 6144 + 3072);
    EXPECT_TRUE(write_frames(0, 4));  // staged, not yet in the file
    EXPECT_EQ(writer_.close(), 0);
  }
  EXPECT_EQ(failure_.code, QELP_ERR_OUTPUT);
  EXPECT_NE(std::string(failure_.text).find(path), std::string::npos);
  EXPECT_EQ(writer_.total, 0u);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u);
  EXPECT_EQ(le32(f, 42), 0u);
}

TEST_F(WriterTest, StagedDataReachesTheFileInOrderAcrossBufferWrites) {
  std::string path = use_path("staged.wav");
  ASSERT_EQ(writer_.open(), 1);
  const int frames = 3 * kFramesPerWrite + 2;
  ASSERT_TRUE(write_frames(0, frames));
  ASSERT_EQ(writer_.close(), 1);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u + frames * 6144u);
  for (int i = 0; i < frames; ++i) {
    std::vector<uint8_t> expected = frame_bytes(i);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), f.begin() + 46 + i * 6144)) << "frame " << i;
  }
}

TEST_F(WriterTest, SizeLimitStopsBeforeItAndClosesAValidFile) {
  std::string path = use_path("limit.wav");
  writer_.set_size_limit(4 * 6144 + 100);
  ASSERT_EQ(writer_.open(), 1);
  EXPECT_TRUE(write_frames(0, 4));
  EXPECT_FALSE(write_frames(4, 1));
  EXPECT_EQ(failure_.code, QELP_ERR_SIZE_LIMIT);
  EXPECT_NE(std::string(failure_.text).find(path), std::string::npos);
  EXPECT_EQ(writer_.close(), 1);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), 46u + 4 * 6144);
  EXPECT_EQ(le32(f, 42), 4u * 6144);
  EXPECT_EQ(le32(f, 4), 38u + 4 * 6144);
}

TEST_F(WriterTest, SizeLimitAlsoHoldsForTheFlushAtClose) {
  test_codec().hold_until_end = true;
  choose("test");
  std::string path = use_path("limit_flush.wav");
  writer_.set_size_limit(2 * 6144);
  ASSERT_EQ(writer_.open(), 1);
  EXPECT_TRUE(write_frames(0, 3));  // all held by the codec
  EXPECT_EQ(writer_.close(), 0);
  EXPECT_EQ(failure_.code, QELP_ERR_SIZE_LIMIT);
  std::vector<uint8_t> f = read_all(path);
  EXPECT_LE(writer_.total, 2u * 6144);
  ASSERT_EQ(f.size(), kTestCodecHeader + writer_.total);
  EXPECT_EQ(le32(f, kTestCodecDataSizeAt), writer_.total);
}

TEST_F(WriterTest, CodecThatNeverConsumesIsGivenUpOn) {
  test_codec().never_consume = true;
  choose("test");
  std::string path = use_path("stuck.wav");
  ASSERT_EQ(writer_.open(), 1);
  EXPECT_FALSE(write_frames(0, 1));
  EXPECT_EQ(failure_.code, QELP_ERR_CODEC);
  EXPECT_LE(test_codec().calls.size(), 16u);
  EXPECT_NE(err().find("\noutput_wavefile_write() : acmStreamConvert() returned cbSrcLengthUsed = 0 !"),
            std::string::npos);
  EXPECT_EQ(writer_.close(), 1);
  std::vector<uint8_t> f = read_all(path);
  ASSERT_EQ(f.size(), kTestCodecHeader);
  EXPECT_EQ(le32(f, kTestCodecDataSizeAt), 0u);
}

TEST_F(WriterTest, CodecFailureMidStreamIsReportedWithItsReason) {
  test_codec().fail_on_call = 3;
  test_codec().fail_code = ACMERR_UNPREPARED;
  choose("test");
  std::string path = use_path("codec_fail.wav");
  ASSERT_EQ(writer_.open(), 1);
  EXPECT_TRUE(write_frames(0, 2));
  EXPECT_FALSE(write_frames(2, 1));
  EXPECT_EQ(failure_.code, QELP_ERR_CODEC);
  EXPECT_NE(
      err().find(
          "\noutput_wavefile_write() : acmStreamConvert() failed,\nThe stream header specified in pash is "
          "currently not prepared by the acmStreamPrepareHeader function."),
      std::string::npos)
      << err();
  EXPECT_EQ(writer_.close(), 1);
  EXPECT_EQ(read_all(path).size(), kTestCodecHeader + 2 * 6144);
}

}  // namespace
}  // namespace writer_test
