// Streams from the test frame writer, with syntax FFmpeg's encoder does not emit, all without
// dither so that two correct decoders agree: block switching, dual mono, coupling with phase
// flags, delta bit allocation, mix levels. Each is decoded by FFmpeg and by us and compared as the
// fixtures are. Also the end-to-end edge cases: LFE never reaches the output, and a block with a
// bandwidth code above 60 silences its frame with the checks' message.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "compare.h"
#include "ffmpeg_reference.h"
#include "support/ac3_frame_kinds.h"
#include "support/stream_decoding.h"
#include "support/ac3_frame_writer.h"
#include "support/paths.h"

namespace accuracy {
namespace {

using ac3test::frame_plan;

unsigned next_random(unsigned& s) {
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

// A few tones per channel that move from frame to frame, over a quiet floor spread across many
// levels so that most quantizers are used; loud enough to use the 16 bits, never near full scale.
void fill_music(frame_plan& f, int frame, unsigned seed) {
  unsigned s = seed * 2654435761u + static_cast<unsigned>(frame) * 97u + 1u;
  for (int blk = 0; blk < ac3test::kBlocks; ++blk) {
    for (int ch = 0; ch < 5; ++ch) {
      float* x = f.fbw[blk][ch];
      for (int bin = 0; bin < 256; ++bin) {
        const unsigned r = next_random(s);
        x[bin] = r % 3 == 0 ? 0.0f
                            : std::ldexp(0.5f + static_cast<float>(r % 1000) / 2000.0f,
                                         -7 - static_cast<int>((r >> 10) % 7));
        if ((r >> 20) & 1) x[bin] = -x[bin];
      }
      for (int tone = 0; tone < 3; ++tone) {
        const int bin = 4 + 13 * ch + 37 * tone + 2 * ((frame + tone) % 5);
        x[bin] = (tone % 2 ? -0.06f : 0.08f) * (1.0f + 0.1f * static_cast<float>(blk));
      }
    }
    for (int bin = 0; bin < 256; ++bin) {
      const unsigned r = next_random(s);
      f.cpl[blk][bin] = r % 2 ? 0.0f
                              : std::ldexp(0.5f + static_cast<float>(r % 1000) / 2000.0f,
                                           -5 - static_cast<int>((r >> 10) % 6));
    }
    for (int bin = 0; bin < 7; ++bin) f.lfe[blk][bin] = 0.05f * static_cast<float>(bin + 1);
  }
}

void no_dither(frame_plan& f) {
  for (ac3::audblk& a : f.blocks)
    for (auto& d : a.dithflag) d = 0;
}

using shaper = std::function<void(frame_plan&, int frame)>;

// Frames of one layout shaped per frame. With fit, csnroffst is the largest that fits; without, it
// stays as made, and the programme does not depend on lfeon.
std::vector<ac3test::written_frame> write_stream(int fscod, int frmsizecod, int acmod, int lfeon, int frames,
                                                 const shaper& shape, bool fit = true) {
  const unsigned seed = static_cast<unsigned>(acmod * 11 + (fit ? lfeon : 0));
  ac3test::frame_writer writer;
  std::vector<ac3test::written_frame> out;
  for (int n = 0; n < frames; ++n) {
    auto f = std::make_unique<frame_plan>(ac3test::make_frame_plan(fscod, frmsizecod, acmod, lfeon));
    fill_music(*f, n, seed);
    no_dither(*f);
    if (shape) shape(*f, n);
    if (fit) ac3test::fit_snr_offset(writer, *f);
    out.push_back(writer.write(*f));
  }
  return out;
}

std::vector<uint8_t> stream_bytes(const std::vector<ac3test::written_frame>& frames) {
  std::vector<uint8_t> bytes;
  for (const auto& w : frames) bytes.insert(bytes.end(), w.bytes.begin(), w.bytes.end());
  return bytes;
}

// Writes the stream, decodes it with FFmpeg and with us (both fold-downs), and compares.
void check_against_ffmpeg(const std::vector<ac3test::written_frame>& frames, int dual_mono_channel = 0) {
  const std::string dir = qelp_test::scratch_dir();
  const std::string path = dir + "/stream.ac3";
  const std::vector<uint8_t> bytes = stream_bytes(frames);
  ASSERT_TRUE(write_file(path, bytes));
  const reference_output ref = decode_with_ffmpeg(path, dir);
  ASSERT_EQ("", ref.error);
  for (const vector_choice& transform : kVectorChoices) {
    SCOPED_TRACE(std::string(transform.name) + " transform");
    for (const bool surround : {false, true}) {
      SCOPED_TRACE(surround ? "surround-compatible fold-down" : "normal fold-down");
      const our_output ours = decode_stream(bytes, surround, dual_mono_channel, transform.portable);
      EXPECT_EQ("", ours.diagnostics);
      EXPECT_EQ(frames.size(), ours.frames);
      expect_matches_reference(ours, ref, surround, dual_mono_channel);
    }
  }
}

TEST(WriterStreams, BlockSwitchingInEveryChannelAndPattern) {
  // 3/2 + LFE; each channel switches to short transforms in its own blocks, alone and in runs.
  const auto frames = write_stream(0, 30, 7, 1, 12, [](frame_plan& f, int frame) {
    for (int blk = 0; blk < 6; ++blk)
      for (int ch = 0; ch < 5; ++ch)
        f.blocks[blk].blksw[ch] = static_cast<uint16_t>((blk + ch + frame) % 3 == 0 || (ch == 4 && blk >= 3));
  });
  check_against_ffmpeg(frames);
}

TEST(WriterStreams, DualMonoEitherProgramme) {
  const auto frames = write_stream(0, 18, 0, 0, 10, [](frame_plan& f, int) {
    for (int blk = 0; blk < 6; ++blk)
      for (int bin = 0; bin < 256; ++bin) f.fbw[blk][1][bin] *= -0.5f;  // Ch2 differs from Ch1
  });
  {
    SCOPED_TRACE("Ch1");
    check_against_ffmpeg(frames, 0);
  }
  {
    SCOPED_TRACE("Ch2");
    check_against_ffmpeg(frames, 1);
  }
}

TEST(WriterStreams, StereoCouplingWithPhaseFlagsAndRematrixing) {
  const auto frames = write_stream(0, 20, 2, 0, 10, [](frame_plan& f, int frame) {
    frame_kinds::enable_coupling(f, 2, 12, 0x3, true);
    for (int bnd = 0; bnd < 18; ++bnd)
      f.blocks[0].phsflg[bnd] = static_cast<uint16_t>((bnd + frame) % 3 == 1);
    f.blocks[0].cplbndstrc[3] = 1;
    for (int r = 0; r < 4; ++r) f.blocks[0].rematflg[r] = static_cast<uint16_t>((r + frame) % 2);
    f.blocks[3].cplcoe[0] = 1;
    f.blocks[3].cplcoe[1] = 1;
    for (int bnd = 0; bnd < 18; ++bnd) f.blocks[3].phsflg[bnd] = static_cast<uint16_t>(bnd % 2);
  });
  check_against_ffmpeg(frames);
}

// Delta bit allocation in the coupling channel and every full-bandwidth channel of a coupled 2/2
// stream: new segments, kept segments (mode 0), none (mode 2), in several blocks.
TEST(WriterStreams, DeltaBitAllocation) {
  const auto frames = write_stream(0, 26, 6, 0, 10, [](frame_plan& f, int frame) {
    frame_kinds::enable_coupling(f, 3, 13, 0xf, false);
    ac3::audblk& a0 = f.blocks[0];
    a0.deltbaie = 1;
    a0.cpldeltbae = 1;  // its bands count from the coupling channel's first band
    a0.cpldeltnseg = 1;
    a0.cpldeltoffst[0] = static_cast<uint16_t>(1 + frame % 2);
    a0.cpldeltlen[0] = 3;
    a0.cpldeltba[0] = 6;
    a0.cpldeltoffst[1] = 2;
    a0.cpldeltlen[1] = 2;
    a0.cpldeltba[1] = 1;
    for (int ch = 0; ch < 4; ++ch) {
      a0.deltbae[ch] = 1;
      a0.deltnseg[ch] = 1;
      a0.deltoffst[ch][0] = static_cast<uint16_t>(3 + 2 * ch + frame % 3);
      a0.deltlen[ch][0] = 6;
      a0.deltba[ch][0] = static_cast<uint16_t>(ch % 2 ? 2 : 5);
      a0.deltoffst[ch][1] = 4;
      a0.deltlen[ch][1] = 4;
      a0.deltba[ch][1] = 7;
    }
    ac3::audblk& a3 = f.blocks[3];
    a3.deltbaie = 1;
    a3.cpldeltbae = frame % 2 ? 0 : 2;
    a3.deltbae[0] = 0;
    a3.deltbae[1] = 2;
    a3.deltbae[2] = 0;
    a3.deltbae[3] = 1;
    a3.deltnseg[3] = 0;
    a3.deltoffst[3][0] = 20;
    a3.deltlen[3][0] = 10;
    a3.deltba[3][0] = 0;
  });
  check_against_ffmpeg(frames);
}

TEST(WriterStreams, MixLevelsOfThreeTwo) {
  for (int level : {1, 2, 3}) {
    SCOPED_TRACE("cmixlev and surmixlev " + std::to_string(level));
    const auto frames = write_stream(0, 28, 7, 0, 6, [level](frame_plan& f, int) {
      f.bsi.cmixlev = static_cast<uint16_t>(level);
      f.bsi.surmixlev = static_cast<uint16_t>(level);
    });
    check_against_ffmpeg(frames);
  }
}

// The same programme with and without an LFE channel (a loud one) decodes to the same samples.
TEST(WriterStreams, LfeNeverReachesTheOutput) {
  for (const int acmod : {1, 2, 7}) {
    SCOPED_TRACE("acmod " + std::to_string(acmod));
    // A large frame and one fixed SNR offset, so that the full-bandwidth channels are quantized the
    // same way whether the LFE takes bits or not.
    const auto without = write_stream(0, 36, acmod, 0, 4, nullptr, false);
    const auto with = write_stream(
        0, 36, acmod, 1, 4,
        [](frame_plan& f, int) {
          for (int blk = 0; blk < 6; ++blk)
            for (int bin = 0; bin < 7; ++bin) f.lfe[blk][bin] = 0.4f;
        },
        false);
    for (const bool surround : {false, true}) {
      const our_output a = decode_stream(stream_bytes(without), surround);
      const our_output b = decode_stream(stream_bytes(with), surround);
      EXPECT_EQ("", a.diagnostics);
      EXPECT_EQ("", b.diagnostics);
      ASSERT_EQ(4u, a.frames);
      EXPECT_EQ(1, b.lfeon);
      EXPECT_TRUE(a.pcm == b.pcm);
      bool audible = false;
      for (int16_t v : a.pcm) audible = audible || v != 0;
      EXPECT_TRUE(audible);
    }
  }
}

// A block whose bandwidth code is 61 in a channel outside coupling: that frame alone is silent, the
// checks' message is printed once, and the frames around it decode.
TEST(WriterStreams, BandwidthCodeAbove60SilencesItsFrame) {
  // Frame 2 with chbwcod 61 in block 3 of the second channel, sending new exponents.
  ac3test::frame_writer writer;
  std::vector<ac3test::written_frame> rewritten;
  for (int n = 0; n < 5; ++n) {
    auto f = std::make_unique<frame_plan>(ac3test::make_frame_plan(0, 20, 2, 0));
    fill_music(*f, n, 22);
    no_dither(*f);
    if (n == 2) {
      f->blocks[3].chexpstr[1] = 1;
      f->blocks[3].chbwcod[1] = 61;
    }
    ac3test::fit_snr_offset(writer, *f);
    rewritten.push_back(writer.write(*f));
  }
  const our_output ours = decode_stream(stream_bytes(rewritten), false);
  EXPECT_EQ("\n** Sanity check failed -- chbwcod too big **", ours.diagnostics);
  ASSERT_EQ(5u, ours.frames);
  for (size_t frame = 0; frame < 5; ++frame) {
    size_t nonzero = 0;
    for (size_t i = frame * 2 * kFrameSamples; i < (frame + 1) * 2 * kFrameSamples; ++i)
      nonzero += ours.pcm[i] != 0;
    if (frame == 2)
      EXPECT_EQ(0u, nonzero) << "frame 2 must be silent";
    else
      EXPECT_GT(nonzero, kFrameSamples) << "frame " << frame;
  }
}

}  // namespace
}  // namespace accuracy
