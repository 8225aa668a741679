// qelp as a user runs it: exit status, one clear line naming the file, and no file changed when
// a conversion is refused.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

namespace fs = std::filesystem;
using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;

struct Result {
  int status = -1;
  std::string out;  // standard output and standard error together
};

Result qelp(const std::string& args) {
  std::string command = qelp_test::binary_path("bin/qelp") + " " + args + " 2>&1 </dev/null";
  Result r;
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) r.out.append(buffer.data(), n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

int lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

TEST(QelpConvert, ConvertsToTheDefaultNameAndReports) {
  std::string dir = qelp_test::scratch_dir();
  fs::copy_file(data_path("stereo_48k_192.ac3"), dir + "/music.ac3");
  Result r = qelp("convert " + dir + "/music.ac3");
  EXPECT_EQ(r.status, 0) << r.out;
  auto wave = read_wave(dir + "/music.wav");
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.data_size, 63u * 6144u);
  EXPECT_NE(r.out.find("music.ac3 -> " + dir + "/music.wav: 0:02.0 of audio, 0.4 MB in "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("x real time)\n"), std::string::npos) << r.out;
  // -q prints nothing on success.
  r = qelp("convert -q -y " + dir + "/music.ac3 " + dir + "/quiet.wav");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

// Damage before or between frames, or frames that fail their checks, is no success: exit status
// 3, and one line saying it even with -q. Clean streams (zero padding behind the last frame
// included) exit 0 and say nothing with -q.
TEST(QelpConvert, DamagedStreamsExitThreeCleanOnesZero) {
  std::string dir = qelp_test::scratch_dir();
  for (const char* name : {"damaged_junk_start", "damaged_bitflip_frame10", "damaged_truncated_last",
                           "damaged_junk_between"}) {
    std::string out = dir + "/" + name + ".wav";
    Result r = qelp("convert -q " + data_path(std::string(name) + ".ac3") + " " + out);
    EXPECT_EQ(r.status, 3) << name << ": " << r.out;
    EXPECT_EQ(lines(r.out), 1) << name << ": " << r.out;
    EXPECT_EQ(r.out.rfind("qelp: " + data_path(std::string(name) + ".ac3") + ": ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("CRC"), std::string::npos) << "the engine's trace only with --debug: " << r.out;
    EXPECT_TRUE(read_wave(out).ok) << name;
  }
  for (const char* name : {"len_multiple_2047", "short_1280"}) {
    std::string out = dir + "/" + name + ".wav";
    Result r = qelp("convert -q " + data_path(std::string(name) + ".ac3") + " " + out);
    EXPECT_EQ(r.status, 0) << name << ": " << r.out;
    EXPECT_EQ(r.out, "") << name;
  }
  Result r = qelp("convert --debug -y " + data_path("damaged_bitflip_frame10.ac3") + " " + dir + "/v.wav");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("** CRC failed - skipping frame **"), std::string::npos) << r.out;
}

// An existing output is looked through for AC-3 frames before it is written over; a sync word in
// its samples whose frame fails its CRC is no message of qelp's.
TEST(QelpConvert, LookingThroughAnExistingOutputSaysNothing) {
  const std::string dir = qelp_test::scratch_dir();
  std::vector<uint8_t> old = {0x0B, 0x77, 0x12, 0x34, 0x10};  // sync word, CRC, 48 kHz, a valid size
  for (int i = 0; i < 4000; ++i) old.push_back(static_cast<uint8_t>(i * 37 + 11));
  qelp_test::write_bytes(dir + "/out.wav", old);
  Result r = qelp("convert -q -y " + data_path("stereo_48k_192.ac3") + " " + dir + "/out.wav");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(read_wave(dir + "/out.wav").ok);
}

TEST(QelpConvert, RefusalsExitNonZeroWithOneLineNamingTheFileAndChangeNothing) {
  std::string dir = qelp_test::scratch_dir();
  std::string in = dir + "/in.ac3";
  fs::copy_file(data_path("short_1280.ac3"), in);
  const auto input_bytes = read_bytes(in);

  Result missing = qelp("convert " + dir + "/absent.ac3 " + dir + "/absent.wav");
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(lines(missing.out), 1) << missing.out;
  EXPECT_NE(missing.out.find("absent.ac3"), std::string::npos) << missing.out;
  EXPECT_FALSE(fs::exists(dir + "/absent.wav"));

  Result folder = qelp("convert " + in + " " + dir + "/no/such/dir/x.wav");
  EXPECT_NE(folder.status, 0);
  EXPECT_EQ(lines(folder.out), 1) << folder.out;
  EXPECT_NE(folder.out.find("no/such/dir/x.wav"), std::string::npos) << folder.out;

  Result self = qelp("convert -y " + in + " " + in);
  EXPECT_NE(self.status, 0);
  EXPECT_EQ(lines(self.out), 1) << self.out;
  EXPECT_NE(self.out.find("in.ac3"), std::string::npos) << self.out;
  EXPECT_EQ(read_bytes(in), input_bytes);

  std::string existing = dir + "/existing.wav";
  qelp_test::write_bytes(existing, {1, 2, 3});
  Result exists = qelp("convert " + in + " " + existing);
  EXPECT_NE(exists.status, 0);
  EXPECT_EQ(lines(exists.out), 1) << exists.out;
  EXPECT_NE(exists.out.find("existing.wav"), std::string::npos) << exists.out;
  EXPECT_EQ(read_bytes(existing), (std::vector<uint8_t>{1, 2, 3}));

  Result yes = qelp("convert -q -y " + in + " " + existing);
  EXPECT_EQ(yes.status, 0) << yes.out;
  EXPECT_EQ(read_wave(existing).data_size, 10u * 6144u);
  EXPECT_EQ(read_bytes(in), input_bytes);
}

TEST(QelpConvert, SeveralInputsIntoAFolder) {
  std::string dir = qelp_test::scratch_dir();
  fs::create_directory(dir + "/out");
  Result r = qelp("convert -q " + data_path("short_1280.ac3") + " " + data_path("mono_48k_32.ac3") + " -o " + dir + "/out");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_wave(dir + "/out/short_1280.wav").data_size, 10u * 6144u);
  EXPECT_EQ(read_wave(dir + "/out/mono_48k_32.wav").data_size, 63u * 6144u);
  // One bad input among good ones: the others are converted, the status says something failed.
  r = qelp("convert -q -y " + dir + "/nothing.ac3 " + data_path("short_1280.ac3") + " -o " + dir + "/out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("nothing.ac3"), std::string::npos);
}

TEST(QelpConvert, UsageErrors) {
  EXPECT_EQ(qelp("convert").status, 2);
  EXPECT_EQ(qelp("convert --bogus x.ac3").status, 2);
  EXPECT_EQ(qelp("convert --amplify 3 x.ac3").status, 2);
  EXPECT_EQ(qelp("convert --amplify 60 x.ac3").status, 2);
  EXPECT_EQ(qelp("frobnicate").status, 2);
  EXPECT_EQ(qelp("--help").status, 0);
}

TEST(QelpInfo, DescribesTheStream) {
  Result r = qelp("info " + data_path("stereo_44k_32.ac3"));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("44100 Hz"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("32 kbit/s"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("frames          58"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CRC failures    0"), std::string::npos) << r.out;

  r = qelp("info " + data_path("damaged_bitflip_frame10.ac3"));
  EXPECT_NE(r.out.find("CRC failures    1"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("** CRC"), std::string::npos) << r.out;

  r = qelp("info " + data_path("does_not_exist.ac3"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("does_not_exist.ac3"), std::string::npos);
}

}  // namespace

namespace {

// Inputs that are not AC-3 audio, and awkward paths: one clear line and a non-zero exit, or a
// correct conversion; never a file left behind for a refused input.
class QelpBadInput : public testing::Test {
 protected:
  void SetUp() override { dir_ = qelp_test::scratch_dir(); }

  void expect_refused(const std::string& in, const std::string& named) {
    std::string out = dir_ + "/refused.wav";
    Result r = qelp("convert \"" + in + "\" \"" + out + "\"");
    EXPECT_NE(r.status, 0) << in;
    EXPECT_EQ(lines(r.out), 1) << r.out;
    EXPECT_NE(r.out.find(named), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out)) << in;
  }

  std::string dir_;
};

TEST_F(QelpBadInput, FilesThatHoldNoAc3AudioAreRefused) {
  qelp_test::write_bytes(dir_ + "/empty.ac3", {});
  expect_refused(dir_ + "/empty.ac3", "empty.ac3");
  expect_refused(dir_, dir_);  // a directory

  std::vector<uint8_t> random(50000);
  uint32_t x = 12345;
  for (auto& b : random) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  qelp_test::write_bytes(dir_ + "/random.ac3", random);
  expect_refused(dir_ + "/random.ac3", "random.ac3");

  // A WAVE file and an MP3 file given as AC-3.
  ASSERT_EQ(qelp("convert -q " + data_path("short_1280.ac3") + " " + dir_ + "/real.wav").status, 0);
  fs::rename(dir_ + "/real.wav", dir_ + "/wave.ac3");
  expect_refused(dir_ + "/wave.ac3", "wave.ac3");
  std::string mp3 = dir_ + "/song.ac3";
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=d=1 -c:a libmp3lame -f mp3 -y " + mp3).c_str()), 0)
      << "ffmpeg makes the MP3 input";
  expect_refused(mp3, "song.ac3");
}

TEST_F(QelpBadInput, PathsWithSpacesAndNonAsciiCharactersConvert) {
  std::string folder = dir_ + "/Música con espacios ♪";
  fs::create_directories(folder);
  fs::copy_file(data_path("short_1280.ac3"), folder + "/Ein Lied – äöü.ac3");
  Result r = qelp("convert -q \"" + folder + "/Ein Lied – äöü.ac3\"");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_wave(folder + "/Ein Lied – äöü.wav").data_size, 10u * 6144u);
}

TEST_F(QelpBadInput, PathLengthsAtTheLimit) {
  // Build a real folder chain so that IN has exactly 1023 bytes; its .wav twin has the same length.
  std::string path = dir_;
  while (path.size() + 1 + 200 + 1 + 10 < 1023) {
    path += "/" + std::string(200, 'd');
    fs::create_directory(path);
  }
  std::string name(1023 - path.size() - 1 - 4, 'n');
  std::string in1023 = path + "/" + name + ".ac3";
  ASSERT_EQ(in1023.size(), 1023u);
  fs::copy_file(data_path("short_1280.ac3"), in1023);
  Result ok = qelp("convert -q " + in1023);
  EXPECT_EQ(ok.status, 0) << ok.out;
  EXPECT_TRUE(fs::exists(path + "/" + name + ".wav"));

  std::string in1024 = path + "/" + name + "x.ac3";
  fs::copy_file(data_path("short_1280.ac3"), in1024);
  Result too_long = qelp("convert -q " + in1024 + " " + dir_ + "/x.wav");
  EXPECT_NE(too_long.status, 0);
  EXPECT_EQ(lines(too_long.out), 1) << too_long.out;
  EXPECT_NE(too_long.out.find("too long"), std::string::npos) << too_long.out;
  EXPECT_FALSE(fs::exists(dir_ + "/x.wav"));

  Result huge = qelp("convert -q " + std::string(4000, 'a') + ".ac3 " + dir_ + "/y.wav");
  EXPECT_NE(huge.status, 0);
  EXPECT_EQ(lines(huge.out), 1) << huge.out;
  EXPECT_FALSE(fs::exists(dir_ + "/y.wav"));
}

TEST_F(QelpBadInput, OutputThatIsTheInputThroughALinkIsRefused) {
  std::string in = dir_ + "/in.ac3";
  fs::copy_file(data_path("short_1280.ac3"), in);
  const auto before = read_bytes(in);
  fs::create_symlink(in, dir_ + "/soft.wav");
  fs::create_hard_link(in, dir_ + "/hard.wav");
  // A link to the AC-3 input holds AC-3 audio: it is taken as an input, and never written over.
  for (const char* target : {"soft.wav", "hard.wav"}) {
    Result r = qelp("convert -q -y " + in + " " + dir_ + "/" + target);
    EXPECT_EQ(r.status, 1) << target;
    EXPECT_EQ(lines(r.out), 1) << r.out;
    EXPECT_NE(r.out.find(std::string(target) + " holds AC-3 audio and is never written over"), std::string::npos)
        << r.out;
    EXPECT_EQ(read_bytes(in), before) << target;
  }
}

}  // namespace
