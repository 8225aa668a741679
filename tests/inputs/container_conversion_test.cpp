// Every container and the IEC 61937 WAVE file convert to exactly the bytes of the raw stream they
// carry: the demuxer or the unwrapper hands our decoder the same AC-3 stream, with no frame lost or
// damaged, and progress counts the file's own bytes up to its size.
#include <gtest/gtest.h>

#include <filesystem>

#include "input_support.h"
#include "support/paths.h"

namespace inputs_test {
namespace {

void expect_same_as_raw(const std::string& in, const Conversion& raw, int track = 0) {
  SCOPED_TRACE(in);
  const Conversion c = convert(in, track);
  ASSERT_EQ(c.started, 1) << c.error;
  EXPECT_EQ(c.frames_muted, 0u);
  EXPECT_EQ(c.bytes_skipped, 0u);
  EXPECT_TRUE(c.wave == raw.wave) << "output differs from the raw stream's (" << c.wave.size() << " against "
                                  << raw.wave.size() << " bytes)";
  EXPECT_TRUE(c.position_monotonic);
  EXPECT_EQ(c.final_position, c.input_size);
  EXPECT_EQ(c.input_size, std::filesystem::file_size(in));
}

TEST(ContainerConversion, EachContainerGivesTheRawStreamsBytes) {
  const Conversion raw = convert(qelp_test::data_path("stereo_48k_192.ac3"));
  ASSERT_EQ(raw.started, 1) << raw.error;
  ASSERT_EQ(raw.wave.size(), 46u + 63 * 6144u);  // header and 63 frames
  for (const char* name : {"stereo.mkv", "stereo.mp4", "stereo.mov", "stereo.vob", "stereo.mpg", "stereo.ts",
                           "stereo.m2ts", "stereo.avi"}) {
    expect_same_as_raw(container(name), raw);
  }
}

TEST(ContainerConversion, TheDemoInADvdProgramStream) {
  const Conversion raw = convert(qelp_test::source_path("samples/demo.ac3"));
  ASSERT_EQ(raw.started, 1) << raw.error;
  expect_same_as_raw(container("demo.vob"), raw);
}

TEST(ContainerConversion, AudioBehindAVideoTrackAndInIec61937Bursts) {
  const Conversion raw = convert(qelp_test::data_path("3f2r_lfe_48k_448.ac3"));
  ASSERT_EQ(raw.started, 1) << raw.error;
  expect_same_as_raw(container("video_51.mkv"), raw);
  expect_same_as_raw(container("spdif_51.wav"), raw);
}

// What a file is, is told by its content: a raw stream named .mkv or .wav is raw, a Matroska file
// named .ac3 is demuxed.
TEST(ContainerConversion, ContentNotTheNameDecides) {
  const std::string dir = qelp_test::scratch_dir() + "-names";
  std::filesystem::create_directories(dir);
  const Conversion raw = convert(qelp_test::data_path("stereo_48k_192.ac3"));
  ASSERT_EQ(raw.started, 1) << raw.error;
  for (const char* name : {"raw.mkv", "raw.wav", "raw.ts"}) {
    std::filesystem::copy_file(qelp_test::data_path("stereo_48k_192.ac3"), dir + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
    expect_same_as_raw(dir + "/" + name, raw);
  }
  std::filesystem::copy_file(container("stereo.mkv"), dir + "/matroska.ac3",
                             std::filesystem::copy_options::overwrite_existing);
  expect_same_as_raw(dir + "/matroska.ac3", raw);
}

TEST(ContainerConversion, TheSameInputTwiceGivesTheSameBytes) {
  const Conversion a = convert(container("stereo.ts"));
  const Conversion b = convert(container("stereo.ts"));
  ASSERT_EQ(a.started, 1) << a.error;
  EXPECT_TRUE(a.wave == b.wave);
}

}  // namespace
}  // namespace inputs_test
