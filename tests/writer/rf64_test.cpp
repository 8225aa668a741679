// Past 4 GiB the writer goes on as RF64 (RF64 header, ds64 chunk with the 64-bit sizes), in room
// kept at open by a JUNK chunk when the input could get there; everything else stays plain RIFF,
// byte for byte. A hook starts the data near the limit with a hole, so the files are sparse and the
// test costs a few frames. ffprobe reads the result as an independent reader (sox does too, but it
// reads all 4 GiB to do so, too slow for a test); the normalizer reads and rewrites RF64.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/engine_parts.h"
#include "engine/output_wavefile.h"
#include "platform/little_endian.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

// The first n bytes of a file.
std::vector<uint8_t> head_of(const std::string& path, size_t n) {
  std::vector<uint8_t> b(n);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  b.resize(std::fread(b.data(), 1, n, f));
  std::fclose(f);
  return b;
}

std::string command_output(const std::string& command) {
  std::string out;
  if (std::FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  return out;
}

struct Converted {
  int started = 0;
  uint64_t output_bytes64 = 0;
  uint32_t output_bytes = 0;
  bool rf64_room = false;
  std::string error;
};

// Converts stereo_48k_192.ac3 (63 frames) to out with the data starting at `hole` bytes.
Converted convert(const std::string& out, uint64_t hole) {
  Converted c;
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  CQelpsnd engine;
  std::string in = qelp_test::data_path("stereo_48k_192.ac3");
  std::string o = out;
  engine.SetInFile(in.data());
  engine.SetOutFile(o.data());
  qelp::EngineParts::of(engine).writer.test_data_start = hole;
  c.started = engine.InitEncoder();
  c.rf64_room = qelp::EngineParts::of(engine).writer.rf64_room();
  while (c.started && engine.DecodeFrame() == 1) {
  }
  c.output_bytes64 = engine.m_outputBytes64;
  c.output_bytes = engine.m_outputBytes;
  c.error = engine.m_lastErrorText;
  qelpsnd_set_diagnostics(nullptr, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
  return c;
}

constexpr uint64_t kFrames = 63 * 6144;

TEST(Rf64, PastTheLimitTheFileBecomesRf64AndReadersTakeItsWholeLength) {
  const std::string out = qelp_test::scratch_dir() + "/long.wav";
  const uint64_t hole = k4GiB - 100000;  // the limit falls in the 17th frame
  const Converted c = convert(out, hole);
  ASSERT_EQ(c.started, 1) << c.error;
  EXPECT_TRUE(c.rf64_room);
  EXPECT_STREQ(c.error.c_str(), "");
  EXPECT_EQ(c.output_bytes64, hole + kFrames);
  EXPECT_EQ(c.output_bytes, UINT32_MAX);
  const std::vector<uint8_t> h = head_of(out, 82);
  ASSERT_EQ(h.size(), 82u);
  // RF64 0xFFFFFFFF WAVE | ds64 28: RIFF size, data size, sample frames, table 0 | fmt | data 0xFFFFFFFF
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RF64");
  EXPECT_EQ(le32(h.data() + 4), UINT32_MAX);
  EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 16), "ds64");
  EXPECT_EQ(le32(h.data() + 16), 28u);
  EXPECT_EQ(le64(h.data() + 20), 82 - 8 + hole + kFrames);
  EXPECT_EQ(le64(h.data() + 28), hole + kFrames);
  EXPECT_EQ(le64(h.data() + 36), (hole + kFrames) / 4);
  EXPECT_EQ(le32(h.data() + 44), 0u);
  EXPECT_EQ(std::string(h.begin() + 48, h.begin() + 52), "fmt ");
  EXPECT_EQ(std::string(h.begin() + 74, h.begin() + 78), "data");
  EXPECT_EQ(le32(h.data() + 78), UINT32_MAX);
  EXPECT_EQ(std::filesystem::file_size(out), 82 + hole + kFrames);
  struct stat st {};
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, uint64_t{64} << 20) << "the hole is sparse";

  // The independent readers: the data's length at 192000 bytes a second.
  const double seconds = static_cast<double>(hole + kFrames) / 192000.0;
  const std::string probed = command_output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + out + "'");
  ASSERT_FALSE(probed.empty());
  EXPECT_NEAR(std::atof(probed.c_str()), seconds, 0.01);
  std::filesystem::remove(out);
}

// Room was kept (the data could have reached the limit) but was not needed: a RIFF file whose JUNK
// chunk readers pass over.
TEST(Rf64, KeptRoomThatWasNotNeededIsAJunkChunk) {
  const std::string out = qelp_test::scratch_dir() + "/near.wav";
  const uint64_t hole = k4GiB - (20u << 20);
  const Converted c = convert(out, hole);
  ASSERT_EQ(c.started, 1) << c.error;
  EXPECT_TRUE(c.rf64_room);
  const std::vector<uint8_t> h = head_of(out, 82);
  ASSERT_EQ(h.size(), 82u);
  EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
  EXPECT_EQ(le32(h.data() + 4), 82 - 8 + hole + kFrames);
  EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 16), "JUNK");
  EXPECT_EQ(le32(h.data() + 78), hole + kFrames);
  const std::string probed = command_output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + out + "'");
  EXPECT_NEAR(std::atof(probed.c_str()), static_cast<double>(hole + kFrames) / 192000.0, 0.01);
  std::filesystem::remove(out);
}

// An input that cannot reach the limit gets the plain 46-byte header, as always.
TEST(Rf64, AnOrdinaryFileIsPlainRiffAsBefore) {
  const std::string out = qelp_test::scratch_dir() + "/short.wav";
  const Converted c = convert(out, 0);
  ASSERT_EQ(c.started, 1) << c.error;
  EXPECT_FALSE(c.rf64_room);
  const qelp_test::WaveFile w = qelp_test::read_wave(out);
  ASSERT_TRUE(w.ok) << w.error;
  EXPECT_EQ(w.data_offset, 46u);
  EXPECT_EQ(w.riff_size, 38u + kFrames);
  EXPECT_EQ(w.data_size, kFrames);
  EXPECT_EQ(c.output_bytes64, kFrames);
  EXPECT_EQ(c.output_bytes, kFrames);
}

// qelp normalize reads an RF64 file's sizes from ds64 and rewrites its samples in place.
TEST(Rf64, NormalizeReadsAndRewritesRf64) {
  const std::string path = qelp_test::scratch_dir() + "/small_rf64.wav";
  const uint32_t frames = 48000;
  std::vector<uint8_t> f(82 + frames * 4, 0);
  std::memcpy(&f[0], "RF64", 4);
  put32(&f[4], UINT32_MAX);
  std::memcpy(&f[8], "WAVE", 4);
  std::memcpy(&f[12], "ds64", 4);
  put32(&f[16], 28);
  put64(&f[20], f.size() - 8);
  put64(&f[28], frames * 4);
  put64(&f[36], frames);
  std::memcpy(&f[48], "fmt ", 4);
  put32(&f[52], 18);
  put16(&f[56], 1);
  put16(&f[58], 2);
  put32(&f[60], 48000);
  put32(&f[64], 192000);
  put16(&f[68], 4);
  put16(&f[70], 16);
  put16(&f[72], 0);
  std::memcpy(&f[74], "data", 4);
  put32(&f[78], UINT32_MAX);
  for (uint32_t i = 0; i < frames * 2; ++i) {
    const int16_t s = static_cast<int16_t>(1000 * std::sin(i * 0.01));
    put16(&f[82 + 2 * i], static_cast<uint16_t>(s));
  }
  qelp_test::write_bytes(path, f);
  const std::string qelp = qelp_test::binary_path("bin/qelp");
  ASSERT_EQ(std::system(("'" + qelp + "' normalize -q -a 6 '" + path + "'").c_str()), 0);
  const std::vector<uint8_t> g = qelp_test::read_bytes(path);
  ASSERT_EQ(g.size(), f.size());
  EXPECT_TRUE(std::equal(f.begin(), f.begin() + 82, g.begin())) << "the header stays";
  const double gain = std::pow(10.0, 6 / 20.0);
  for (uint32_t i = 0; i < frames * 2; i += 997) {
    const double before = static_cast<int16_t>(le16(&f[82 + 2 * i]));
    const double after = static_cast<int16_t>(le16(&g[82 + 2 * i]));
    EXPECT_NEAR(after, before * gain, 1.5) << i;
  }
}

}  // namespace
