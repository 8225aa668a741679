// The production decoder still mutes every frame that fails its CRC check (the fuzzing build's open
// gate is for fuzzing only), and the harness's CRC rewriting gives frames the production decoder
// parses.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ac3/crc16.h"
#include "ac3/decoder.h"
#include "ac3/decoder_state.h"
#include "harness/frame_crcs.h"
#include "qelpsnd.h"
#include "support/ac3_frame_kinds.h"
#include "support/decoder_feed.h"

namespace {

using Bytes = std::vector<uint8_t>;

void silence(int, const char*, void*) {}

struct frame_result {
  bool muted;
  bool crc_failed;
  bool silent;
};

// Decodes count frames of bytes with a new decoder.
std::vector<frame_result> decode(const Bytes& bytes, int count) {
  qelpsnd_set_diagnostics(silence, nullptr);
  decoder_test::test_decoder d;
  decoder_test::feed_bytes(d, bytes);
  std::vector<frame_result> out;
  for (int i = 0; i < count; ++i) {
    const ac3::decoded_frame* f = ac3::decode_one_frame(d);
    bool silent = true;
    for (int k = 0; k < ac3::kPcmFrameBytes; ++k) silent = silent && f->pcm[k] == 0;
    out.push_back({f->muted != 0, d->crc_failed != 0, silent});
  }
  qelpsnd_set_diagnostics(nullptr, nullptr);
  return out;
}

Bytes concat(const std::vector<ac3test::written_frame>& frames) {
  Bytes all;
  for (const auto& f : frames) all.insert(all.end(), f.bytes.begin(), f.bytes.end());
  return all;
}

TEST(CrcGate, TheProductionBuildHasItClosed) { EXPECT_TRUE(ac3::kCrcFailureMutes); }

// Frame 1 of three damaged at its first body byte, in the middle (the mantissas) and in crc2: only
// it is muted, and silent, whatever kind of frame it is.
TEST(CrcGate, EveryFrameThatFailsItsCrcIsMutedAndSilent) {
  for (const frame_kinds::kind& k : frame_kinds::all_kinds()) {
    SCOPED_TRACE(k.name);
    const auto frames = frame_kinds::write_kind(k, 3);
    const size_t start = frames[0].bytes.size(), size = frames[1].bytes.size();
    for (const size_t at : {start + 5, start + size / 2, start + size - 1}) {
      Bytes damaged = concat(frames);
      damaged[at] ^= 0x10;
      const auto r = decode(damaged, 3);
      EXPECT_FALSE(r[0].muted);
      EXPECT_FALSE(r[0].crc_failed);
      EXPECT_TRUE(r[1].muted) << "byte " << at - start << " of " << size;
      EXPECT_TRUE(r[1].crc_failed);
      EXPECT_TRUE(r[1].silent);
      EXPECT_FALSE(r[2].muted);
    }
  }
}

// Both CRCs cleared, then rewritten: the frames come back byte for byte as the frame writer made
// them (crc1 over the first 5/8, crc2 over the rest), whatever the size and rate.
TEST(FrameCrcs, RewritingRestoresBothCrcsOfEveryWrittenFrame) {
  for (const frame_kinds::kind& k : frame_kinds::all_kinds()) {
    SCOPED_TRACE(k.name);
    const auto frames = frame_kinds::write_kind(k, 2);
    const Bytes original = concat(frames);
    Bytes cleared = original;
    size_t at = 0;
    for (const auto& f : frames) {
      cleared[at + 2] = cleared[at + 3] = 0;
      cleared[at + f.bytes.size() - 2] = cleared[at + f.bytes.size() - 1] = 0;
      at += f.bytes.size();
    }
    EXPECT_EQ(fuzz_harness::rewrite_frame_crcs(cleared.data(), cleared.size()), 2);
    EXPECT_EQ(cleared, original);
  }
}

// A frame changed in its bit stream information, its CRCs rewritten: the production decoder
// accepts it. A frame cut short by the end is left alone, and junk between frames is skipped.
TEST(FrameCrcs, AChangedFrameWithRewrittenCrcsPassesTheCheck) {
  const auto frames = frame_kinds::write_kind(frame_kinds::all_kinds().front(), 2);
  Bytes bytes(3, 0x55);
  bytes.insert(bytes.end(), frames[0].bytes.begin(), frames[0].bytes.end());
  bytes[3 + 6] ^= 0x02;  // within bsi: bsmod, acmod or the mix levels
  const Bytes tail(frames[1].bytes.begin(), frames[1].bytes.end() - 10);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  const Bytes before = bytes;
  EXPECT_EQ(fuzz_harness::rewrite_frame_crcs(bytes.data(), bytes.size()), 1);
  EXPECT_TRUE(std::equal(bytes.begin() + 3 + static_cast<std::ptrdiff_t>(frames[0].bytes.size()), bytes.end(),
                         before.begin() + 3 + static_cast<std::ptrdiff_t>(frames[0].bytes.size())));
  EXPECT_TRUE(decode(before, 1)[0].crc_failed);
  EXPECT_FALSE(decode(bytes, 1)[0].crc_failed);
}

}  // namespace
