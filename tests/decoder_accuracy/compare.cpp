#include "compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace accuracy {

double channel_stats::ser_ours() const { return 10.0 * std::log10(signal / std::max(error_ours, 1e-30)); }
double channel_stats::ser_ideal() const { return 10.0 * std::log10(signal / std::max(error_ideal, 1e-30)); }

channel_stats compare_channel(const our_output& ours, const std::vector<double>& ref, int side) {
  channel_stats st;
  const size_t n = ours.pcm.size() / 2;
  for (size_t i = 0; i + kReferenceOffset < ref.size() && i < n; ++i) {
    const double v = 32767.0 * ref[i + kReferenceOffset];
    if (std::fabs(v) >= 32767.0) {
      ++st.beyond_full_scale;
      continue;
    }
    const double ideal = std::trunc(v);
    const int ours_sample = ours.pcm[2 * i + static_cast<size_t>(side)];
    const int difference = std::abs(ours_sample - static_cast<int>(ideal));
    if (difference > st.worst_difference) {
      st.worst_difference = difference;
      st.worst_at = i;
    }
    ++st.compared;
    st.signal += v * v;
    st.error_ours += (ours_sample - v) * (ours_sample - v);
    st.error_ideal += (ideal - v) * (ideal - v);
  }
  return st;
}

void expect_matches_reference(const our_output& ours, const reference_output& ref, bool surround,
                              int dual_mono_channel) {
  ASSERT_EQ("", ref.error);
  ASSERT_GT(ours.frames, 0u);
  ASSERT_EQ(ours.frames, ref.channels[0].size() / kFrameSamples)
      << "reference samples " << ref.channels[0].size();
  ASSERT_EQ(ours.frames * kFrameSamples * 2, ours.pcm.size());

  if (ours.acmod <= 1) {  // a mono programme: the same sample on both sides
    size_t differing = 0;
    for (size_t i = 0; i + 1 < ours.pcm.size(); i += 2) differing += ours.pcm[i] != ours.pcm[i + 1];
    EXPECT_EQ(0u, differing);
  }
  const folded f = fold_reference(ref, ours.acmod, ours.cmixlev, ours.surmixlev, surround, dual_mono_channel);
  ASSERT_EQ("", f.error);
  for (int side = 0; side < 2; ++side) {
    const channel_stats st = compare_channel(ours, side == 0 ? f.left : f.right, side);
    const char* which = side == 0 ? "left" : "right";
    EXPECT_GT(st.compared, ours.frames * kFrameSamples * 9 / 10) << which;
    EXPECT_GT(st.signal, 0.0) << which << " is silent: nothing was compared";
    EXPECT_LE(st.worst_difference, 1)
        << which << " worst at sample " << st.worst_at << " (frame " << st.worst_at / kFrameSamples << ")";
    EXPECT_GE(st.ser_ours(), st.ser_ideal() - 0.1)
        << which << ": ours " << st.ser_ours() << " dB, ideal " << st.ser_ideal() << " dB";
  }
}

}  // namespace accuracy
