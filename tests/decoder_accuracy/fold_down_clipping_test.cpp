// The engine's count of samples the fold-down clipped, against FFmpeg's decoder as an independent
// reference: a loud 5.1 stream (full-scale square waves, whose decoded overshoot and whose sum in
// the fold-down pass full scale) is made dither-free, converted by the engine, and the count
// compared with the samples of the reference, folded by our matrix, that lie beyond full scale.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "compare.h"
#include "ffmpeg_reference.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "support/stream_decoding.h"

namespace accuracy {
namespace {

void silence(int, const char*, void*) {}

size_t beyond_full_scale(const std::vector<double>& side) {
  size_t n = 0;
  for (double v : side) n += std::fabs(v * 32767.0) >= 32768.0 ? 1 : 0;
  return n;
}

uint64_t engine_count(const std::string& in, const std::string& out, bool surround) {
  CQelpsnd engine;
  std::string i = in, o = out;
  engine.SetInFile(i.data());
  engine.SetOutFile(o.data());
  engine.SetSurround(surround ? 1 : 0);
  if (engine.InitEncoder() != 1) return UINT64_MAX;
  while (engine.DecodeFrame() == 1) {
  }
  return engine.m_lastError == QELP_OK ? engine.m_samplesClipped : UINT64_MAX;
}

TEST(FoldDownClipping, TheEngineCountsWhatTheReferenceShowsBeyondFullScale) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string loud = dir + "/loud.ac3";
  const std::string make = "ffmpeg -nostdin -v error -y -f lavfi -i "
                           "\"aevalsrc=exprs=sgn(sin(2*PI*220*t))|sgn(sin(2*PI*220*t))|sgn(sin(2*PI*220*t))|"
                           "0.5*sin(2*PI*50*t)|sgn(sin(2*PI*220*t))|0.9*sgn(sin(2*PI*330*t)):s=48000:d=1:c=5.1\""
                           " -c:a ac3 -b:a 448k " + loud;
  ASSERT_EQ(std::system(make.c_str()), 0) << "ffmpeg makes the loud stream";
  const dither_free_stream clean = clear_dither(read_file(loud));
  ASSERT_EQ(clean.error, "");
  const std::string path = dir + "/loud_clean.ac3";
  ASSERT_TRUE(write_file(path, clean.bytes));

  const reference_output ref = decode_with_ffmpeg(path, dir);
  ASSERT_EQ(ref.error, "");
  const our_output parsed = decode_stream(clean.bytes, false);
  qelpsnd_set_diagnostics(silence, nullptr);
  qelpsnd_set_overwrite(1);
  for (const bool surround : {false, true}) {
    SCOPED_TRACE(surround ? "surround-compatible" : "normal");
    const folded f = fold_reference(ref, parsed.acmod, parsed.cmixlev, parsed.surmixlev, surround);
    ASSERT_EQ(f.error, "");
    const size_t expected = beyond_full_scale(f.left) + beyond_full_scale(f.right);
    const uint64_t counted = engine_count(path, dir + "/loud.wav", surround);
    ASSERT_NE(counted, UINT64_MAX);
    EXPECT_GT(expected, 100u) << "the stream should overload the fold-down";
    // Samples within a hair of the threshold may fall either way between two float decoders.
    EXPECT_NEAR(static_cast<double>(counted), static_cast<double>(expected), 2.0 + expected * 0.002);
  }

  // The bundled sample stays within full scale.
  EXPECT_EQ(engine_count(qelp_test::source_path("samples/demo.ac3"), dir + "/demo.wav", false), 0u);
  qelpsnd_set_diagnostics(nullptr, nullptr);
}

}  // namespace
}  // namespace accuracy
