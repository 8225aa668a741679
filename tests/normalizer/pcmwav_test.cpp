// Opening, parsing and in-place access of PCM WAVE files, and the lock that keeps other openers out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "pcmwav.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "wav_fixture.h"

using namespace normalizer_test;
using qelp::pcmwav_access;
using qelp::pcmwav_file;

namespace {

std::string make(const std::string& name, const Bytes& bytes) {
  std::string path = qelp_test::scratch_dir() + "/" + name;
  write_file(path, bytes);
  return path;
}

// Opens for reading and writing; returns the error text on failure, "" on success (file left open).
std::string open_text(const std::string& path, pcmwav_file* file) {
  if (qelp::pcmwav_open(path.c_str(), pcmwav_access::read_write, file)) return "";
  return qelp::pcmwav_error_text(file);
}

}  // namespace

TEST(PcmwavOpen, AcceptsFmtOf16And18BytesAndAFactChunk) {
  const Bytes data = pcm16({1, -2, 3, -4});
  struct Case {
    WavLayout layout;
  } cases[3];
  cases[0].layout.fmt_size = 16;
  cases[1].layout.fmt_size = 18;
  cases[2].layout.fmt_size = 18;
  cases[2].layout.fact = true;
  for (const Case& c : cases) {
    std::string path = make("ok.wav", wav_bytes(data, c.layout));
    pcmwav_file file;
    ASSERT_EQ(open_text(path, &file), "") << "fmt " << c.layout.fmt_size << " fact " << c.layout.fact;
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.sampling_rate, 48000);
    EXPECT_EQ(file.bits, 16);
    EXPECT_EQ(file.data_size, 8u);
    EXPECT_EQ(file.data_offset, static_cast<int32_t>(data_offset(c.layout)));
    // The position is at the first data byte.
    unsigned char first[8];
    ASSERT_EQ(qelp::pcmwav_read(&file, first, 8), 1);
    EXPECT_EQ(samples16(Bytes(first, first + 8)), (std::vector<int16_t>{1, -2, 3, -4}));
    qelp::pcmwav_close(&file);
  }
}

// (LIST chunks, never-rewritten headers and compressed files are refused in the worker's tests.)
TEST(PcmwavOpen, RefusesWhatIsNotUsablePcmWithItsMessage) {
  const Bytes data = pcm16({1, 2});
  WavLayout bits24;
  bits24.bits = 24;
  WavLayout short_fmt;
  short_fmt.fmt_size = 14;
  Bytes wrong_riff = wav_bytes(data);
  wrong_riff[0] = 'X';
  Bytes no_data_after_fmt = wav_bytes(data);
  no_data_after_fmt.resize(12 + 8 + 18);  // ends right after the fmt chunk

  struct Case {
    const char* what;
    Bytes bytes;
    const char* text;
  } cases[] = {
      {"not RIFF", wrong_riff, "This is not a PCM WAV file.\n"},
      {"empty file", Bytes(), "This is not a PCM WAV file.\n"},
      {"24-bit", wav_bytes(data, bits24), "Can only deal with 8-bit or 16-bit samples.\n"},
      {"fmt shorter than 16", wav_bytes(data, short_fmt), "Error in subchunk 1: this is not a PCM WAV file.\n"},
      {"ends after fmt", no_data_after_fmt, "Error in subchunk 2: this is not a PCM WAV file.\n"},
  };
  for (const Case& c : cases) {
    std::string path = make("bad.wav", c.bytes);
    pcmwav_file file;
    EXPECT_EQ(open_text(path, &file), c.text) << c.what;
    EXPECT_EQ(file.handle, -1) << c.what;
    EXPECT_EQ(qelp::pcmwav_error_code(&file), QELP_ERR_INPUT) << c.what;
    // A refused file is closed again: it can be opened (and locked) at once.
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << c.what;
    ::close(fd);
  }
}

TEST(PcmwavOpen, NamesAFileThatCannotBeOpenedAndRefusesWhatIsNotARegularFile) {
  std::string dir = qelp_test::scratch_dir();
  std::string missing = dir + "/missing.wav";
  pcmwav_file file;
  EXPECT_EQ(open_text(missing, &file), "Cannot open file " + missing + ".\n");
  EXPECT_STRNE(qelp::pcmwav_error_reason(&file), "");

  // A FIFO must neither block the open nor be taken for a file.
  std::string fifo = dir + "/pipe.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(open_text(fifo, &file), "Cannot open file " + fifo + ".\n");
  EXPECT_STREQ(qelp::pcmwav_error_reason(&file), "not a regular file");
  EXPECT_EQ(open_text(dir, &file), "Cannot open file " + dir + ".\n");

  // A long path is not cut in the message.
  std::string deep = dir + "/" + std::string(200, 'a') + "/" + std::string(200, 'b') + ".wav";
  EXPECT_EQ(open_text(deep, &file), "Cannot open file " + deep + ".\n");
}

TEST(PcmwavOpen, HoldsAnExclusiveLockWhileOpen) {
  std::string path = make("locked.wav", wav_bytes(pcm16({1, 2, 3, 4})));
  pcmwav_file first;
  ASSERT_EQ(open_text(path, &first), "");

  // A second opener through pcmwav fails as busy...
  pcmwav_file second;
  EXPECT_EQ(open_text(path, &second), "Cannot open file " + path + ".\n");
  EXPECT_EQ(qelp::pcmwav_error_code(&second), QELP_ERR_BUSY);
  EXPECT_STREQ(qelp::pcmwav_error_reason(&second), "it is in use by another conversion or normalization");
  // ...and so does anyone else who takes the same lock.
  int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);

  qelp::pcmwav_close(&first);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // While someone else holds it, pcmwav_open is refused the other way round too.
  EXPECT_EQ(open_text(path, &second), "Cannot open file " + path + ".\n");
  EXPECT_EQ(qelp::pcmwav_error_code(&second), QELP_ERR_BUSY);
  ::close(fd);
  EXPECT_EQ(open_text(path, &second), "");
  qelp::pcmwav_close(&second);
}

TEST(PcmwavAccess, ReadWriteSeekRewindInPlaceWithTheirErrorTexts) {
  WavLayout layout;
  std::string path = make("rw.wav", wav_bytes(pcm16({10, 20, 30, 40}), layout));
  pcmwav_file file;
  ASSERT_EQ(open_text(path, &file), "");

  unsigned char buf[16];
  ASSERT_EQ(qelp::pcmwav_read(&file, buf, 4), 1);
  ASSERT_EQ(qelp::pcmwav_seek(&file, -4), 1);
  const Bytes replaced = pcm16({-1, -2});
  ASSERT_EQ(qelp::pcmwav_write(&file, replaced.data(), 4), 1);

  // Reading past the end reads what there is and says how much.
  EXPECT_EQ(qelp::pcmwav_read(&file, buf, 16), 0);
  EXPECT_STREQ(qelp::pcmwav_error_text(&file), "Error in pcmwav_read(); only read 4 instead of 16 bytes.");

  ASSERT_EQ(qelp::pcmwav_rewind(&file), 1);
  ASSERT_EQ(qelp::pcmwav_read(&file, buf, 8), 1);
  EXPECT_EQ(samples16(Bytes(buf, buf + 8)), (std::vector<int16_t>{-1, -2, 30, 40}));

  // A move that lands on position 0, or before it, is an error.
  const int32_t back = -static_cast<int32_t>(data_offset(layout) + 8);
  EXPECT_EQ(qelp::pcmwav_seek(&file, back), 0);
  EXPECT_STREQ(qelp::pcmwav_error_text(&file),
               ("Error in pcmwav_seek() - pos = " + std::to_string(back)).c_str());
  EXPECT_EQ(qelp::pcmwav_seek(&file, back - 100), 0);
  EXPECT_EQ(qelp::pcmwav_close(&file), 1);

  // Nothing outside the four data bytes written changed.
  Bytes expected = wav_bytes(pcm16({-1, -2, 30, 40}), layout);
  EXPECT_EQ(read_file(path), expected);
}

TEST(PcmwavAccess, WriteFailureIsReportedWithItsText) {
  std::string path = make("ro.wav", wav_bytes(pcm16({1, 2})));
  pcmwav_file file;
  ASSERT_EQ(qelp::pcmwav_open(path.c_str(), pcmwav_access::read, &file), 1);
  const Bytes two = pcm16({5});
  EXPECT_EQ(qelp::pcmwav_write(&file, two.data(), 2), 0);
  EXPECT_STREQ(qelp::pcmwav_error_text(&file), "Error in pcmwav_write(); only wrote 0 instead of 2 bytes.");
  EXPECT_EQ(qelp::pcmwav_error_code(&file), QELP_ERR_OUTPUT);
  qelp::pcmwav_close(&file);
}
