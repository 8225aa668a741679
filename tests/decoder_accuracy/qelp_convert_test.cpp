// The road end to end: `qelp convert` (normal and --surround) writes a 16-bit stereo WAVE file
// whose samples are exactly the decoder's output that the accuracy tests judge against FFmpeg,
// from the stream's first frame to its last.
#include <gtest/gtest.h>

#include <cstdlib>

#include "compare.h"
#include "support/stream_decoding.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace accuracy {
namespace {

int run_qelp(const std::string& args) {
  const std::string command = qelp_test::binary_path("bin/qelp") + " " + args + " >/dev/null 2>&1 </dev/null";
  return std::system(command.c_str());
}

TEST(QelpConvert, WritesTheDecodersOutputInBothFoldDowns) {
  const std::string dir = qelp_test::scratch_dir();
  for (const char* fixture :
       {"3f2r_lfe_48k_448.ac3", "2f1r_48k_256.ac3", "mono_48k_96.ac3", "stereo_44k_192.ac3"}) {
    const std::string in = qelp_test::data_path(fixture);
    const std::vector<uint8_t> stream = read_file(in);
    for (const bool surround : {false, true}) {
      SCOPED_TRACE(std::string(fixture) + (surround ? " --surround" : " normal"));
      const std::string out = dir + "/" + fixture + (surround ? ".surround.wav" : ".wav");
      ASSERT_EQ(0,
                run_qelp(std::string("convert -q -y ") + (surround ? "--surround " : "") + in + " " + out));
      const qelp_test::WaveFile wav = qelp_test::read_wave(out);
      ASSERT_TRUE(wav.ok) << wav.error;
      EXPECT_EQ(2, wav.channels);
      EXPECT_EQ(16, wav.bits_per_sample);
      EXPECT_EQ(std::string(fixture).find("44k") != std::string::npos ? 44100u : 48000u, wav.sample_rate);

      const our_output ours = decode_stream(stream, surround);
      EXPECT_EQ(ours.frames * kFrameSamples, wav.data.size() / 4) << "frames in the file";
      EXPECT_TRUE(wav.samples16() == ours.pcm) << "the file's samples differ from the decoder's";
    }
  }
}

}  // namespace
}  // namespace accuracy
