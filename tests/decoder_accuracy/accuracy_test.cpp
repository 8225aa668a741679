// Our decoder against FFmpeg's as an independent reference, on every clean fixture, in normal and
// surround-compatible fold-down, with the build's transform and with the portable one. Streams
// rewritten without dither must match sample for sample within the 16-bit truncation; the original,
// dithered streams must agree in length and in level.
// A missing ffmpeg fails these tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "compare.h"
#include "ffmpeg_reference.h"
#include "support/stream_decoding.h"
#include "support/paths.h"

namespace accuracy {
namespace {

std::vector<std::string> clean_fixtures() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(QELP_TEST_DATA_DIR)) {
    const std::string name = entry.path().filename().string();
    // Left out: the damaged streams, and len_multiple_2047.ac3, which is mono_48k_32.ac3 followed by
    // zero padding; FFmpeg drops the last frame before such padding, which we keep.
    if (entry.path().extension() == ".ac3" && name.rfind("damaged_", 0) != 0 &&
        name != "len_multiple_2047.ac3")
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string case_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.size() - 4);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class DitherFree : public ::testing::TestWithParam<std::string> {};

TEST_P(DitherFree, MatchesReferenceWithinTruncation) {
  const std::string& fixture = GetParam();
  const std::string dir = qelp_test::scratch_dir();
  const std::vector<uint8_t> original = read_file(qelp_test::data_path(fixture));
  ASSERT_FALSE(original.empty()) << fixture;

  const dither_free_stream clean = clear_dither(original);
  ASSERT_EQ("", clean.error) << fixture;
  ASSERT_GT(clean.dithflags_set, 0u) << "the encoder's stream should carry dither to clear";
  const std::string path = dir + "/" + fixture;
  ASSERT_TRUE(write_file(path, clean.bytes));

  const reference_output ref = decode_with_ffmpeg(path, dir);
  ASSERT_EQ("", ref.error) << fixture;
  for (const vector_choice& transform : kVectorChoices) {
    SCOPED_TRACE(std::string(transform.name) + " transform");
    for (const bool surround : {false, true}) {
      SCOPED_TRACE(surround ? "surround-compatible fold-down" : "normal fold-down");
      const our_output ours = decode_stream(clean.bytes, surround, 0, transform.portable);
      EXPECT_EQ("", ours.diagnostics) << "the rewritten stream must decode without complaint";
      expect_matches_reference(ours, ref, surround);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DitherFree, ::testing::ValuesIn(clean_fixtures()), case_name);

// The original streams, dither and all: the noise in bins without mantissas differs between two
// correct decoders, so only the lengths and each frame's level are compared.
class Dithered : public ::testing::TestWithParam<std::string> {};

TEST_P(Dithered, LengthsAndFrameLevelsAgree) {
  const std::string& fixture = GetParam();
  const std::string dir = qelp_test::scratch_dir();
  const std::string path = qelp_test::data_path(fixture);
  const std::vector<uint8_t> original = read_file(path);
  ASSERT_FALSE(original.empty());

  const reference_output ref = decode_with_ffmpeg(path, dir);
  ASSERT_EQ("", ref.error) << fixture;
  for (const auto& [transform, surround] : {std::pair{kVectorChoices[0], false}, std::pair{kVectorChoices[0], true},
                                            std::pair{kVectorChoices[1], false}, std::pair{kVectorChoices[1], true}}) {
    SCOPED_TRACE(std::string(transform.name) + " transform, " +
                 (surround ? "surround-compatible fold-down" : "normal fold-down"));
    const our_output ours = decode_stream(original, surround, 0, transform.portable);
    EXPECT_EQ("", ours.diagnostics);
    ASSERT_EQ(ours.frames, ref.channels[0].size() / kFrameSamples);

    const folded f = fold_reference(ref, ours.acmod, ours.cmixlev, ours.surmixlev, surround);
    ASSERT_EQ("", f.error);
    size_t frames_compared = 0;
    for (size_t frame = 0; frame < ours.frames; ++frame) {
      for (int side = 0; side < 2; ++side) {
        const std::vector<double>& r = side == 0 ? f.left : f.right;
        double ref_energy = 0, our_energy = 0;
        for (size_t i = frame * kFrameSamples; i < (frame + 1) * kFrameSamples; ++i) {
          const double v = std::clamp(32767.0 * r[i + kReferenceOffset], -32767.0, 32767.0);
          ref_energy += v * v;
          const double o = ours.pcm[2 * i + static_cast<size_t>(side)];
          our_energy += o * o;
        }
        const double ref_db = 10.0 * std::log10(ref_energy / kFrameSamples / (32767.0 * 32767.0) + 1e-30);
        const double our_db = 10.0 * std::log10(our_energy / kFrameSamples / (32767.0 * 32767.0) + 1e-30);
        if (ref_db <= -60.0) continue;
        ++frames_compared;
        EXPECT_NEAR(ref_db, our_db, 1.0) << "frame " << frame << (side == 0 ? " left" : " right");
      }
    }
    EXPECT_GT(frames_compared, ours.frames);  // most frames of both sides carry signal
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Dithered, ::testing::ValuesIn(clean_fixtures()), case_name);

}  // namespace
}  // namespace accuracy
