// The engine's conversion loop: counters, frame counts at the ends of the input, a second
// conversion with the same object, cancelling, and the inputs and outputs it must refuse.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "ac3/decoder.h"
#include "engine_parts.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;
using qelp_test::scratch_dir;

constexpr uint32_t kFrame = 6144;

void silence(int, const char*, void*) {}

class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    qelpsnd_set_diagnostics(silence, nullptr);
    qelpsnd_set_overwrite(1);
    dir_ = scratch_dir();
    engine_ = std::make_unique<CQelpsnd>();
  }
  void TearDown() override {
    engine_.reset();
    qelpsnd_set_diagnostics(nullptr, nullptr);
  }

  std::string out(const std::string& name) { return dir_ + "/" + name; }

  bool open(const std::string& in, const std::string& output) {
    std::string i = in, o = output;
    engine_->SetInFile(i.data());
    engine_->SetOutFile(o.data());
    return engine_->InitEncoder() == 1;
  }

  // Runs DecodeFrame to the end; returns the number of calls that returned 1.
  int run() {
    int frames = 0;
    while (engine_->DecodeFrame() == 1) ++frames;
    return frames;
  }

  std::string dir_;
  std::unique_ptr<CQelpsnd> engine_;
};

TEST_F(EngineTest, CountersAfterAWholeConversion) {
  const std::string in = data_path("stereo_48k_192.ac3");
  ASSERT_TRUE(open(in, out("a.wav"))) << engine_->m_lastErrorText;
  EXPECT_EQ(run(), 63);
  EXPECT_EQ(engine_->m_lastError, QELP_OK) << engine_->m_lastErrorText;
  // Bytes decoded ends one frame above the PCM written: the final call counts too.
  EXPECT_EQ(engine_->m_bytesDecoded, 64 * kFrame);
  EXPECT_EQ(engine_->m_outputBytes, 63 * kFrame);
  EXPECT_EQ(engine_->m_inputSize, std::filesystem::file_size(in));
  EXPECT_EQ(engine_->m_inputPosition, engine_->m_inputSize);

  auto wave = read_wave(out("a.wav"));
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.data_offset, 46u);
  EXPECT_EQ(wave.fmt_size, 18u);
  EXPECT_EQ(wave.extra_size, 0u);
  EXPECT_EQ(wave.format_tag, 1u);
  EXPECT_EQ(wave.channels, 2u);
  EXPECT_EQ(wave.sample_rate, 48000u);
  EXPECT_EQ(wave.bits_per_sample, 16u);
  EXPECT_EQ(wave.data_size, 63 * kFrame);
  EXPECT_EQ(wave.riff_size, 38 + 63 * kFrame);
  EXPECT_EQ(wave.file_size, 46 + 63 * kFrame);
}

// Every complete frame reaches the output: the first (the probe) and those in the last, short chunk.
struct FrameCountCase {
  const char* file;
  int frames;
  uint32_t rate;
};

void PrintTo(const FrameCountCase& c, std::ostream* os) { *os << c.file; }

class EngineFrameCount : public EngineTest, public testing::WithParamInterface<FrameCountCase> {};

TEST_P(EngineFrameCount, ConvertsEveryFrameOfTheFile) {
  const FrameCountCase& c = GetParam();
  ASSERT_TRUE(open(data_path(c.file), out("out.wav"))) << engine_->m_lastErrorText;
  EXPECT_EQ(run(), c.frames);
  EXPECT_EQ(engine_->m_lastError, QELP_OK);
  auto wave = read_wave(out("out.wav"));
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.data_size, static_cast<uint32_t>(c.frames) * kFrame);
  EXPECT_EQ(wave.sample_rate, c.rate);
}

INSTANTIATE_TEST_SUITE_P(
    EndsOfInput, EngineFrameCount,
    testing::Values(FrameCountCase{"short_1280.ac3", 10, 48000},          // used up by the first chunk
                    FrameCountCase{"len_multiple_2047.ac3", 63, 48000},   // ends in a chunk of zeros
                    FrameCountCase{"mono_48k_32.ac3", 63, 48000},
                    FrameCountCase{"stereo_44k_32.ac3", 58, 44100},       // 69/70-word frames
                    FrameCountCase{"stereo_32k_96.ac3", 42, 32000},
                    FrameCountCase{"3f2r_lfe_44k_640.ac3", 58, 44100},
                    FrameCountCase{"damaged_junk_start.ac3", 63, 48000},
                    FrameCountCase{"damaged_junk_between.ac3", 63, 48000},
                    FrameCountCase{"damaged_bitflip_frame10.ac3", 63, 48000},
                    // 62 whole frames and one cut short, which becomes one frame of silence.
                    FrameCountCase{"damaged_truncated_last.ac3", 63, 48000}),
    [](const testing::TestParamInfo<FrameCountCase>& info) {
      std::string name = info.param.file;
      name.resize(name.find('.'));
      return name;
    });

bool silent(const uint8_t* frame) {
  return std::all_of(frame, frame + kFrame, [](uint8_t x) { return x == 0; });
}

// Which frames come out silent, and the frames before the damage equal the clean stream's. (After
// a damaged frame the dither generator, which runs on across frames, is at another point than in
// the clean stream; the damaged-stream suite compares those frames on streams without dither.)
TEST_F(EngineTest, DamagedFramesAreSilentAndTheOthersCarryAudio) {
  ASSERT_TRUE(open(data_path("stereo_48k_192.ac3"), out("clean.wav")));
  run();
  ASSERT_TRUE(open(data_path("damaged_bitflip_frame10.ac3"), out("flip.wav")));
  run();
  auto clean = read_wave(out("clean.wav"));
  auto flip = read_wave(out("flip.wav"));
  ASSERT_EQ(flip.data.size(), 63 * kFrame);
  for (size_t f = 0; f < 63; ++f) EXPECT_EQ(silent(&flip.data[f * kFrame]), f == 10) << "frame " << f;
  EXPECT_EQ(std::memcmp(clean.data.data(), flip.data.data(), 10 * kFrame), 0);

  ASSERT_TRUE(open(data_path("damaged_truncated_last.ac3"), out("cut.wav")));
  run();
  auto cut = read_wave(out("cut.wav"));
  ASSERT_EQ(cut.data.size(), 63 * kFrame);
  for (size_t f = 0; f < 63; ++f) EXPECT_EQ(silent(&cut.data[f * kFrame]), f == 62) << "frame " << f;
}

TEST_F(EngineTest, SecondConversionWithTheSameObjectMatchesTheFirst) {
  ASSERT_TRUE(open(data_path("3f2r_lfe_48k_448.ac3"), out("one.wav")));
  EXPECT_EQ(run(), 63);
  ASSERT_TRUE(open(data_path("stereo_44k_192.ac3"), out("two.wav")));
  EXPECT_EQ(run(), 58);
  EXPECT_EQ(engine_->m_bytesDecoded, 59 * kFrame);
  ASSERT_TRUE(open(data_path("3f2r_lfe_48k_448.ac3"), out("three.wav")));
  EXPECT_EQ(run(), 63);
  auto one = read_wave(out("one.wav"));
  auto two = read_wave(out("two.wav"));
  auto three = read_wave(out("three.wav"));
  EXPECT_EQ(one.sample_rate, 48000u);
  EXPECT_EQ(two.sample_rate, 44100u);
  ASSERT_EQ(two.data.size(), 58 * kFrame);
  for (size_t f = 0; f < 58; ++f) EXPECT_FALSE(silent(&two.data[f * kFrame])) << "frame " << f;
  EXPECT_EQ(one.data, three.data);
}

// The first frame (the probe) is folded down with this conversion's surround switch, whatever mode
// the decoder was left in by whoever used it last.
TEST_F(EngineTest, TheFirstFrameFollowsThisConversionsSurroundSwitch) {
  const std::string in = data_path("3f2r_lfe_48k_448.ac3");
  for (int surround : {1, 0}) {
    engine_->SetSurround(surround);
    ASSERT_TRUE(open(in, out("alone.wav")));
    run();
    qelp::EngineParts::of(*engine_).reader.decoder().surround_mode =
        1 - surround;  // left behind by the last conversion
    ASSERT_TRUE(open(in, out("again.wav")));
    run();
    auto alone = read_wave(out("alone.wav"));
    auto again = read_wave(out("again.wav"));
    ASSERT_EQ(alone.data.size(), 63 * kFrame);
    EXPECT_EQ(again.data, alone.data) << "surround " << surround;
  }
}

TEST_F(EngineTest, TerminateLeavesAValidFileWithWhatWasWritten) {
  ASSERT_TRUE(open(data_path("stereo_48k_192.ac3"), out("t.wav")));
  for (int i = 0; i < 20; ++i) ASSERT_EQ(engine_->DecodeFrame(), 1);
  const uint32_t decoded = engine_->m_bytesDecoded;
  engine_->Terminate();
  EXPECT_EQ(engine_->m_bytesDecoded, decoded);
  EXPECT_EQ(engine_->m_outputBytes, 20 * kFrame);
  EXPECT_GT(engine_->m_inputPosition, 0u);
  EXPECT_LT(engine_->m_inputPosition, engine_->m_inputSize);
  auto wave = read_wave(out("t.wav"));
  ASSERT_TRUE(wave.ok);
  EXPECT_EQ(wave.data_size, 20 * kFrame);
  EXPECT_EQ(wave.file_size, 46 + 20 * kFrame);
  // Closing twice is harmless; so is a DecodeFrame after the end.
  engine_->Terminate();
  EXPECT_EQ(engine_->DecodeFrame(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_STATE);
  // And the object converts again.
  ASSERT_TRUE(open(data_path("short_1280.ac3"), out("again.wav")));
  EXPECT_EQ(run(), 10);
}

TEST_F(EngineTest, DestroyingTheEngineMidConversionClosesTheFileProperly) {
  ASSERT_TRUE(open(data_path("stereo_48k_192.ac3"), out("d.wav")));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(engine_->DecodeFrame(), 1);
  engine_.reset();
  auto wave = read_wave(out("d.wav"));
  ASSERT_TRUE(wave.ok) << wave.error;
  EXPECT_EQ(wave.data_size, 5 * kFrame);
}

TEST_F(EngineTest, MissingInputIsReportedAndNothingIsCreated) {
  std::string missing = dir_ + "/missing.ac3";
  EXPECT_NE(engine_->SetInFile(missing.data()), 0);
  EXPECT_EQ(engine_->m_inputSize, 0u);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_NE(std::strstr(engine_->m_lastErrorText, "missing.ac3"), nullptr) << engine_->m_lastErrorText;
  std::string o = out("never.wav");
  engine_->SetOutFile(o.data());
  EXPECT_EQ(engine_->InitEncoder(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_FALSE(std::filesystem::exists(o));
  // A folder is not an input either.
  EXPECT_NE(engine_->SetInFile(dir_.data()), 0);
  EXPECT_EQ(engine_->m_inputSize, 0u);
}

TEST_F(EngineTest, InputWithoutAc3AudioIsRefusedBeforeAnythingIsCreated) {
  std::string empty = dir_ + "/empty.ac3";
  qelp_test::write_bytes(empty, {});
  EXPECT_FALSE(open(empty, out("e.wav")));
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_NE(std::strstr(engine_->m_lastErrorText, "is empty"), nullptr) << engine_->m_lastErrorText;
  EXPECT_FALSE(std::filesystem::exists(out("e.wav")));

  // One frame cut in half: no frame passes its CRC check.
  auto bytes = read_bytes(data_path("stereo_48k_192.ac3"));
  bytes.resize(400);
  qelp_test::write_bytes(dir_ + "/half.ac3", bytes);
  EXPECT_FALSE(open(dir_ + "/half.ac3", out("h.wav")));
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT);
  EXPECT_NE(std::strstr(engine_->m_lastErrorText, "half.ac3 holds no AC-3 audio"), nullptr) << engine_->m_lastErrorText;
  EXPECT_FALSE(std::filesystem::exists(out("h.wav")));

  // A damaged first frame is no reason to refuse: the stream's later frames pass.
  bytes = read_bytes(data_path("stereo_48k_192.ac3"));
  bytes[100] ^= 0x08;
  qelp_test::write_bytes(dir_ + "/first_bad.ac3", bytes);
  ASSERT_TRUE(open(dir_ + "/first_bad.ac3", out("f.wav"))) << engine_->m_lastErrorText;
  EXPECT_EQ(run(), 63);
}

TEST_F(EngineTest, UnwritableOutputFolderFailsAndLeavesTheEngineUsable) {
  EXPECT_FALSE(open(data_path("stereo_48k_192.ac3"), dir_ + "/no/such/folder/x.wav"));
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_OUTPUT);
  EXPECT_NE(std::strstr(engine_->m_lastErrorText, "no/such/folder/x.wav"), nullptr) << engine_->m_lastErrorText;
  ASSERT_TRUE(open(data_path("short_1280.ac3"), out("ok.wav")));
  EXPECT_EQ(run(), 10);
}

TEST_F(EngineTest, RefusesToWriteOverItsOwnInput) {
  std::string in = dir_ + "/in.ac3";
  std::filesystem::copy_file(data_path("short_1280.ac3"), in);
  std::string hard = dir_ + "/hard.wav";
  std::string soft = dir_ + "/soft.wav";
  ASSERT_EQ(link(in.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink(in.c_str(), soft.c_str()), 0);
  const auto before = read_bytes(in);
  for (const std::string& target : {in, hard, soft, dir_ + "/./in.ac3"}) {
    EXPECT_FALSE(open(in, target)) << target;
    EXPECT_EQ(engine_->m_lastError, QELP_ERR_SAME_FILE) << target;
    EXPECT_EQ(read_bytes(in), before) << target;
  }
}

TEST_F(EngineTest, OverlongTextsAreRefusedAndNothingOverflows) {
  std::string path1023(1023, 'a');
  std::string path1024(1024, 'a');
  EXPECT_EQ(engine_->SetOutFile(path1023.data()), 0);
  EXPECT_EQ(std::strlen(engine_->m_outPath), 1023u);
  EXPECT_NE(engine_->SetOutFile(path1024.data()), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_ARGUMENT);
  EXPECT_NE(engine_->SetInFile(path1024.data()), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_ARGUMENT);
  EXPECT_EQ(engine_->m_inputSize, 0u);

  char seven[] = "1234567";
  char eight[] = "12345678";
  engine_->m_lastError = QELP_OK;
  engine_->SetAmplifyDBLevel(seven);
  EXPECT_STREQ(engine_->m_amplify, "1234567");
  EXPECT_EQ(engine_->m_lastError, QELP_OK);
  engine_->SetAmplifyDBLevel(eight);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_ARGUMENT);
  EXPECT_STREQ(engine_->m_amplify, "1234567");  // the earlier text stays
}

TEST_F(EngineTest, OneConversionAtATime) {
  ASSERT_TRUE(open(data_path("stereo_48k_192.ac3"), out("a.wav")));
  std::string o = out("b.wav");
  engine_->SetOutFile(o.data());
  EXPECT_EQ(engine_->InitEncoder(), 0);
  EXPECT_EQ(engine_->m_lastError, QELP_ERR_STATE);
  EXPECT_EQ(run(), 63);  // the open conversion is unharmed
}

TEST(EngineObject, ExportsAndDefaults) {
  EXPECT_EQ(fnQelpsnd(), 42);
  EXPECT_EQ(nQelpsnd, 0);
  CQelpsnd engine;
  EXPECT_EQ(engine.m_normalize, 1);
  EXPECT_EQ(engine.m_surround, 1);
  EXPECT_EQ(engine.m_amplify[0], '\0');
  EXPECT_EQ(engine.m_bytesDecoded, 0u);
  EXPECT_FALSE(engine.GetNormState());
}

TEST(EngineObject, CopyAssignmentCopiesEveryMember) {
  auto a = std::make_unique<CQelpsnd>();
  char path[] = "/tmp/some.wav";
  char amp[] = "15";
  a->SetOutFile(path);
  a->SetAmplifyDBLevel(amp);
  a->SetNormalizeOff();
  a->SetSurround(0);
  a->m_bytesDecoded = 12345;
  a->m_pcmFrame[6143] = 7;
  a->m_memoryInput[2047] = 9;
  CQelpsnd b;
  b = *a;
  EXPECT_STREQ(b.m_outPath, "/tmp/some.wav");
  EXPECT_STREQ(b.m_amplify, "15");
  EXPECT_EQ(b.m_normalize, 0);
  EXPECT_EQ(b.m_surround, 0);
  EXPECT_EQ(b.m_bytesDecoded, 12345u);
  EXPECT_EQ(b.m_pcmFrame[6143], 7);
  EXPECT_EQ(b.m_memoryInput[2047], 9);
}

}  // namespace
