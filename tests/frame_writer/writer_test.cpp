// The writer's own guarantees: bits in stream order, frame length and both CRCs for every size,
// and a refusal (not a silently broken frame) when a frame cannot be written as asked.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "support/ac3_frame_kinds.h"
#include "support/ac3_bit_writer.h"
#include "support/ac3_frame_writer.h"

namespace {

TEST(BitWriter, WritesMostSignificantBitFirstAcrossBytes) {
  ac3test::bit_writer bw;
  bw.put(0x5, 3);
  bw.put(0x1, 1);
  bw.put(0x3ff, 10);
  bw.put(0, 0);
  EXPECT_EQ(bw.position(), 14);
  ASSERT_EQ(bw.bytes().size(), 2u);
  EXPECT_EQ(bw.bytes()[0], 0xbf);  // 101 1 1111
  EXPECT_EQ(bw.bytes()[1], 0xfc);  // 11111 + two zero pad bits
  bw.put(0xdeadbeef, 32);
  bw.pad_to(48);
  EXPECT_EQ(bw.position(), 48);
  EXPECT_EQ(bw.bytes()[2], 0x7a);
}

TEST(BitWriter, RefusesValuesWiderThanTheirFieldAndPaddingBackwards) {
  ac3test::bit_writer bw;
  EXPECT_THROW(bw.put(8, 3), std::invalid_argument);
  EXPECT_THROW(bw.put(1, 33), std::invalid_argument);
  bw.put(1, 5);
  EXPECT_THROW(bw.pad_to(4), std::invalid_argument);
}

// crc1 zeroes the CRC over the first 5/8 of the frame after the sync word; crc2 the whole frame.
TEST(FrameWriter, EveryFrameSizeHasItsLengthAndBothCrcs) {
  for (int fscod = 0; fscod < 3; ++fscod) {
    for (int frmsizecod = 0; frmsizecod < 38; frmsizecod += 5) {
      SCOPED_TRACE("fscod " + std::to_string(fscod) + " frmsizecod " + std::to_string(frmsizecod));
      ac3test::frame_writer writer;
      ac3test::frame_plan f = ac3test::make_frame_plan(fscod, frmsizecod, 1, 0);
      frame_kinds::fill_signal(f, static_cast<unsigned>(frmsizecod));
      ac3test::fit_snr_offset(writer, f);
      const ac3test::written_frame w = writer.write(f);
      const int words = ac3test::frame_words(fscod, frmsizecod);
      ASSERT_EQ(w.bytes.size(), static_cast<size_t>(2 * words));
      EXPECT_EQ(w.bytes[0], 0x0b);
      EXPECT_EQ(w.bytes[1], 0x77);
      EXPECT_EQ(w.bytes[4], (fscod << 6) | frmsizecod);
      const size_t five_eighths = 2 * static_cast<size_t>((words >> 1) + (words >> 3));
      EXPECT_EQ(ac3test::crc16_of(w.bytes.data() + 2, five_eighths - 2), 0);
      EXPECT_EQ(ac3test::crc16_of(w.bytes.data() + 2, w.bytes.size() - 2), 0);
      EXPECT_LE(w.mantissas_end[5], w.body_bits - 18);
    }
  }
  // 44.1 kHz: the odd code of a rate is one word longer.
  EXPECT_EQ(ac3test::frame_words(1, 0), 69);
  EXPECT_EQ(ac3test::frame_words(1, 1), 70);
  EXPECT_EQ(ac3test::frame_words(1, 37), 1394);
  EXPECT_EQ(ac3test::frame_words(2, 37), 1920);
}

TEST(FrameWriter, FittedOffsetIsTheLargestThatFits) {
  ac3test::frame_writer writer;
  ac3test::frame_plan f = ac3test::make_frame_plan(0, 20, 7, 1);
  frame_kinds::fill_signal(f, 3);
  const int c = ac3test::fit_snr_offset(writer, f);
  ASSERT_GT(c, 1);
  ASSERT_LT(c, 63);
  EXPECT_NO_THROW(ac3test::frame_writer(writer).write(f));
  for (ac3::audblk& a : f.blocks) a.csnroffst = static_cast<uint16_t>(c + 1);
  EXPECT_THROW(ac3test::frame_writer(writer).write(f), std::runtime_error);
}

TEST(FrameWriter, RefusesFramesItCannotWriteAsAsked) {
  ac3test::frame_writer writer;
  {
    // Five channels of dense spectrum do not fit 32 kbit/s at a high offset.
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 0, 7, 1);
    frame_kinds::fill_signal(f, 1);
    for (ac3::audblk& a : f.blocks) a.csnroffst = 40;
    EXPECT_THROW(writer.write(f), std::runtime_error);
  }
  {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);
    frame_kinds::enable_coupling(f, 6, 2, 0x3, false);  // begins past its end + 2
    EXPECT_THROW(writer.write(f), std::runtime_error);
  }
  {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);
    f.blocks[0].deltbae[0] = 1;
    f.blocks[0].deltoffst[0][0] = 31;
    f.blocks[0].deltlen[0][0] = 15;
    f.blocks[0].deltnseg[0] = 1;
    f.blocks[0].deltoffst[0][1] = 31;
    f.blocks[0].deltlen[0][1] = 1;  // band 77: past the last band
    EXPECT_THROW(writer.write(f), std::invalid_argument);
  }
  {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);  // silence: every bap 0
    f.mantissa_overrides.push_back({0, 3, 7});
    EXPECT_THROW(writer.write(f), std::invalid_argument);
  }
  {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);
    f.exponent_overrides.push_back({1, 0, 0, 125});  // block 1 reuses its exponents
    EXPECT_THROW(writer.write(f), std::invalid_argument);
  }
  {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, 2, 0);
    f.blocks[0].chbwcod[0] = 64;  // wider than its 6 bits
    EXPECT_THROW(writer.write(f), std::invalid_argument);
  }
}

TEST(FrameWriter, CouplingCoordinatesReproduceTheirGain) {
  for (int mstrcplco = 0; mstrcplco < 4; ++mstrcplco) {
    for (double gain : {1.0, 0.7071, 0.5, 0.3, 0.05}) {
      const double g = gain * std::ldexp(1.0, -3 * mstrcplco);
      const ac3test::coupling_coordinate c = ac3test::coupling_coordinate_for(g, mstrcplco);
      const double back = (c.cplcomant + 16) / 32.0 * std::ldexp(1.0, -(c.cplcoexp + 3 * mstrcplco)) * 8.0;
      EXPECT_NEAR(back / g, 1.0, 1.0 / 32.0) << "gain " << gain << " mstrcplco " << mstrcplco;
    }
  }
  EXPECT_EQ(ac3test::coupling_coordinate_for(1.0, 0).cplcoexp, 2);
  EXPECT_EQ(ac3test::coupling_coordinate_for(1.0, 0).cplcomant, 0);
}

}  // namespace
