// Each way a frame can be bad inside: an invalid exponent group, an invalid mantissa code of each
// grouped and table quantizer, a CRC failure. The bad frame comes out as 6144 zero bytes with its
// message exactly once, between two good frames that decode without a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "ac3/stages.h"
#include "support/ac3_frame_kinds.h"
#include "support/decoder_feed.h"

namespace {

constexpr const char* kExponentMessage = "** Invalid exponent - skipping frame **\n";
constexpr const char* kMantissaMessage = "** Invalid mantissa - skipping frame **\n";
constexpr const char* kCrcMessage = "** CRC failed - skipping frame **\n";

// 3/2 with LFE and coupling in L and R, 192 kbit/s: every quantizer occurs in block 2.
ac3test::frame_plan base_frame(unsigned seed) {
  ac3test::frame_plan f = ac3test::make_frame_plan(0, 20, 7, 1);
  frame_kinds::fill_signal(f, seed);
  frame_kinds::enable_coupling(f, 3, 10, 0x5, false);
  f.blocks[2].chexpstr[1] = 1;  // new exponents in block 2 for the centre
  return f;
}

struct outcome {
  std::string err;
  bool silent = false;
  ac3test::written_frame middle;  // the frame that was spoilt
};

// Decodes good, bad, good; returns what the bad frame gave and the diagnostics of all three.
outcome decode_between_good_frames(const std::function<void(ac3test::frame_plan&)>& spoil,
                                   const std::function<void(std::vector<uint8_t>&)>& damage = nullptr) {
  ac3test::frame_writer writer;
  std::vector<uint8_t> bytes;
  outcome o;
  for (int n = 0; n < 3; ++n) {
    ac3test::frame_plan f = base_frame(static_cast<unsigned>(40 + n));
    if (n == 1) spoil(f);
    ac3test::fit_snr_offset(writer, f);
    ac3test::written_frame w = writer.write(f);
    if (n == 1 && damage) damage(w.bytes);
    bytes.insert(bytes.end(), w.bytes.begin(), w.bytes.end());
    if (n == 1) o.middle = w;
  }
  decoder_test::test_decoder dec;
  ac3::decoder_config config{};
  ac3::decoder_init(dec, config);
  decoder_test::feed_bytes(dec, bytes);
  decoder_test::diagnostics_capture capture;
  ac3::decoded_frame* d = ac3::decode_one_frame(dec);
  EXPECT_EQ(capture.err, "") << "first good frame";
  std::memset(d->pcm, 0x5a, ac3::kPcmFrameBytes);
  d = ac3::decode_one_frame(dec);
  o.silent = std::all_of(d->pcm, d->pcm + ac3::kPcmFrameBytes, [](uint8_t b) { return b == 0; });
  const std::string after_bad = capture.err;
  ac3::decode_one_frame(dec);
  EXPECT_EQ(capture.err, after_bad) << "the good frame after the bad one";
  EXPECT_EQ(dec->error_flag, 0);
  o.err = after_bad;
  return o;
}

// Reads a frame stage by stage: true when no stage flags it and its mantissas end where written.
bool parses_cleanly(const ac3test::written_frame& w) {
  decoder_test::test_decoder dec;
  ac3::decoder_config config{};
  ac3::decoder_init(dec, config);
  decoder_test::feed_bytes(dec, w.bytes);
  decoder_test::diagnostics_capture capture;
  ac3::read_syncinfo(dec);
  if (dec->error_flag) return false;
  ac3::read_bsi(dec);
  for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
    ac3::read_audblk(dec);
    ac3::expand_exponents(dec);
    ac3::allocate_bits(dec);
    ac3::unpack_coefficients(dec);
    if (dec->error_flag) {
      dec->error_flag = 0;
      return false;
    }
  }
  return ac3::bits_position(dec) == w.mantissas_end[ac3test::kBlocks - 1] && capture.err.empty();
}

struct mantissa_case {
  int bap;
  uint32_t code;
};

class InvalidMantissa : public testing::TestWithParam<mantissa_case> {};

TEST_P(InvalidMantissa, GivesASilentFrameWithTheMessageOnce) {
  const mantissa_case c = GetParam();
  const outcome o = decode_between_good_frames([c](ac3test::frame_plan& f) {
    f.mantissa_overrides.push_back({2, c.bap, c.code});
  });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kMantissaMessage);
}

INSTANTIATE_TEST_SUITE_P(EachQuantizer, InvalidMantissa,
                         testing::Values(mantissa_case{1, 27}, mantissa_case{1, 31}, mantissa_case{2, 125},
                                         mantissa_case{2, 127}, mantissa_case{4, 121}, mantissa_case{4, 127},
                                         mantissa_case{3, 7}, mantissa_case{5, 15}),
                         [](const testing::TestParamInfo<mantissa_case>& info) {
                           return "bap" + std::to_string(info.param.bap) + "_code" + std::to_string(info.param.code);
                         });

// The largest valid code of each quantizer is no error: the limits sit exactly at the invalid codes.
TEST(InvalidMantissa, LargestValidCodesDecodeWithoutMessage) {
  const outcome o = decode_between_good_frames([](ac3test::frame_plan& f) {
    f.mantissa_overrides.push_back({2, 1, 26});
    f.mantissa_overrides.push_back({2, 2, 124});
    f.mantissa_overrides.push_back({2, 3, 6});
    f.mantissa_overrides.push_back({2, 4, 120});
    f.mantissa_overrides.push_back({2, 5, 14});
  });
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(parses_cleanly(o.middle));
}

TEST(InvalidMantissa, SeveralInvalidCodesInOneBlockGiveOneMessage) {
  const outcome o = decode_between_good_frames([](ac3test::frame_plan& f) {
    f.mantissa_overrides.push_back({2, 3, 7});
    f.mantissa_overrides.push_back({2, 5, 15});
    f.mantissa_overrides.push_back({2, 1, 30});
  });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kMantissaMessage);
}

TEST(InvalidMantissa, InTheLastBlockStillSilencesTheWholeFrame) {
  const outcome o = decode_between_good_frames([](ac3test::frame_plan& f) {
    f.blocks[5].chexpstr[0] = 1;
    f.blocks[5].snroffste = 1;
    f.mantissa_overrides.push_back({5, 3, 7});
  });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kMantissaMessage);
}

struct exponent_case {
  const char* name;
  int channel;
  int group;
};

class InvalidExponentGroup : public testing::TestWithParam<exponent_case> {};

TEST_P(InvalidExponentGroup, GivesASilentFrameWithTheMessageOnce) {
  const exponent_case c = GetParam();
  const outcome o = decode_between_good_frames([c](ac3test::frame_plan& f) {
    f.blocks[2].lfeexpstr = 1;
    f.blocks[2].cplexpstr = 1;
    f.exponent_overrides.push_back({2, c.channel, c.group, 125});
  });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kExponentMessage);
}

INSTANTIATE_TEST_SUITE_P(EachExponentSet, InvalidExponentGroup,
                         testing::Values(exponent_case{"centre_first_group", 1, 0}, exponent_case{"centre_last_group", 1, 60},
                                         exponent_case{"coupling", ac3test::exponent_group_override::kCpl, 3},
                                         exponent_case{"lfe", ac3test::exponent_group_override::kLfe, 1}),
                         [](const testing::TestParamInfo<exponent_case>& info) { return info.param.name; });

TEST(InvalidExponentGroup, TwoBadGroupsInAFrameGiveOneMessage) {
  const outcome o = decode_between_good_frames([](ac3test::frame_plan& f) {
    f.exponent_overrides.push_back({0, 0, 2, 125});
    f.exponent_overrides.push_back({0, 1, 7, 127});
  });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kExponentMessage);
}

TEST(InvalidExponentGroup, LargestValidGroupIsNoError) {
  // Exponents 0, 2, 4, 6, ... in the first bins: the first group is +2 +2 +2, code 124.
  const outcome o = decode_between_good_frames([](ac3test::frame_plan& f) {
    for (int bin = 0; bin < 256; ++bin) f.fbw[0][4][bin] = bin < 12 ? std::ldexp(0.75f, -2 * bin) : 0.0f;
  });
  ASSERT_GE(o.middle.exponent_groups[0][4].size(), 2u);
  EXPECT_EQ(o.middle.exponent_groups[0][4][0], 0);
  EXPECT_EQ(o.middle.exponent_groups[0][4][1], 124);
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(parses_cleanly(o.middle));
}

TEST(CrcFailure, AFlippedBitGivesASilentFrameWithTheMessageOnce) {
  for (const size_t at : {size_t{6}, size_t{200}, size_t{700}}) {
    SCOPED_TRACE("byte " + std::to_string(at));
    const outcome o = decode_between_good_frames([](ac3test::frame_plan&) {},
                                                 [at](std::vector<uint8_t>& bytes) { bytes[at] ^= 0x04; });
    EXPECT_TRUE(o.silent);
    EXPECT_EQ(o.err, kCrcMessage);
  }
}

TEST(CrcFailure, AWrongFinalCrcAloneIsCaught) {
  const outcome o = decode_between_good_frames([](ac3test::frame_plan&) {},
                                               [](std::vector<uint8_t>& bytes) { bytes.back() ^= 0x01; });
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.err, kCrcMessage);
}

}  // namespace

namespace {

// A bandwidth code above 60 would put exponents past the last bin: the frame is given up, and the
// next one decodes. (Which message it prints belongs to the consistency checks.)
TEST(ChannelBandwidth, CodeAboveSixtyGivesASilentFrame) {
  for (const uint16_t code : {uint16_t{61}, uint16_t{63}}) {
    SCOPED_TRACE("chbwcod " + std::to_string(code));
    const outcome o = decode_between_good_frames([code](ac3test::frame_plan& f) { f.blocks[0].chbwcod[1] = code; });
    EXPECT_TRUE(o.silent);
    EXPECT_EQ(o.middle.after_block[0].endmant[1], 3 * code + 73);
  }
}

}  // namespace
