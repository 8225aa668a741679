// The peak, the gain and the translation tables: where samples land, at the edges that matter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "normalize_table.h"

using namespace qelp;

namespace {

std::vector<int16_t> table16(double gain, int32_t peak) {
  std::vector<int16_t> t(kTable16Entries);
  build_table16(t.data(), gain, peak);
  return t;
}
int16_t at(const std::vector<int16_t>& t, int s) { return t[static_cast<size_t>(s + 32768)]; }

}  // namespace

TEST(NormalizePeak, MostNegativeValueCountsAsItsPositiveNeighbour) {
  EXPECT_EQ(peak_of(-32768, 100, 32767), 32767);
  EXPECT_EQ(peak_of(-32768, 32767, 32767), 32767);
  EXPECT_EQ(peak_of(-16384, 16383, 32767), 16384);
  EXPECT_EQ(peak_of(-5, 7, 32767), 7);
  EXPECT_EQ(peak_of(-128, 3, 127), 127);
  EXPECT_EQ(peak_of(0, 0, 32767), 0);
  EXPECT_EQ(peak_gain(32767, 32767), 1.0);
  EXPECT_EQ(peak_gain(127, 127), 1.0);
  EXPECT_DOUBLE_EQ(peak_gain(16383, 32767), 32767.0 / 16383.0);
  EXPECT_EQ(peak_gain(0, 32767), 1.0);  // silence: no division by zero
}

TEST(NormalizePeak, ScanCoversEverySampleAndLeavesAnOddByteOut) {
  std::vector<unsigned char> piece = {0x00, 0x80, 0xff, 0x7f, 0x05, 0x00, 0x7f};  // -32768, 32767, 5, odd byte
  int32_t lo = 0, hi = 0;
  scan_peak16(piece.data(), 6, &lo, &hi);
  EXPECT_EQ(lo, -32768);
  EXPECT_EQ(hi, 32767);
  lo = hi = 0;
  scan_peak16(piece.data() + 4, 3, &lo, &hi);  // one sample (5) and a stray byte
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 5);
  std::vector<unsigned char> bytes = {0, 128, 255, 100};
  lo = hi = 0;
  scan_peak8(bytes.data(), 4, &lo, &hi);
  EXPECT_EQ(lo, -128);
  EXPECT_EQ(hi, 127);
}

TEST(NormalizeTable16, PeakOf16383GoesToFullScaleAndNeverToMinus32768) {
  auto t = table16(peak_gain(16383, 32767), 16383);
  EXPECT_EQ(at(t, 16383), 32767);
  EXPECT_EQ(at(t, -16383), -32767);
  EXPECT_EQ(at(t, -16384), -32767);
  EXPECT_EQ(at(t, -32768), -32767);
  EXPECT_EQ(at(t, 32767), 32767);
  EXPECT_EQ(at(t, 0), 0);
  EXPECT_EQ(at(t, 1), 2);
  EXPECT_EQ(at(t, -1), -2);
  EXPECT_EQ(at(t, 8192), 16384);  // 16384.5 truncated
  for (int s = -32768; s <= 32767; ++s) ASSERT_NE(at(t, s), -32768) << s;
}

TEST(NormalizeTable16, EveryPeakLandsExactlyOnFullScale) {
  // With gain = 32767 / peak in floating point, peaks such as 49 would land on 32766; the peak
  // must reach full scale whatever it is.
  std::vector<int16_t> t(kTable16Entries);
  for (int32_t peak = 1; peak <= 32767; peak += (peak < 300 ? 1 : 31)) {
    build_table16(t.data(), peak_gain(peak, 32767), peak);
    ASSERT_EQ(at(t, peak), 32767) << "peak " << peak;
    ASSERT_EQ(at(t, -peak), -32767) << "peak " << peak;
    ASSERT_LE(at(t, peak - 1), 32767);
  }
}

TEST(NormalizeTable16, FixedGainTruncatesTowardZeroAndClips) {
  const double gain = std::pow(10.0, 6 / 20.0);
  auto t = table16(gain, 0);
  EXPECT_EQ(at(t, 1000), 1995);    // 1995.26
  EXPECT_EQ(at(t, -1000), -1995);  // toward zero, not down
  EXPECT_EQ(at(t, 16422), 32766);  // 32766.2, still below full scale
  EXPECT_EQ(at(t, 16423), 32767);  // 32768.2, clipped
  EXPECT_EQ(at(t, 20000), 32767);
  EXPECT_EQ(at(t, -20000), -32767);
  EXPECT_EQ(at(t, -32768), -32767);
  // Monotonic: a larger sample never maps below a smaller one.
  for (int s = -32767; s <= 32767; ++s) ASSERT_GE(at(t, s), at(t, s - 1)) << s;
  // An infinite gain still keeps silence silent and clips everything else.
  auto inf = table16(HUGE_VAL, 0);
  EXPECT_EQ(at(inf, 0), 0);
  EXPECT_EQ(at(inf, 1), 32767);
  EXPECT_EQ(at(inf, -1), -32767);
}

TEST(NormalizeTable8, MapsAroundTheMidpointAndClipsToTheByteRange) {
  std::vector<uint8_t> t(kTable8Entries);
  build_table8(t.data(), peak_gain(63, 127), 63);
  EXPECT_EQ(t[128 + 63], 255);  // 63 -> 127
  EXPECT_EQ(t[128 - 63], 1);    // -63 -> -127
  EXPECT_EQ(t[128], 128);
  EXPECT_EQ(t[128 + 32], 192);  // 64.5 -> 64
  EXPECT_EQ(t[128 - 32], 64);
  EXPECT_EQ(t[128 + 64], 255);  // above 127
  EXPECT_EQ(t[128 - 64], 0);    // below -127: byte 0
  EXPECT_EQ(t[0], 0);

  build_table8(t.data(), std::pow(10.0, 6 / 20.0), 0);
  EXPECT_EQ(t[128 + 10], 128 + 19);  // 19.95
  EXPECT_EQ(t[128 - 10], 128 - 19);
  EXPECT_EQ(t[128 + 100], 255);
  EXPECT_EQ(t[128 - 100], 0);
  EXPECT_EQ(t[128], 128);
}

// The clip count's threshold agrees with the table: a sample is counted as clipped exactly when the
// gain takes it beyond full scale (the table then holds +-full scale for it).
TEST(NormalizeClipping, TheThresholdIsWhereTheTableStartsToClip) {
  const double gain = std::pow(10.0, 6 / 20.0);
  EXPECT_EQ(clip_magnitude(gain, 32767), 16423);  // 16422 -> 32766.2, 16423 -> 32768.2
  EXPECT_EQ(clip_magnitude(gain, 127), 64);       // 63 -> 125.7, 64 -> 127.7
  EXPECT_EQ(clip_magnitude(std::pow(10.0, 30 / 20.0), 32767), 1037);  // 1036 x 31.62 = 32761.3
  EXPECT_EQ(clip_magnitude(1.0, 32767), 32768);   // only -32768 lies beyond
  EXPECT_EQ(clip_magnitude(0.5, 32767), 32769);   // nothing
  for (int db : {5, 17, 50}) {
    const double g = std::pow(10.0, db / 20.0);
    auto t = table16(g, 0);
    const int32_t m = clip_magnitude(g, 32767);
    EXPECT_LT(std::abs(static_cast<double>(m - 1) * g), 32767.0000001) << db;
    EXPECT_EQ(at(t, m), 32767) << db;
    EXPECT_EQ(at(t, -m), -32767) << db;
  }
}

TEST(NormalizeClipping, CountsSamplesAtOrBeyondTheThresholdOnBothSides) {
  const std::vector<int16_t> samples = {0, 99, 100, -99, -100, 32767, -32768, 5};
  std::vector<unsigned char> bytes;
  for (int16_t s : samples) {
    bytes.push_back(static_cast<unsigned char>(s & 0xff));
    bytes.push_back(static_cast<unsigned char>((s >> 8) & 0xff));
  }
  bytes.push_back(0x7f);  // a trailing odd byte is no sample
  EXPECT_EQ(count_clipped16(bytes.data(), static_cast<uint32_t>(bytes.size()), 100), 4u);
  EXPECT_EQ(count_clipped16(bytes.data(), static_cast<uint32_t>(bytes.size()), 32768), 1u);
  EXPECT_EQ(count_clipped16(bytes.data(), static_cast<uint32_t>(bytes.size()), 32769), 0u);
  const unsigned char eight[] = {128, 128 + 64, 128 - 64, 128 + 63, 0, 255};
  EXPECT_EQ(count_clipped8(eight, sizeof eight, 64), 4u);  // 64, -64, -128, 127
}
