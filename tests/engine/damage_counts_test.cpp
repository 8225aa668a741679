// What the engine counts while it converts: frames that failed their checks and were written as
// silence (and where the first one is), input bytes the frame search passed over (and which of them
// lay behind the last frame), the stream's rate; and that these agree with the frame headers as
// `qelpsnd_stream_info` reads them, frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using qelp_test::data_path;
using qelp_test::read_bytes;

void silence(int, const char*, void*) {}

struct Counts {
  bool ok = false;
  int frames = 0;
  uint32_t muted = 0;
  int32_t first_muted = -1;
  uint64_t skipped = 0;
  uint64_t after_last = 0;
  uint32_t rate = 0;
  std::vector<uint8_t> pcm;
};

class DamageCounts : public testing::Test {
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

  Counts convert(const std::string& in) {
    Counts c;
    std::string i = in;
    std::string o = dir_ + "/out.wav";
    engine_->SetInFile(i.data());
    engine_->SetOutFile(o.data());
    if (engine_->InitEncoder() != 1) return c;
    while (engine_->DecodeFrame() == 1) ++c.frames;
    c.ok = engine_->m_lastError == QELP_OK;
    c.muted = engine_->m_framesMuted;
    c.first_muted = engine_->m_firstMutedFrame;
    c.skipped = engine_->m_bytesSkipped;
    c.after_last = engine_->m_bytesAfterLast;
    c.rate = engine_->m_samplingRate;
    c.pcm = qelp_test::read_wave(o).data;
    return c;
  }

  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_ + "/" + name;
    qelp_test::write_bytes(path, bytes);
    return path;
  }

  std::string dir_;
  std::unique_ptr<CQelpsnd> engine_;
};

bool silent_frame(const std::vector<uint8_t>& pcm, int frame) {
  return std::all_of(pcm.begin() + frame * 6144, pcm.begin() + (frame + 1) * 6144, [](uint8_t b) { return b == 0; });
}

TEST_F(DamageCounts, ACleanStreamCountsNothing) {
  const Counts c = convert(data_path("stereo_44k_192.ac3"));
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.frames, 58);
  EXPECT_EQ(c.muted, 0u);
  EXPECT_EQ(c.first_muted, -1);
  EXPECT_EQ(c.skipped, 0u);
  EXPECT_EQ(c.rate, 44100u);
}

TEST_F(DamageCounts, EachKindOfDamageIsCountedWhereItIs) {
  struct Case {
    const char* file;
    uint32_t muted;
    int32_t first;
    uint64_t skipped;
    uint64_t after_last;
  };
  const std::vector<uint8_t> mono = read_bytes(data_path("mono_48k_32.ac3"));
  const Case cases[] = {
      {"damaged_bitflip_frame10.ac3", 1, 10, 0, 0},
      {"damaged_truncated_last.ac3", 1, 62, 0, 0},  // the cut frame's sync word is still there
      {"damaged_junk_start.ac3", 0, -1, 1000, 0},
      {"damaged_junk_between.ac3", 0, -1, 333, 0},
      {"len_multiple_2047.ac3", 0, -1, (2047 - mono.size() % 2047) % 2047, (2047 - mono.size() % 2047) % 2047},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    const Counts c = convert(data_path(k.file));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.muted, k.muted);
    EXPECT_EQ(c.first_muted, k.first);
    EXPECT_EQ(c.skipped, k.skipped);
    EXPECT_EQ(c.after_last, k.after_last);
    if (k.first >= 0) {
      EXPECT_TRUE(silent_frame(c.pcm, k.first));
    }
  }
}

// Three frames with a bit flipped, junk in front and behind: the counts are those of the frame
// headers as `qelp info` reads them, and each damaged frame is silent where it was.
TEST_F(DamageCounts, CountsMatchTheStreamsFrameHeaders) {
  std::vector<uint8_t> bytes = read_bytes(data_path("3f2r_lfe_48k_448.ac3"));  // 1792-byte frames
  const size_t frame = 1792;
  bytes.insert(bytes.begin(), 77, 0x55);
  for (int f : {4, 5, 40}) bytes[77 + f * frame + 900] ^= 0x02;
  bytes.insert(bytes.end(), 500, 0x00);
  const std::string in = write("three.ac3", bytes);

  const Counts c = convert(in);
  ASSERT_TRUE(c.ok);
  QelpsndStreamInfo info{};
  char error[512];
  ASSERT_EQ(qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error), 1) << error;
  EXPECT_EQ(c.frames, static_cast<int>(info.frames));
  EXPECT_EQ(c.muted, info.crc_failures);
  EXPECT_EQ(c.muted, 3u);
  EXPECT_EQ(c.first_muted, 4);
  EXPECT_EQ(c.skipped, info.junk_bytes);
  EXPECT_EQ(c.skipped, 577u);
  EXPECT_EQ(c.after_last, 500u);
  for (int f = 0; f < c.frames; ++f) EXPECT_EQ(silent_frame(c.pcm, f), f == 4 || f == 5 || f == 40) << f;

  // A second conversion starts counting afresh.
  const Counts again = convert(data_path("short_1280.ac3"));
  EXPECT_EQ(again.muted, 0u);
  EXPECT_EQ(again.first_muted, -1);
  EXPECT_EQ(again.skipped, 0u);
}

// A sync word destroyed: its frame is lost to the search, not muted; the bytes say so.
TEST_F(DamageCounts, ALostSyncWordShowsAsSkippedBytes) {
  std::vector<uint8_t> bytes = read_bytes(data_path("stereo_48k_192.ac3"));  // 768-byte frames
  bytes[20 * 768] = 0x00;
  const Counts c = convert(write("nosync.ac3", bytes));
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.frames, 62);
  EXPECT_EQ(c.muted, 0u);
  EXPECT_EQ(c.skipped, 768u);
  EXPECT_EQ(c.after_last, 0u);
}

// A long stretch without a sync word between frames is damage, not padding behind the last frame,
// however far the search goes into it.
TEST_F(DamageCounts, ALongGapBetweenFramesIsNotTakenForTheEnd) {
  std::vector<uint8_t> bytes = read_bytes(data_path("stereo_48k_192.ac3"));
  bytes.insert(bytes.begin() + 10 * 768, 70000, 0x00);
  const Counts c = convert(write("gap.ac3", bytes));
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.frames, 63);
  EXPECT_EQ(c.skipped, 70000u);
  EXPECT_EQ(c.after_last, 0u);
}

// Runs of bytes that are not AC-3 frames, of any length, anywhere: the search goes on to the real
// end of the input and every frame behind them is converted; the bytes are counted as skipped, by
// the conversion and by the header scan alike.
TEST_F(DamageCounts, LongRunsOfOtherBytesLoseNoFrame) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));  // 63 frames of 768 bytes
  const Counts reference = convert(data_path("stereo_48k_192.ac3"));
  std::mt19937 random(16);
  std::vector<uint8_t> noise(200000);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  struct Run {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t at;  // inserted before this frame
  };
  const Run runs[] = {
      {"70000 zero bytes after frame 5", std::vector<uint8_t>(70000, 0x00), 6},
      {"200 KB of 0xFF", std::vector<uint8_t>(200000, 0xFF), 6},
      {"200 KB of random bytes", noise, 6},
      {"a 100 KB junk prefix", std::vector<uint8_t>(noise.begin(), noise.begin() + 100000), 0},
      {"60 KB of zeros before the last frame", std::vector<uint8_t>(60000, 0x00), 62},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    std::vector<uint8_t> bytes = clean;
    bytes.insert(bytes.begin() + static_cast<long>(run.at * 768), run.bytes.begin(), run.bytes.end());
    const std::string in = write("run.ac3", bytes);
    const Counts c = convert(in);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.frames, 63);
    EXPECT_EQ(c.muted, 0u);
    EXPECT_EQ(c.skipped, run.bytes.size());
    EXPECT_EQ(c.after_last, 0u);
    EXPECT_EQ(c.pcm, reference.pcm);
    QelpsndStreamInfo info{};
    char error[512];
    ASSERT_EQ(qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error), 1) << error;
    EXPECT_EQ(info.frames, 63u);
    EXPECT_EQ(info.junk_bytes, run.bytes.size());
  }
}

// A false header in front of a real frame hides no frame, whatever size it claims.
TEST_F(DamageCounts, FiveJunkBytesThatLookLikeAHeaderCostNothing) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  const Counts reference = convert(data_path("stereo_48k_192.ac3"));
  for (uint8_t rate_byte : {uint8_t{0x25}, uint8_t{0x00}, uint8_t{0x40 | 37}, uint8_t{0x80 | 18}}) {
    SCOPED_TRACE(int{rate_byte});
    std::vector<uint8_t> bytes = clean;
    const uint8_t junk[5] = {0x0B, 0x77, 0x00, 0x00, rate_byte};
    bytes.insert(bytes.begin() + 5 * 768, junk, junk + 5);
    const Counts c = convert(write("junk5.ac3", bytes));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.frames, 63);
    EXPECT_EQ(c.muted, 0u);
    EXPECT_EQ(c.skipped, 5u);
    EXPECT_EQ(c.pcm, reference.pcm);
  }
}

// A sync word in the input's last bytes has its header in the zero padding behind the end, where
// zeros make a frame that passes its check: it is no frame, for the conversion and qelp info alike.
TEST_F(DamageCounts, ASyncWordAtTheVeryEndAddsNoFrame) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  const Counts reference = convert(data_path("stereo_48k_192.ac3"));
  for (const std::vector<uint8_t>& ending :
       {std::vector<uint8_t>{0x0B, 0x77}, std::vector<uint8_t>{0x0B, 0x77, 0x00, 0x00}}) {
    SCOPED_TRACE(ending.size());
    std::vector<uint8_t> bytes = clean;
    bytes.insert(bytes.end(), ending.begin(), ending.end());
    const std::string in = write("sync_at_end.ac3", bytes);
    const Counts c = convert(in);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.frames, reference.frames);
    EXPECT_EQ(c.muted, 0u);
    EXPECT_EQ(c.after_last, ending.size());
    EXPECT_EQ(c.pcm, reference.pcm);
    QelpsndStreamInfo info{};
    char error[256] = {};
    ASSERT_EQ(qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error), 1) << error;
    EXPECT_EQ(info.frames, static_cast<uint32_t>(reference.frames));
  }
}

// The start-up check looks at the input's first MiB: a first frame later than that is refused
// with the documented message, one inside it converts.
TEST_F(DamageCounts, TheStartUpCheckLooksAtTheFirstMebibyte) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  std::vector<uint8_t> late(1000000, 0x00);
  late.insert(late.end(), clean.begin(), clean.end());
  EXPECT_EQ(convert(write("late.ac3", late)).frames, 63);
  std::vector<uint8_t> too_late((1u << 20) + 10, 0x00);
  too_late.insert(too_late.end(), clean.begin(), clean.end());
  const Counts c = convert(write("too_late.ac3", too_late));
  EXPECT_FALSE(c.ok);
  EXPECT_NE(std::string(engine_->m_lastErrorText).find("holds no AC-3 audio"), std::string::npos)
      << engine_->m_lastErrorText;
}

// A copy of an AC-3 frame with another bsid and a CRC that passes.
std::vector<uint8_t> with_bsid(std::vector<uint8_t> frame, int bsid) {
  frame[5] = static_cast<uint8_t>((frame[5] & 0x07) | bsid << 3);
  uint16_t reg = 0;
  for (size_t i = 2; i + 2 < frame.size(); ++i) {
    reg ^= static_cast<uint16_t>(frame[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      reg = static_cast<uint16_t>(reg & 0x8000 ? (reg << 1) ^ 0x8005 : reg << 1);
  }
  frame[frame.size() - 2] = static_cast<uint8_t>(reg >> 8);
  frame[frame.size() - 1] = static_cast<uint8_t>(reg);
  return frame;
}

TEST_F(DamageCounts, FramesWithAnUnknownBsidAreSilentAndCounted) {
  std::vector<uint8_t> bytes = read_bytes(data_path("stereo_48k_192.ac3"));
  const int bsids[3] = {9, 10, 20};
  for (int k = 0; k < 3; ++k) {
    const size_t at = (10 + k) * 768u;
    const std::vector<uint8_t> frame(bytes.begin() + static_cast<long>(at),
                                     bytes.begin() + static_cast<long>(at + 768));
    const std::vector<uint8_t> changed = with_bsid(frame, bsids[k]);
    std::copy(changed.begin(), changed.end(), bytes.begin() + static_cast<long>(at));
  }
  const std::string in = write("bsid.ac3", bytes);
  const Counts c = convert(in);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.frames, 63);
  EXPECT_EQ(c.muted, 3u);
  EXPECT_EQ(c.first_muted, 10);
  EXPECT_EQ(c.skipped, 0u);
  for (int f = 0; f < c.frames; ++f) EXPECT_EQ(silent_frame(c.pcm, f), f >= 10 && f <= 12) << f;
  QelpsndStreamInfo info{};
  char error[512];
  ASSERT_EQ(qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error), 1) << error;
  EXPECT_EQ(info.frames, 63u);
  EXPECT_EQ(info.unknown_bsid, 3u);
  EXPECT_EQ(info.crc_failures, 0u);
}

TEST_F(DamageCounts, AnEac3StreamIsRefusedByName) {
  const Counts c = convert(data_path("eac3_48k_192.eac3"));
  EXPECT_FALSE(c.ok);
  EXPECT_NE(std::string(engine_->m_lastErrorText).find("E-AC-3"), std::string::npos)
      << engine_->m_lastErrorText;
  QelpsndStreamInfo info{};
  char error[512] = "";
  EXPECT_EQ(qelpsnd_stream_info(data_path("eac3_48k_192.eac3").c_str(), 1, &info, error, sizeof error), 0);
  EXPECT_NE(std::string(error).find("E-AC-3"), std::string::npos) << error;
  EXPECT_EQ(info.frames, 0u);
  EXPECT_EQ(info.crc_failures, 0u);
}

TEST_F(DamageCounts, Eac3FramesInsideAnAc3StreamArePassedOverAndCounted) {
  const std::vector<uint8_t> clean = read_bytes(data_path("stereo_48k_192.ac3"));
  const std::vector<uint8_t> eac3 = read_bytes(data_path("eac3_48k_192.eac3"));
  std::vector<uint8_t> bytes(clean.begin(), clean.begin() + 20 * 768);
  bytes.insert(bytes.end(), eac3.begin(), eac3.begin() + 5 * 768);  // five 768-byte E-AC-3 frames
  bytes.insert(bytes.end(), clean.begin() + 20 * 768, clean.end());
  const Counts c = convert(write("mixed.ac3", bytes));
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.frames, 63);
  EXPECT_EQ(c.muted, 0u);
  EXPECT_EQ(c.skipped, 0u);
  EXPECT_EQ(engine_->m_framesEac3, 5u);
}

// 48 kHz frames followed by 44.1 kHz ones: the file is 48 kHz, and the 44.1 kHz frames are silent
// and counted, never written to play 8.8 % fast.
TEST_F(DamageCounts, FramesAtAnotherRateAreSilentAndCounted) {
  std::vector<uint8_t> bytes = read_bytes(data_path("stereo_48k_192.ac3"));        // 63 frames
  const std::vector<uint8_t> other = read_bytes(data_path("stereo_44k_192.ac3"));  // 58 frames
  bytes.insert(bytes.end(), other.begin(), other.end());
  const std::string in = write("rates.ac3", bytes);
  const Counts c = convert(in);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.rate, 48000u);
  EXPECT_EQ(c.frames, 63 + 58);
  EXPECT_EQ(c.muted, 58u);
  EXPECT_EQ(engine_->m_framesOtherRate, 58u);
  EXPECT_EQ(c.first_muted, 63);
  for (int f = 60; f < c.frames; ++f) EXPECT_EQ(silent_frame(c.pcm, f), f >= 63) << f;
  QelpsndStreamInfo info{};
  char error[512];
  ASSERT_EQ(qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error), 1) << error;
  EXPECT_EQ(info.sampling_rate, 48000u);
  EXPECT_EQ(info.other_rate, 58u);
}

TEST_F(DamageCounts, TheCountsGrowWhileTheConversionRuns) {
  const std::string in = data_path("damaged_bitflip_frame10.ac3");
  std::string i = in, o = dir_ + "/grow.wav";
  engine_->SetInFile(i.data());
  engine_->SetOutFile(o.data());
  ASSERT_EQ(engine_->InitEncoder(), 1);
  EXPECT_EQ(engine_->m_samplingRate, 48000u);
  for (int f = 0; f < 10; ++f) ASSERT_EQ(engine_->DecodeFrame(), 1);
  EXPECT_EQ(engine_->m_framesMuted, 0u);
  ASSERT_EQ(engine_->DecodeFrame(), 1);  // frame 10
  EXPECT_EQ(engine_->m_framesMuted, 1u);
  EXPECT_EQ(engine_->m_firstMutedFrame, 10);
  engine_->Terminate();
  EXPECT_EQ(engine_->m_framesMuted, 1u);
}

}  // namespace
