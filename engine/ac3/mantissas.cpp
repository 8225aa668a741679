// Mantissas of one block in stream order: each full-bandwidth channel, the coupling channel after
// the first coupled channel, then the LFE channel; then the coupled channels are rebuilt.
//
// A mantissa is read as a float at the scale of a 32-bit two's complement number (full scale is
// kMantissaUnit, 2^31): a code of bap 6 and up is such a number once it sits at the top of 32 bits,
// and the levels of the symmetric quantizers (bap 1..5) are exact fractions rounded once to float.
// A channel is read in two passes: the codes in stream order, with the dither of the bins without
// bits where the channel asks for it; then the exponents' scale 2^-(31 + e), on vectors.
//
// The first pass is the decoder's hottest loop. Each bin takes its bits from a 64-bit window at
// the read position; bap 6..15 (and 0 in a channel without dither) need no table and no branch (a
// mask keeps the code's bits, or none); bap 1..5 look their code up in a table row, the grouped
// ones (1, 2, 4) handing out the pending digits of their last code first; a dithered bap 0 takes
// the next value of the dither sequence.
#include "ac3/mantissas.h"

#include <array>
#include <bit>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/coupling.h"
#include "ac3/dither.h"
#include "ac3/quantizer_tables.h"
#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

// Bits of a fresh code, by bap: the grouped quantizers (1, 2, 4) read one code per group.
constexpr std::array<uint8_t, kBaps> kCodeBits = {0, 5, 7, 3, 7, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};
static_assert(kCodeBits[3] == quant_bits[3] && kCodeBits[5] == quant_bits[5] && kCodeBits[15] == quant_bits[15]);

// The bits of a two's complement code at the top of a 32-bit word, by bap; none below bap 6.
constexpr std::array<uint32_t, kBaps> make_twos_masks() {
  std::array<uint32_t, kBaps> masks{};
  for (int bap = 6; bap < kBaps; ++bap) masks[bap] = ~uint32_t{0} << (32 - kCodeBits[bap]);
  return masks;
}
constexpr std::array<uint32_t, kBaps> kTwosMask = make_twos_masks();

// The levels of the symmetric quantizers one after the other, after a zero level: level k of the
// L-level quantizer is (2k - (L - 1)) / L of full scale.
constexpr int kLevelCount[6] = {1, 3, 5, 7, 11, 15};  // index 0: the zero level
constexpr int level_base(int bap) {
  int base = 0;
  for (int b = 0; b < bap; ++b) base += kLevelCount[b];
  return base;
}
constexpr std::array<float, level_base(6)> make_levels() {
  std::array<float, level_base(6)> levels{};
  for (int bap = 1; bap <= 5; ++bap) {
    const int count = kLevelCount[bap];
    for (int k = 0; k < count; ++k)
      levels[static_cast<std::size_t>(level_base(bap) + k)] =
          static_cast<float>(static_cast<double>(2 * k - (count - 1)) / count * kMantissaUnit);
  }
  return levels;
}
constexpr std::array<float, level_base(6)> kLevels = make_levels();
static_assert(kLevels[0] == 0.0f && kLevels[level_base(1) + 1] == 0.0f && kLevels[level_base(5) + 14] < kMantissaUnit);

// A table row entry, for each code of bap 1..5: the level indices of its digits, first digit in
// the low byte; 0 for a code without meaning (its one digit is the zero level, none are left). No
// digit of a valid code is the zero level (index 0), so an entry is 0 exactly for the invalid
// codes, and the digits after the first, shifted down, are zero exactly when none are left.
constexpr int kCodeSlots = 128;  // codes a row covers (7 bits at most)
constexpr uint32_t kInvalidCode = 0;
constexpr int kGroupSize[6] = {1, 3, 3, 1, 2, 1};

template <int Bap>
constexpr std::array<uint32_t, kCodeSlots> make_row() {
  constexpr int base = kLevelCount[Bap];
  constexpr int size = kGroupSize[Bap];
  std::array<uint32_t, kCodeSlots> row{};
  int codes = 1;
  for (int d = 0; d < size; ++d) codes *= base;
  for (int code = 0; code < kCodeSlots; ++code) {
    if (code >= codes) {
      row[static_cast<std::size_t>(code)] = kInvalidCode;
      continue;
    }
    int rest = code;
    uint32_t packed = 0;
    for (int d = size - 1; d >= 0; --d) {  // the first digit is the most significant
      packed |= static_cast<uint32_t>(level_base(Bap) + rest % base) << (8 * d);
      rest /= base;
    }
    row[static_cast<std::size_t>(code)] = packed;
  }
  return row;
}

// Rows by bap; row 0 is never read.
constexpr std::array<std::array<uint32_t, kCodeSlots>, 6> kRows = {
    std::array<uint32_t, kCodeSlots>{},
    make_row<1>(),  // three 3-level digits in 5 bits
    make_row<2>(),  // three 5-level digits in 7 bits
    make_row<3>(),
    make_row<4>(),  // two 11-level digits in 7 bits
    make_row<5>(),
};
static_assert(kRows[1][5] == (level_base(1) | (level_base(1) + 1) << 8 | (level_base(1) + 2) << 16));
static_assert(level_base(1) > 0);
static_assert(kRows[3][7] == kInvalidCode && kRows[5][15] == kInvalidCode && kRows[1][27] == kInvalidCode);
static_assert(kRows[1][26] != kInvalidCode && kRows[2][124] != kInvalidCode && kRows[4][120] != kInvalidCode);

// A bin of each channel may take at most 16 bits: a channel never reads further than this past
// where it starts.
constexpr int kChannelBytesMax = kBins * 16 / 8;

// The 64 bits at bit position pos of the frame body, first bit most significant; bits past the
// frame's data are zero. The fast variant loads eight bytes at once and is used only where they lie
// inside the buffer (which is zero behind the data).
inline uint64_t window_fast(const uint8_t* body, int pos) {
  uint64_t v;
  std::memcpy(&v, body + (pos >> 3), sizeof v);
  return __builtin_bswap64(v) << (pos & 7);
}

inline uint64_t window_checked(const uint8_t* body, int data_bytes, int pos) {
  uint64_t v = 0;
  const int first = pos >> 3;
  for (int i = 0; i < 8; ++i) {
    const int at = first + i;
    v = (v << 8) | (at >= 0 && at < data_bytes ? body[at] : 0u);
  }
  return v << (pos & 7);
}

// The mantissa loop's state, kept in local variables for a block.
struct mantissa_reader {
  const uint8_t* body;
  int data_bytes;
  int pos;              // bit position in the frame body
  uint32_t invalid;     // not zero once an invalid code or bap was met
  group_slots groups;   // only the slots of bap 1, 2 and 4 ever hold digits
};

// A bin of bap 1..5, whose bits at the read position are the top of window; gives the bits read.
inline float read_table_level(mantissa_reader& r, unsigned bap, uint64_t window, int& width) {
  uint32_t packed = r.groups.pending[bap];
  width = 0;
  if (packed == 0) {
    width = kCodeBits[bap];
    const auto code = static_cast<uint32_t>(window >> (64 - width));  // width 3..7
    packed = kRows[bap][code & (kCodeSlots - 1)];
    r.invalid |= packed == kInvalidCode ? 1u : 0u;
  }
  r.groups.pending[bap] = packed >> 8;
  return kLevels[packed & 0x3fu];
}

// One bin whose bits are at the top of window: stores its mantissa, moves window and pos past its
// code. Bins of bap 6..15 (and of bap 0 without dither) take the branch-free path; bap 1..5 look
// their code up, and with Dither a bin of bap 0 takes dither[taken] and counts it.
template <bool Dither>
inline void read_bin(mantissa_reader& r, unsigned bap, uint64_t& window, int& pos, float& out, const float* dither,
                     int& taken) {
  int width;
  if (Dither ? bap < 6u : bap - 1u < 5u) {
    if (Dither && bap == 0) {
      out = dither[taken++];
      width = 0;
    } else {
      out = read_table_level(r, bap, window, width);
    }
  } else {
    width = kCodeBits[bap];
    out = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(window >> 32) & kTwosMask[bap]));
  }
  window <<= width;
  pos += width;
}

// The mantissas of bins begin..end at the mantissa scale; bap 0 gives 0, or with Dither the next
// dither value from the decoder's position in the dither sequence. A window holds at least 57 bits
// at the read position and a code at most 16, so three bins share one.
template <bool Checked, bool Dither>
inline void read_bins(mantissa_reader& r, const uint16_t* baps, int begin, int end, float* out,
                      uint16_t& dither_position) {
  const auto window_at = [&r](int pos) {
    return Checked ? window_checked(r.body, r.data_bytes, pos) : window_fast(r.body, pos);
  };
  int pos = r.pos;
  const float* dither = dither_values.values + dither_position;  // at most kBins values read
  int taken = 0;
  int bin = begin;
  for (; bin + 3 <= end; bin += 3) {
    uint64_t window = window_at(pos);
    read_bin<Dither>(r, baps[bin] & (kBaps - 1u), window, pos, out[bin], dither, taken);  // bit allocation
    read_bin<Dither>(r, baps[bin + 1] & (kBaps - 1u), window, pos, out[bin + 1], dither, taken);  // gives 0..15
    read_bin<Dither>(r, baps[bin + 2] & (kBaps - 1u), window, pos, out[bin + 2], dither, taken);
  }
  for (; bin < end; ++bin) {
    uint64_t window = window_at(pos);
    read_bin<Dither>(r, baps[bin] & (kBaps - 1u), window, pos, out[bin], dither, taken);
  }
  r.pos = pos;
  if constexpr (Dither) dither_position = dither_advance(dither_position, taken);
}

// Bins begin..end of one channel: the fast window when every load stays inside the buffer.
template <bool Dither>
void read_channel(mantissa_reader& r, const uint16_t* baps, int begin, int end, float* out,
                  uint16_t& dither_position) {
  if ((r.pos >> 3) + kChannelBytesMax + 8 <= kFrameBufferBytes + kFrameBufferSlack) {
    read_bins<false, Dither>(r, baps, begin, end, out, dither_position);
  } else {
    read_bins<true, Dither>(r, baps, begin, end, out, dither_position);
  }
}

// Mantissas to coefficients: times 2^-(31 + e) for the bin's exponent e.
void scale_bins(const uint16_t* exps, int end, float* out) {
  for (int bin = 0; bin < end; ++bin) out[bin] *= mantissa_scale(exps[bin]);
}

// An invalid code makes the frame bad; the message comes once per frame.
void report_invalid(decoder& d, const mantissa_reader& r) {
  if (!r.invalid) return;
  if (!d.error_flag) qelp::diag_err("** Invalid mantissa - skipping frame **\n");
  d.error_flag = 1;
}

mantissa_reader reader_begin(const decoder& d) {
  return {frame_bytes(d), frame_bytes_count(d), bits_position(d), 0u, d.groups};
}

void reader_end(decoder& d, const mantissa_reader& r) {
  bits_seek(d, r.pos);
  d.groups = r.groups;
  report_invalid(d, r);
}

}  // namespace

void group_state_reset(decoder& d) { d.groups = group_slots{}; }

float next_mantissa(decoder& d, int bap, bool dither) {
  mantissa_reader r = reader_begin(d);
  float value = 0.0f;
  if (bap < 0 || bap >= kBaps) {
    r.invalid = 1;
  } else {
    const uint16_t b = static_cast<uint16_t>(bap);
    if (dither)
      read_bins<true, true>(r, &b, 0, 1, &value, d.dither_position);
    else
      read_bins<true, false>(r, &b, 0, 1, &value, d.dither_position);
  }
  reader_end(d, r);
  return value / kMantissaUnit;
}

void unpack_coefficients(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  coeff_buffer_t& coeffs = d.coeffs;
  group_state_reset(d);
  mantissa_reader r = reader_begin(d);
  uint16_t dither_position = d.dither_position;
  bool coupling_read = false;
  const int channels = b.nfchans <= kMaxFbwChannels ? b.nfchans : kMaxFbwChannels;
  for (int ch = 0; ch < channels; ++ch) {
    float* out = coeffs[ch];
    const int end = ab.endmant[ch] <= kBins ? ab.endmant[ch] : kBins;
    if (ab.dithflag[ch] != 0)
      read_channel<true>(r, ab.fbw_bap[ch], 0, end, out, dither_position);
    else
      read_channel<false>(r, ab.fbw_bap[ch], 0, end, out, dither_position);
    scale_bins(ab.fbw_exp[ch], end, out);
    if (ab.cplinu && ab.chincpl[ch] && !coupling_read) {
      const int cpl_end = ab.cplendmant <= kBins ? ab.cplendmant : kBins;
      read_channel<false>(r, ab.cpl_bap, ab.cplstrtmant, cpl_end, ab.cplmant, dither_position);
      coupling_read = true;
    }
  }
  if (b.lfeon) {
    read_channel<false>(r, ab.lfe_bap, 0, kLfeBins, coeffs[kLfeSlot], dither_position);
    scale_bins(ab.lfe_exp, kLfeBins, coeffs[kLfeSlot]);
  }
  d.dither_position = dither_position;
  reader_end(d, r);
  // Coupled channels are rebuilt after all mantissas are read; their dither runs on from there.
  if (ab.cplinu) {
    coupling_zeros zeros;
    find_coupling_zeros(ab, zeros);
    for (int ch = 0; ch < channels; ++ch) {
      if (ab.chincpl[ch]) decouple_channel(d, coeffs[ch], ch, zeros);
    }
  }
}

}  // namespace ac3
