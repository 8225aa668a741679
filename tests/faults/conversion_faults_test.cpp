// Conversions that meet trouble part-way: a full disk, an input cut short while it is read, a cancel
// at any frame. Each ends with a WAVE file whose header agrees with the file, or with a clear
// failure; never a broken header reported as success, never a changed input.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

namespace fs = std::filesystem;
using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;

constexpr uint32_t kFrame = 6144;

void silence(int, const char*, void*) {}

class ConversionFaults : public testing::Test {
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

  bool open(const std::string& in, const std::string& out) {
    std::string i = in, o = out;
    engine_->SetInFile(i.data());
    engine_->SetOutFile(o.data());
    return engine_->InitEncoder() == 1;
  }

  // The header's sizes agree with the file: RIFF size = file - 8, data size = file - data offset.
  static void expect_consistent(const std::string& path) {
    auto wave = read_wave(path);
    ASSERT_TRUE(wave.ok) << wave.error;
    EXPECT_EQ(wave.riff_size + 8ull, wave.file_size);
    EXPECT_EQ(wave.data_offset + static_cast<uint64_t>(wave.data_size), wave.file_size);
    EXPECT_EQ(wave.data_size % kFrame, 0u);
  }

  std::string dir_;
  std::unique_ptr<CQelpsnd> engine_;
};

// A file size limit stands in for a full disk: writes past it fail as they would on a full one.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit previous_{};
  void (*previous_handler_)(int) = nullptr;
};

TEST_F(ConversionFaults, AFullDiskEndsTheConversionWithAFailureAndAConsistentFile) {
  const std::string in = data_path("3f2r_lfe_48k_448.ac3");
  const auto input = read_bytes(in);
  const std::string out = dir_ + "/full.wav";
  int frames = 0;
  {
    FileSizeLimit limit(100000);  // room for 16 frames and a bit
    ASSERT_TRUE(open(in, out)) << engine_->m_lastErrorText;
    while (engine_->DecodeFrame() == 1) ++frames;
  }
  EXPECT_LT(frames, 63);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_OUTPUT) << engine_->m_lastErrorText;
  EXPECT_NE(std::strstr(engine_->m_lastErrorText, "full.wav"), nullptr) << engine_->m_lastErrorText;
  expect_consistent(out);
  EXPECT_LE(fs::file_size(out), 100000u);
  EXPECT_EQ(read_bytes(in), input);
  // The engine is usable again.
  ASSERT_TRUE(open(data_path("short_1280.ac3"), dir_ + "/after.wav"));
  while (engine_->DecodeFrame() == 1) {
  }
  EXPECT_EQ(engine_->m_lastError, QELP_OK);
}

TEST_F(ConversionFaults, NoRoomForTheHeaderMeansNoFileAndAFailure) {
  const std::string out = dir_ + "/nohead.wav";
  {
    FileSizeLimit limit(20);
    EXPECT_FALSE(open(data_path("short_1280.ac3"), out));
  }
  EXPECT_NE(engine_->m_lastError, QELP_OK);
  EXPECT_FALSE(fs::exists(out)) << "a conversion that cannot start leaves no file";
}

TEST_F(ConversionFaults, AnInputCutShortWhileItIsReadEndsTheConversionCleanly) {
  const std::string in = dir_ + "/shrinking.ac3";
  fs::copy_file(data_path("stereo_48k_192.ac3"), in);
  const std::string out = dir_ + "/shrunk.wav";
  ASSERT_TRUE(open(in, out));
  int frames = 0;
  for (; frames < 5; ++frames) ASSERT_EQ(engine_->DecodeFrame(), 1);
  ASSERT_EQ(truncate(in.c_str(), 768 * 20 + 300), 0);  // 20 frames and part of the 21st remain
  while (engine_->DecodeFrame() == 1) ++frames;
  EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
  EXPECT_GE(frames, 20);
  EXPECT_LE(frames, 21);
  expect_consistent(out);
}

TEST_F(ConversionFaults, CancelAtAnyFrameLeavesAConsistentFile) {
  std::mt19937 rng(2024);
  const std::string in = data_path("3f2r_lfe_44k_640.ac3");
  const auto input = read_bytes(in);
  for (int round = 0; round < 8; ++round) {
    const int stop_after = static_cast<int>(rng() % 58);
    const std::string out = dir_ + "/cancel" + std::to_string(round) + ".wav";
    ASSERT_TRUE(open(in, out));
    for (int i = 0; i < stop_after; ++i) ASSERT_EQ(engine_->DecodeFrame(), 1);
    engine_->Terminate();
    EXPECT_EQ(engine_->m_lastError, QELP_OK);
    expect_consistent(out);
    EXPECT_EQ(read_wave(out).data_size, static_cast<uint32_t>(stop_after) * kFrame);
  }
  EXPECT_EQ(read_bytes(in), input);
}

// The writer keeps its file open and rewrites the header through it, so a folder removed under it
// does not break the conversion: the data went with the folder, as the user asked.
TEST_F(ConversionFaults, TheOutputFolderRemovedMidWayDoesNotBreakTheConversion) {
  const std::string folder = dir_ + "/vanishing";
  fs::create_directory(folder);
  const std::string out = folder + "/x.wav";
  ASSERT_TRUE(open(data_path("stereo_48k_192.ac3"), out));
  for (int i = 0; i < 10; ++i) ASSERT_EQ(engine_->DecodeFrame(), 1);
  fs::remove_all(folder);
  while (engine_->DecodeFrame() == 1) {
  }
  EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
  EXPECT_EQ(engine_->m_outputBytes, 63 * kFrame);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
