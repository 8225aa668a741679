// The decoder's state is its own struct: two decoders side by side do not touch each other, and a
// reset decoder decodes a stream exactly as a new one does, whatever it decoded before.
#include "ac3/decoder_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "support/decoder_feed.h"
#include "support/paths.h"
#include "support/stream_decoding.h"

namespace {

using decoder_test::test_decoder;
using Pcm = std::vector<uint8_t>;

std::vector<uint8_t> fixture(const char* name) { return decoder_test::read_file(qelp_test::data_path(name)); }

size_t frames_in(const std::vector<uint8_t>& stream) { return accuracy::split_frames(stream).frames.size(); }

// Starts decoding the stream on d, as the engine does after its reset: the decoder's own state
// (overlap, dither, allocation) is left as it is.
void start(test_decoder& d, const std::vector<uint8_t>& stream, int surround) {
  ac3::decoder_config config{};
  config.output_channels = 2;
  ac3::decoder_init(d, config);
  decoder_test::feed_bytes(d, stream);
  d->surround_mode = surround;
}

Pcm next_frame(test_decoder& d) {
  const ac3::decoded_frame* f = ac3::decode_one_frame(d);
  return Pcm(f->pcm, f->pcm + ac3::kPcmFrameBytes);
}

Pcm decode_all(test_decoder& d, const std::vector<uint8_t>& stream, int surround) {
  start(d, stream, surround);
  Pcm out;
  for (size_t n = frames_in(stream); n > 0; --n) {
    const Pcm frame = next_frame(d);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  return out;
}

Pcm decode_fresh(const std::vector<uint8_t>& stream, int surround) {
  test_decoder d;
  return decode_all(d, stream, surround);
}

TEST(DecoderState, TheFixturesUsedHereCarryDither) {
  // Without dither a repeated decode could match by luck of the overlap alone.
  for (const char* name : {"3f2r_lfe_48k_448.ac3", "stereo_cpl_48k_128.ac3"}) {
    const accuracy::dither_free_stream cleared = accuracy::clear_dither(fixture(name));
    ASSERT_EQ(cleared.error, "") << name;
    EXPECT_GT(cleared.dithflags_set, 0u) << name;
  }
}

TEST(DecoderState, TwoDecodersInterleavedFrameByFrameEachDecodeAsAlone) {
  const std::vector<uint8_t> a = fixture("3f2r_lfe_48k_448.ac3");
  const std::vector<uint8_t> b = fixture("stereo_cpl_48k_128.ac3");
  const Pcm alone_a = decode_fresh(a, 0);
  const Pcm alone_b = decode_fresh(b, 1);

  test_decoder da;
  test_decoder db;
  start(da, a, 0);
  start(db, b, 1);
  Pcm mixed_a;
  Pcm mixed_b;
  const size_t frames_a = frames_in(a);
  const size_t frames_b = frames_in(b);
  for (size_t n = 0; n < frames_a || n < frames_b; ++n) {
    if (n < frames_a) {
      const Pcm f = next_frame(da);
      mixed_a.insert(mixed_a.end(), f.begin(), f.end());
    }
    if (n < frames_b) {
      const Pcm f = next_frame(db);
      mixed_b.insert(mixed_b.end(), f.begin(), f.end());
    }
  }
  ASSERT_EQ(mixed_a.size(), frames_a * ac3::kPcmFrameBytes);
  EXPECT_TRUE(mixed_a == alone_a);
  EXPECT_TRUE(mixed_b == alone_b);
}

TEST(DecoderState, AResetDecoderDecodesTheSameStreamToTheSameBytes) {
  const std::vector<uint8_t> stream = fixture("3f2r_lfe_48k_448.ac3");
  test_decoder d;
  const Pcm first = decode_all(d, stream, 0);
  // Without the reset the overlap and the dither register run on from the first pass.
  const Pcm carried_on = decode_all(d, stream, 0);
  EXPECT_FALSE(carried_on == first);
  ac3::decoder_reset(d);
  const Pcm again = decode_all(d, stream, 0);
  EXPECT_TRUE(again == first);
}

TEST(DecoderState, NothingOfTheLastStreamReachesTheNextAfterAReset) {
  // Layouts, rates, coupling and delta bit allocation differ between the two, so every piece of
  // kept state (overlap per slot, exponents, baps and their cache, coupling, dither) is used.
  const char* before[] = {"3f2r_lfe_48k_448.ac3", "stereo_cpl_48k_128.ac3", "mono_lfe_48k_128.ac3",
                          "3f2r_lfe_44k_640.ac3"};
  const char* after[] = {"stereo_cpl_48k_128.ac3", "3f2r_lfe_cpl_48k_256.ac3", "3f_lfe_48k_320.ac3",
                         "3f2r_lfe_48k_448.ac3"};
  for (size_t i = 0; i < std::size(before); ++i) {
    SCOPED_TRACE(std::string(before[i]) + " then " + after[i]);
    const std::vector<uint8_t> next = fixture(after[i]);
    test_decoder d;
    decode_all(d, fixture(before[i]), 1);
    ac3::decoder_reset(d);
    EXPECT_TRUE(decode_all(d, next, 0) == decode_fresh(next, 0));
  }
}

}  // namespace
