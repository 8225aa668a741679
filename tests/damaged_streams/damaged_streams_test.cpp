// Clean streams damaged on purpose: flipped bits, cuts, junk between frames, repeated frames, and
// streams of other layouts and rates spliced together. The output must hold one PCM frame per
// syncframe found; a frame that fails its check is silent; a frame whose bytes were untouched
// decodes exactly as in the clean stream, but for the first block's overlap with a damaged or
// foreign neighbour. The streams are made dither-free first, so that decodings compare exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qelpsnd.h"
#include "support/ac3_frame_kinds.h"
#include "support/paths.h"
#include "support/stream_decoding.h"
#include "support/wave_reader.h"

namespace {

using accuracy::frame_span;
using Bytes = std::vector<uint8_t>;

constexpr size_t kFrame = 6144;
constexpr size_t kBlock = 1024;

void silence(int, const char*, void*) {}

struct Decoded {
  std::vector<Bytes> frames;
  bool ok = false;
};

class DamagedStreams : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    qelpsnd_set_diagnostics(silence, nullptr);
    qelpsnd_set_overwrite(1);
    engine_ = new CQelpsnd();
  }
  static void TearDownTestSuite() {
    delete engine_;
    engine_ = nullptr;
    qelpsnd_set_diagnostics(nullptr, nullptr);
  }
  void SetUp() override { dir_ = qelp_test::scratch_dir(); }

  // A fixture without dither, and its frames.
  static const Bytes& clean(const std::string& name) {
    static std::map<std::string, Bytes> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
      accuracy::dither_free_stream clean = accuracy::clear_dither(qelp_test::read_bytes(qelp_test::data_path(name)));
      Bytes bytes = clean.error.empty() ? clean.bytes : Bytes{};
      qelpsnd_set_diagnostics(silence, nullptr);
      it = cache.emplace(name, bytes).first;
    }
    return it->second;
  }

  // Converts the bytes through the engine (every conversion starts from a fresh decoder); the PCM frames.
  Decoded decode(const Bytes& stream) {
    std::string in = dir_ + "/in.ac3";
    std::string out = dir_ + "/out.wav";
    qelp_test::write_bytes(in, stream);
    Decoded d;
    engine_->SetInFile(in.data());
    engine_->SetOutFile(out.data());
    if (engine_->InitEncoder() != 1) return d;
    while (engine_->DecodeFrame() == 1) {
    }
    if (engine_->m_lastError != QELP_OK) return d;
    auto wave = qelp_test::read_wave(out);
    if (!wave.ok || wave.data_size % kFrame != 0 || wave.riff_size + 8ull != wave.file_size) return d;
    for (size_t pos = 0; pos < wave.data.size(); pos += kFrame)
      d.frames.emplace_back(wave.data.begin() + static_cast<long>(pos), wave.data.begin() + static_cast<long>(pos + kFrame));
    d.ok = true;
    return d;
  }

  // Syncframes found in the bytes, as the stream reader counts them.
  uint32_t syncframes(const Bytes& stream) {
    std::string in = dir_ + "/count.ac3";
    qelp_test::write_bytes(in, stream);
    QelpsndStreamInfo info{};
    char error[512];
    qelpsnd_stream_info(in.c_str(), 1, &info, error, sizeof error);
    return info.frames;
  }

  static bool silent(const Bytes& frame) {
    return std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0; });
  }
  static bool same_blocks(const Bytes& a, const Bytes& b, int first_block) {
    return std::memcmp(a.data() + first_block * kBlock, b.data() + first_block * kBlock, kFrame - first_block * kBlock) == 0;
  }

  static CQelpsnd* engine_;
  std::string dir_;
};

CQelpsnd* DamagedStreams::engine_ = nullptr;

const char* const kFixtures[] = {"stereo_48k_192.ac3", "3f2r_lfe_48k_448.ac3", "stereo_44k_32.ac3",
                                 "3f2r_lfe_cpl_48k_256.ac3", "mono_48k_96.ac3"};

TEST_F(DamagedStreams, TheDitherFreeFixturesDecode) {
  for (const char* name : kFixtures) {
    const Bytes& stream = clean(name);
    ASSERT_FALSE(stream.empty()) << name;
    Decoded d = decode(stream);
    ASSERT_TRUE(d.ok) << name;
    EXPECT_EQ(d.frames.size(), accuracy::split_frames(stream).frames.size()) << name;
    for (size_t f = 1; f < d.frames.size(); ++f) EXPECT_FALSE(silent(d.frames[f])) << name << " frame " << f;
  }
}

// Bits flipped anywhere but in the first five bytes of a frame keep the frame boundaries: every hit
// frame is silent, every other frame equals the clean one (but for block 0 after a silent frame).
TEST_F(DamagedStreams, FlippedBitsSilenceExactlyTheFramesTheyHit) {
  std::mt19937_64 rng(99);
  for (const char* name : kFixtures) {
    const Bytes& stream = clean(name);
    const auto spans = accuracy::split_frames(stream).frames;
    const Decoded reference = decode(stream);
    ASSERT_TRUE(reference.ok);
    for (double rate : {1e-6, 1e-5, 1e-4, 1e-3, 1e-2}) {
      for (int round = 0; round < 2; ++round) {
        Bytes damaged = stream;
        std::vector<bool> hit(spans.size(), false);
        std::geometric_distribution<uint64_t> gap(rate);
        for (uint64_t bit = gap(rng); bit < damaged.size() * 8; bit += 1 + gap(rng)) {
          size_t byte = bit / 8;
          auto span = std::upper_bound(spans.begin(), spans.end(), byte,
                                       [](size_t b, const frame_span& s) { return b < s.offset; }) - 1;
          if (byte - span->offset < 5) continue;
          damaged[byte] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
          hit[static_cast<size_t>(span - spans.begin())] = true;
        }
        Decoded d = decode(damaged);
        if (std::all_of(hit.begin(), hit.end(), [](bool h) { return h; })) {
          // Not one frame passes its check: the file holds no audio and is refused.
          EXPECT_FALSE(d.ok);
          EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT) << engine_->m_lastErrorText;
          continue;
        }
        ASSERT_TRUE(d.ok) << name << " rate " << rate << ": " << engine_->m_lastErrorText;
        ASSERT_EQ(d.frames.size(), spans.size()) << name << " rate " << rate;
        for (size_t f = 0; f < spans.size(); ++f) {
          if (hit[f]) {
            EXPECT_TRUE(silent(d.frames[f])) << name << " rate " << rate << " frame " << f;
          } else {
            const int first = (f > 0 && hit[f - 1]) ? 1 : 0;
            EXPECT_TRUE(same_blocks(d.frames[f], reference.frames[f], first)) << name << " rate " << rate << " frame " << f;
          }
        }
      }
    }
  }
}

// Flips anywhere, headers included: no crash, a consistent file, one PCM frame per syncframe found.
TEST_F(DamagedStreams, FlippedBitsAnywhereGiveOneFramePerSyncframeFound) {
  std::mt19937_64 rng(7);
  for (const char* name : kFixtures) {
    for (double rate : {1e-4, 1e-3, 1e-2}) {
      Bytes damaged = clean(name);
      std::geometric_distribution<uint64_t> gap(rate);
      for (uint64_t bit = gap(rng); bit < damaged.size() * 8; bit += 1 + gap(rng))
        damaged[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
      Decoded d = decode(damaged);
      if (!d.ok) {
        // Only a stream with no frame left that passes its check may be refused.
        EXPECT_NE(engine_->m_lastError, QELP_OK);
        EXPECT_EQ(engine_->m_lastError, QELP_ERR_INPUT) << engine_->m_lastErrorText;
        continue;
      }
      EXPECT_EQ(d.frames.size(), syncframes(damaged)) << name << " rate " << rate;
    }
  }
}

TEST_F(DamagedStreams, ACutKeepsEveryWholeFrameAndSilencesThePartOne) {
  std::mt19937_64 rng(5);
  for (const char* name : kFixtures) {
    const Bytes& stream = clean(name);
    const auto spans = accuracy::split_frames(stream).frames;
    const Decoded reference = decode(stream);
    for (int round = 0; round < 6; ++round) {
      const size_t cut = spans[1].offset + rng() % (stream.size() - spans[1].offset);
      Bytes part(stream.begin(), stream.begin() + static_cast<long>(cut));
      size_t whole = 0;
      while (whole < spans.size() && spans[whole].offset + spans[whole].size <= cut) ++whole;
      // A frame cut after its sync word still counts, as one frame of silence.
      const bool partial = whole < spans.size() && cut >= spans[whole].offset + 2;
      Decoded d = decode(part);
      ASSERT_TRUE(d.ok) << name << " cut " << cut;
      ASSERT_EQ(d.frames.size(), whole + (partial ? 1 : 0)) << name << " cut " << cut;
      for (size_t f = 0; f < whole; ++f) EXPECT_EQ(d.frames[f], reference.frames[f]) << name << " frame " << f;
      if (partial) {
        EXPECT_TRUE(silent(d.frames[whole])) << name << " cut " << cut;
      }
    }
  }
}

TEST_F(DamagedStreams, JunkBetweenFramesChangesNothing) {
  std::mt19937_64 rng(11);
  for (const char* name : kFixtures) {
    const Bytes& stream = clean(name);
    const auto spans = accuracy::split_frames(stream).frames;
    const Decoded reference = decode(stream);
    Bytes junked;
    for (size_t f = 0; f < spans.size(); ++f) {
      if (rng() % 3 == 0) {
        // Junk that cannot form a sync word with itself or its neighbours.
        for (size_t n = 1 + rng() % 700; n > 0; --n) {
          uint8_t b = static_cast<uint8_t>(rng());
          junked.push_back(b == 0x0B || b == 0x77 ? 0x42 : b);
        }
      }
      junked.insert(junked.end(), stream.begin() + static_cast<long>(spans[f].offset),
                    stream.begin() + static_cast<long>(spans[f].offset + spans[f].size));
    }
    Decoded d = decode(junked);
    ASSERT_TRUE(d.ok) << name;
    EXPECT_EQ(d.frames, reference.frames) << name;
  }
}

TEST_F(DamagedStreams, ARepeatedFrameIsDecodedTwiceAndTheRestIsUnchanged) {
  for (const char* name : kFixtures) {
    const Bytes& stream = clean(name);
    const auto spans = accuracy::split_frames(stream).frames;
    const Decoded reference = decode(stream);
    const std::vector<size_t> repeated = {3, 4, 17};
    Bytes doubled;
    std::vector<size_t> origin;  // clean frame behind each output frame
    for (size_t f = 0; f < spans.size(); ++f) {
      const int copies = std::count(repeated.begin(), repeated.end(), f) + 1;
      for (int c = 0; c < copies; ++c) {
        doubled.insert(doubled.end(), stream.begin() + static_cast<long>(spans[f].offset),
                       stream.begin() + static_cast<long>(spans[f].offset + spans[f].size));
        origin.push_back(f);
      }
    }
    Decoded d = decode(doubled);
    ASSERT_TRUE(d.ok) << name;
    ASSERT_EQ(d.frames.size(), origin.size()) << name;
    for (size_t i = 0; i < origin.size(); ++i) {
      // A repeat overlaps with its own last block, not with the frame before it.
      const bool repeat = i > 0 && origin[i - 1] == origin[i];
      EXPECT_TRUE(same_blocks(d.frames[i], reference.frames[origin[i]], repeat ? 1 : 0)) << name << " output frame " << i;
    }
  }
}

TEST_F(DamagedStreams, SplicedLayoutsAndRatesDecodeAsTheyDoAlone) {
  const std::vector<std::string> parts = {"3f2r_lfe_48k_448.ac3", "stereo_44k_32.ac3", "mono_48k_96.ac3",
                                          "3f2r_lfe_cpl_48k_256.ac3", "stereo_48k_192.ac3"};
  Bytes spliced;
  std::vector<Decoded> alone;
  for (const std::string& p : parts) {
    spliced.insert(spliced.end(), clean(p).begin(), clean(p).end());
    alone.push_back(decode(clean(p)));
    ASSERT_TRUE(alone.back().ok) << p;
  }
  Decoded d = decode(spliced);
  ASSERT_TRUE(d.ok);
  size_t at = 0;
  for (size_t p = 0; p < parts.size(); ++p) {
    // The file has the first part's rate (48 kHz): the 44.1 kHz part is silent, frame for frame,
    // never written to play at the wrong speed.
    const bool other_rate = parts[p].find("_44k_") != std::string::npos;
    for (size_t f = 0; f < alone[p].frames.size(); ++f, ++at) {
      ASSERT_LT(at, d.frames.size());
      if (other_rate) {
        EXPECT_EQ(d.frames[at], Bytes(kFrame, 0)) << parts[p] << " frame " << f;
        continue;
      }
      // The first frame of each part overlaps in its first block with the part before it.
      EXPECT_TRUE(same_blocks(d.frames[at], alone[p].frames[f], (p > 0 && f == 0) ? 1 : 0)) << parts[p] << " frame " << f;
    }
  }
  EXPECT_EQ(engine_->m_framesOtherRate, alone[1].frames.size());
  EXPECT_EQ(at, d.frames.size());
}

}  // namespace

namespace {

// Delta bit allocation belongs to the frame that sends it: a stream decoded after one that used
// delta segments decodes exactly as it does on its own (the segments once leaked into the next
// file's frames through the kept side information).
TEST(FrameIndependence, DeltaSegmentsOfAnEarlierStreamDoNotReachTheNextOne) {
  Bytes delta;
  for (const auto& f : frame_kinds::write_kind(frame_kinds::kind_named("delta_bit_allocation"), 4))
    delta.insert(delta.end(), f.bytes.begin(), f.bytes.end());
  const Bytes plain = accuracy::clear_dither(qelp_test::read_bytes(qelp_test::data_path("stereo_48k_192.ac3"))).bytes;
  ASSERT_FALSE(plain.empty());
  const accuracy::our_output alone = accuracy::decode_stream(plain, false);
  const accuracy::our_output first = accuracy::decode_stream(delta, false);
  ASSERT_GT(first.frames, 0u);
  const accuracy::our_output after = accuracy::decode_stream(plain, false);
  EXPECT_TRUE(after.diagnostics.empty()) << after.diagnostics;
  EXPECT_EQ(after.pcm, alone.pcm);
}

}  // namespace
