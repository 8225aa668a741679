// The rule that tells the stream's frames from false sync words and counts the bytes passed over,
// by positions alone (frame_sequence.h).
#include "frame_sequence.h"

#include <gtest/gtest.h>

namespace {

using ac3::frame_kind;
using Step = qelp::FrameSequence::Step;

bool delivers(const Step& s, bool held, bool self) { return s.held_frame == held && s.this_frame == self; }

TEST(FrameSequence, CleanFramesAreDeliveredAndNothingIsSkipped) {
  qelp::FrameSequence seq;
  for (uint64_t at = 0; at < 768 * 10; at += 768)
    EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, at, at + 768), false, true));
  EXPECT_FALSE(seq.finish(7680));
  EXPECT_EQ(seq.bytes_skipped, 0u);
  EXPECT_EQ(seq.bytes_after_last, 0u);
}

TEST(FrameSequence, AFalseHeaderIsPassedOverWhenARealFrameLiesInsideItsClaim) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  // Five junk bytes at 768 claim 2560 bytes; the real frame follows them.
  EXPECT_TRUE(delivers(seq.found(frame_kind::crc_failed, 768, 768 + 2560), false, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 773, 773 + 768), false, true));
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 773 + 768, 773 + 1536), false, true));
  EXPECT_FALSE(seq.finish(773 + 1536));
  EXPECT_EQ(seq.bytes_skipped, 5u);
  EXPECT_EQ(seq.bytes_after_last, 0u);
}

TEST(FrameSequence, ADamagedFrameIsDeliveredSilentWhenTheNextStartsWhereItClaimedToEnd) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  EXPECT_TRUE(delivers(seq.found(frame_kind::crc_failed, 768, 1536), false, false));
  // False sync words inside its body, failing too, are passed over with it.
  EXPECT_TRUE(delivers(seq.found(frame_kind::crc_failed, 900, 2000), false, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::bad_header, 1000, 1006), false, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 1536, 2304), true, true));
  EXPECT_FALSE(seq.finish(2304));
  EXPECT_EQ(seq.bytes_skipped, 0u);
}

TEST(FrameSequence, TwoDamagedFramesInARowAreBothDelivered) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  EXPECT_TRUE(delivers(seq.found(frame_kind::crc_failed, 768, 1536), false, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::crc_failed, 1536, 2304), true, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 2304, 3072), true, true));
  EXPECT_EQ(seq.bytes_skipped, 0u);
}

TEST(FrameSequence, AFewBytesInsertedBehindADamagedFrameKeepItsPlace) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  seq.found(frame_kind::crc_failed, 768, 1536);
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 1536 + 35, 1536 + 35 + 768), true, true));
  EXPECT_EQ(seq.bytes_skipped, 35u);
  seq.found(frame_kind::crc_failed, 2339, 3107);
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 3107 + qelp::kInsertedBytesMax + 1, 4000), false, true));
}

TEST(FrameSequence, AFailedFrameFollowedByJunkCountsAsSkippedBytes) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  seq.found(frame_kind::crc_failed, 768, 1536);
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 1700, 2468), false, true));
  EXPECT_EQ(seq.bytes_skipped, 1700u - 768u);
}

TEST(FrameSequence, AtTheEndAFrameCutOffIsDeliveredAndJunkIsNot) {
  {
    qelp::FrameSequence seq;
    seq.found(frame_kind::decoded, 0, 768);
    seq.found(frame_kind::crc_failed, 768, 1536);
    EXPECT_TRUE(seq.finish(1000));  // the input ends inside the frame
    EXPECT_EQ(seq.bytes_skipped, 0u);
  }
  {
    qelp::FrameSequence seq;
    seq.found(frame_kind::decoded, 0, 768);
    seq.found(frame_kind::crc_failed, 768, 1536);
    EXPECT_TRUE(seq.finish(1536));  // a damaged last frame, ending with the input
  }
  {
    qelp::FrameSequence seq;
    seq.found(frame_kind::decoded, 0, 768);
    seq.found(frame_kind::crc_failed, 800, 900);  // a false header in trailing junk
    EXPECT_FALSE(seq.finish(2000));
    EXPECT_EQ(seq.bytes_skipped, 2000u - 768u);
    EXPECT_EQ(seq.bytes_after_last, 2000u - 768u);
  }
}

TEST(FrameSequence, Eac3FramesAreCountedNotDeliveredAndNotSkipped) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 0, 768);
  EXPECT_TRUE(delivers(seq.found(frame_kind::eac3, 768, 1280), false, false));
  EXPECT_TRUE(delivers(seq.found(frame_kind::decoded, 1280, 2048), false, true));
  EXPECT_EQ(seq.eac3_frames, 1u);
  EXPECT_EQ(seq.bytes_skipped, 0u);
}

TEST(FrameSequence, ResetStartsAfresh) {
  qelp::FrameSequence seq;
  seq.found(frame_kind::decoded, 100, 868);
  seq.found(frame_kind::crc_failed, 868, 1636);
  seq.reset();
  EXPECT_EQ(seq.bytes_skipped, 0u);
  EXPECT_FALSE(seq.finish(0));
  EXPECT_EQ(seq.bytes_skipped, 0u);
}

}  // namespace
