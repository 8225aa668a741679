// Mantissas of one block in stream order: each full-bandwidth channel, the coupling channel after
// the first coupled channel, then the LFE channel; then the coupled channels are rebuilt.
//
// The loop over the bins is the decoder's hottest code, and the bap of neighbouring bins changes
// unpredictably, so each bin is handled without branching on its bap: every quantizer is described
// by table entries (code width, group size, levels), the code is taken from a 64-bit window of the
// frame at the bit position, and the pending digits of the grouped quantizers sit in per-bap slots.
#include "ac3/mantissas.h"

#include <array>
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/coupling.h"
#include "ac3/dither.h"
#include "ac3/exponent_scale.h"
#include "ac3/quantizer_tables.h"
#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

constexpr int kCodeSlots = 128;  // codes a look-up table row covers; wider codes are not looked up
constexpr uint64_t kInvalidCode = uint64_t{1} << 63;

// Bits of a fresh code, by bap: the grouped quantizers (1, 2, 4) read one code per group.
constexpr std::array<uint8_t, kBaps> kCodeBits = {0, 5, 7, 3, 7, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16};
static_assert(kCodeBits[3] == quant_bits[3] && kCodeBits[5] == quant_bits[5] && kCodeBits[15] == quant_bits[15]);
// Levels one code carries, by bap.
constexpr std::array<uint8_t, kBaps> kGroupSize = {1, 3, 3, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
// Row of kLevels by bap; row 0 (all zeros) serves bap 0 and the two's complement codes of bap 6+.
constexpr std::array<uint8_t, kBaps> kRow = {0, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int kFirstTwosComplementBap = 6;

// The levels of every code of the quantizers of bap 1 to 5, packed 16 bits each with the first
// level (the most significant digit) lowest; codes without a meaning carry kInvalidCode.
template <int Base, int Size>
constexpr std::array<uint64_t, kCodeSlots> make_row(const int16_t (&levels)[Base]) {
  std::array<uint64_t, kCodeSlots> row{};
  int codes = 1;
  for (int d = 0; d < Size; ++d) codes *= Base;
  for (int code = 0; code < kCodeSlots; ++code) {
    if (code >= codes) {
      row[code] = kInvalidCode;
      continue;
    }
    int rest = code;
    uint64_t packed = 0;
    for (int d = Size - 1; d >= 0; --d) {
      packed |= uint64_t{static_cast<uint16_t>(levels[rest % Base])} << (16 * d);
      rest /= Base;
    }
    row[code] = packed;
  }
  return row;
}

constexpr std::array<std::array<uint64_t, kCodeSlots>, 6> kLevels = {
    std::array<uint64_t, kCodeSlots>{},
    make_row<3, 3>(quant_levels_3),    // bap 1: three 3-level digits in 5 bits
    make_row<5, 3>(quant_levels_5),    // bap 2: three 5-level digits in 7 bits
    make_row<7, 1>(quant_levels_7),    // bap 3
    make_row<11, 2>(quant_levels_11),  // bap 4: two 11-level digits in 7 bits
    make_row<15, 1>(quant_levels_15),  // bap 5
};
static_assert(kLevels[1][5] == (uint64_t{21845} << 32 | uint64_t{0xAAAB}));  // digits 0, 1, 2
static_assert(kLevels[3][7] == kInvalidCode && kLevels[5][15] == kInvalidCode && kLevels[1][27] == kInvalidCode);

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
  int pos;           // bit position in the frame body
  uint16_t dither;   // the dither register
  bool invalid;      // an invalid code was met
  group_slots groups;  // only the slots of bap 1, 2 and 4 ever hold digits
};

// The mantissa of one bin of this bap (0..15): a fraction of full scale (32768 = 1.0).
template <bool Checked, bool Dither>
inline int16_t read_one(mantissa_reader& r, unsigned bap) {
  const uint64_t window = Checked ? window_checked(r.body, r.data_bytes, r.pos) : window_fast(r.body, r.pos);
  if (kGroupSize[bap] == 1) {
    // One code per bin; bap 0 reads none.
    const int width = kCodeBits[bap];
    const auto code = static_cast<uint32_t>((window >> 1) >> (63 - width));  // width 0 gives 0
    r.pos += width;
    const uint64_t entry = kLevels[kRow[bap]][code & (kCodeSlots - 1)];
    r.invalid |= (entry & kInvalidCode) != 0;
    // Two's complement codes (bap 6 and up): the code's top bit lands on bit 15.
    const auto twos = static_cast<int16_t>(static_cast<uint16_t>(code << (16 - width)));
    int16_t value = bap >= kFirstTwosComplementBap ? twos : static_cast<int16_t>(static_cast<uint16_t>(entry));
    if constexpr (Dither) {
      // Bins without bits get the next dither value.
      const uint16_t stepped = dither_step(r.dither);
      const bool noisy = bap == 0;
      r.dither = noisy ? stepped : r.dither;
      value = noisy ? dither_value(stepped) : value;
    }
    return value;
  }
  // Grouped quantizers: a code carries the levels of this bin and the next ones of the same bap.
  const int pending_count = r.groups.count[bap];
  if (pending_count > 0) {
    const uint64_t digits = r.groups.pending[bap];
    r.groups.pending[bap] = digits >> 16;
    r.groups.count[bap] = pending_count - 1;
    return static_cast<int16_t>(static_cast<uint16_t>(digits));
  }
  const int width = kCodeBits[bap];
  const auto code = static_cast<uint32_t>(window >> (64 - width));
  r.pos += width;
  const uint64_t entry = kLevels[kRow[bap]][code & (kCodeSlots - 1)];
  const bool invalid = (entry & kInvalidCode) != 0;
  r.invalid |= invalid;
  r.groups.pending[bap] = entry >> 16;
  r.groups.count[bap] = invalid ? 0 : kGroupSize[bap] - 1;  // no digits from an invalid code
  return static_cast<int16_t>(static_cast<uint16_t>(entry));
}

template <bool Checked, bool Dither, typename Store>
inline void read_bins(mantissa_reader& r, const uint16_t* baps, int begin, int end, Store store) {
  for (int bin = begin; bin < end; ++bin) {
    const unsigned bap = baps[bin];
    if (bap >= kBaps) [[unlikely]] {
      r.invalid = true;
      store(bin, int16_t{0});
      continue;
    }
    store(bin, read_one<Checked, Dither>(r, bap));
  }
}

// Bins begin..end of one channel: the fast window when every load stays inside the buffer.
template <bool Dither, typename Store>
void read_channel(mantissa_reader& r, const uint16_t* baps, int begin, int end, Store store) {
  if ((r.pos >> 3) + kChannelBytesMax + 8 <= kFrameBufferBytes + kFrameBufferSlack) {
    read_bins<false, Dither>(r, baps, begin, end, store);
  } else {
    read_bins<true, Dither>(r, baps, begin, end, store);
  }
}

// An invalid code makes the frame bad; the message comes once per frame.
void report_invalid(decoder& d, const mantissa_reader& r) {
  if (!r.invalid) return;
  if (!d.error_flag) qelp::diag_err("** Invalid mantissa - skipping frame **\n");
  d.error_flag = 1;
}

mantissa_reader reader_begin(const decoder& d) {
  return {frame_bytes(d), frame_bytes_count(d), bits_position(d), d.dither_register, false, d.groups};
}

void reader_end(decoder& d, const mantissa_reader& r) {
  bits_seek(d, r.pos);
  d.dither_register = r.dither;
  d.groups = r.groups;
  report_invalid(d, r);
}

}  // namespace

void group_state_reset(decoder& d) { d.groups = group_slots{}; }

int16_t next_mantissa(decoder& d, int bap, bool dither) {
  mantissa_reader r = reader_begin(d);
  int16_t value = 0;
  if (bap < 0 || bap >= kBaps) {
    r.invalid = true;
  } else {
    value = dither ? read_one<true, true>(r, static_cast<unsigned>(bap))
                   : read_one<true, false>(r, static_cast<unsigned>(bap));
  }
  reader_end(d, r);
  return value;
}

void unpack_coefficients(decoder& d) {
  const bsi& b = d.bsi;
  audblk& ab = d.audblk;
  coeff_buffer_t& coeffs = d.coeffs;
  group_state_reset(d);
  mantissa_reader r = reader_begin(d);
  bool coupling_read = false;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    float* out = coeffs[ch];
    const uint16_t* exps = ab.fbw_exp[ch];
    const auto scaled = [out, exps](int bin, int16_t m) { out[bin] = m * exponent_scale[exps[bin]]; };
    if (ab.dithflag[ch] != 0) {
      read_channel<true>(r, ab.fbw_bap[ch], 0, ab.endmant[ch], scaled);
    } else {
      read_channel<false>(r, ab.fbw_bap[ch], 0, ab.endmant[ch], scaled);
    }
    if (ab.cplinu && ab.chincpl[ch] && !coupling_read) {
      int16_t* cplmant = ab.cplmant;
      read_channel<false>(r, ab.cpl_bap, ab.cplstrtmant, ab.cplendmant,
                          [cplmant](int bin, int16_t m) { cplmant[bin] = m; });
      coupling_read = true;
    }
  }
  if (b.lfeon) {
    float* out = coeffs[kLfeSlot];
    const uint16_t* exps = ab.lfe_exp;
    read_channel<false>(r, ab.lfe_bap, 0, kLfeBins,
                        [out, exps](int bin, int16_t m) { out[bin] = m * exponent_scale[exps[bin]]; });
  }
  reader_end(d, r);
  // Coupled channels are rebuilt after all mantissas are read; their dither runs on from there.
  if (ab.cplinu) {
    for (int ch = 0; ch < b.nfchans; ++ch) {
      if (ab.chincpl[ch]) decouple_channel(d, coeffs[ch], ch);
    }
  }
}

}  // namespace ac3
