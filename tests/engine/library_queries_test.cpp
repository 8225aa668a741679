// The library's questions a host asks before it writes: does a file hold AC-3 audio (so that it is
// never written over), and which version is this.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "qelpsnd.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::write_bytes;

void silence(int, const char*, void*) {}

TEST(HoldsAc3, AnswersForEveryKindOfPath) {
  const std::string dir = qelp_test::scratch_dir();
  EXPECT_EQ(qelpsnd_holds_ac3(data_path("stereo_48k_192.ac3").c_str()), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(data_path("damaged_junk_start.ac3").c_str()), 1);
  // The name does not count, the content does.
  write_bytes(dir + "/disguised.wav", read_bytes(data_path("mono_48k_32.ac3")));
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/disguised.wav").c_str()), 1);
  write_bytes(dir + "/empty.ac3", {});
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/empty.ac3").c_str()), 0);
  std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E'};
  wave.resize(4000, 0x11);
  write_bytes(dir + "/real.wav", wave);
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/real.wav").c_str()), 0);
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/missing.ac3").c_str()), 0);
  EXPECT_EQ(qelpsnd_holds_ac3(dir.c_str()), 0);
  EXPECT_EQ(qelpsnd_holds_ac3("-"), 0);
  EXPECT_EQ(qelpsnd_holds_ac3(nullptr), 0);
  // A FIFO is not opened (that would wait for a writer).
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/fifo").c_str()), 0);
  // Frames only after the first MiB do not count, as they would not for an input.
  std::vector<uint8_t> late((1u << 20) + 4096, 0x00);
  const std::vector<uint8_t> stream = read_bytes(data_path("stereo_48k_192.ac3"));
  late.insert(late.end(), stream.begin(), stream.end());
  write_bytes(dir + "/late.ac3", late);
  EXPECT_EQ(qelpsnd_holds_ac3((dir + "/late.ac3").c_str()), 0);
}

// The question has a decoder of its own, so a running conversion neither keeps it from an answer
// nor is disturbed by it.
TEST(HoldsAc3, AnswersWhileAConversionRuns) {
  qelpsnd_set_diagnostics(silence, nullptr);
  qelpsnd_set_overwrite(1);
  const std::string dir = qelp_test::scratch_dir();
  CQelpsnd engine;
  std::string in = data_path("stereo_48k_192.ac3");
  std::string out = dir + "/busy.wav";
  engine.SetInFile(in.data());
  engine.SetOutFile(out.data());
  ASSERT_EQ(engine.InitEncoder(), 1);
  ASSERT_EQ(engine.DecodeFrame(), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(in.c_str()), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(out.c_str()), 0) << "the WAVE file being written";
  int frames = 1;
  while (engine.DecodeFrame() == 1) ++frames;
  EXPECT_EQ(frames, 63) << "the conversion is unharmed by the question";
  EXPECT_EQ(qelpsnd_holds_ac3(in.c_str()), 1);
  qelpsnd_set_diagnostics(nullptr, nullptr);
}

// What the start-up check found is kept by the engine that ran it, whatever others do meanwhile.
TEST(ConversionStream, BelongsToTheEngineThatOpenedTheConversion) {
  qelpsnd_set_diagnostics(silence, nullptr);
  qelpsnd_set_overwrite(1);
  const std::string dir = qelp_test::scratch_dir();
  QelpsndStreamInfo info{};
  info.sampling_rate = 1;
  EXPECT_EQ(qelpsnd_conversion_stream(nullptr, &info), 0);
  EXPECT_EQ(info.sampling_rate, 0u);
  CQelpsnd stereo;
  CQelpsnd surround;
  EXPECT_EQ(qelpsnd_conversion_stream(&stereo, &info), 0) << "no conversion opened yet";
  EXPECT_EQ(qelpsnd_conversion_stream(&stereo, nullptr), 0);

  std::string in = data_path("stereo_44k_192.ac3"), out = dir + "/stereo.wav";
  stereo.SetInFile(in.data());
  stereo.SetOutFile(out.data());
  ASSERT_EQ(stereo.InitEncoder(), 1);
  std::string in5 = data_path("3f2r_lfe_48k_448.ac3"), out5 = dir + "/surround.wav";
  surround.SetInFile(in5.data());
  surround.SetOutFile(out5.data());
  ASSERT_EQ(surround.InitEncoder(), 1);

  ASSERT_EQ(qelpsnd_conversion_stream(&stereo, &info), 1);
  EXPECT_STREQ(info.layout, "2/0");
  EXPECT_EQ(info.sampling_rate, 44100u);
  EXPECT_EQ(info.bit_rate, 192u);
  ASSERT_EQ(qelpsnd_conversion_stream(&surround, &info), 1);
  EXPECT_STREQ(info.layout, "3/2");
  EXPECT_EQ(info.lfeon, 1);
  EXPECT_EQ(info.sampling_rate, 48000u);
  stereo.Terminate();
  surround.Terminate();

  // A failed start leaves the last successful one's description.
  std::string missing = dir + "/missing.ac3";
  stereo.SetInFile(missing.data());
  EXPECT_EQ(stereo.InitEncoder(), 0);
  ASSERT_EQ(qelpsnd_conversion_stream(&stereo, &info), 1);
  EXPECT_STREQ(info.layout, "2/0");
  qelpsnd_set_diagnostics(nullptr, nullptr);
}

TEST(LibraryVersion, IsMajorMinorPatch) {
  const std::string version = qelpsnd_version();
  int dots = 0;
  for (char c : version) {
    if (c == '.') {
      ++dots;
    } else {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << version;
    }
  }
  EXPECT_EQ(dots, 2) << version;
}

}  // namespace
