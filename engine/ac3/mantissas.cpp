// Mantissas of one block in stream order: each full-bandwidth channel, the coupling channel after
// the first coupled channel, then the LFE channel; then the coupled channels are rebuilt.
#include "ac3/mantissas.h"

#include <array>
#include <initializer_list>

#include "ac3/bitstream.h"
#include "ac3/coupling.h"
#include "ac3/dither.h"
#include "ac3/exponent_scale.h"
#include "ac3/quantizer_tables.h"
#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

// A grouped code carries several quantizer levels; they are handed out one per bin.
struct group_state {
  int16_t levels[3];
  int size;       // digits in a group of this quantizer
  int position;   // next digit to hand out; equal to size when no group is pending
};

group_state g_bap1 = {{0, 0, 0}, 3, 3};
group_state g_bap2 = {{0, 0, 0}, 3, 3};
group_state g_bap4 = {{0, 0, 0}, 2, 2};

int16_t invalid_mantissa() {
  if (!error_flag) qelp::diag_err("** Invalid mantissa - skipping frame **\n");
  error_flag = 1;
  return 0;
}

// The digits of every valid grouped code, most significant first, so that splitting a code is a
// look-up instead of divisions.
template <int Codes, int Base, int Size>
constexpr std::array<std::array<uint8_t, Size>, Codes> make_digits() {
  std::array<std::array<uint8_t, Size>, Codes> digits{};
  for (int code = 0; code < Codes; ++code) {
    int rest = code;
    for (int d = Size - 1; d >= 0; --d) {
      digits[code][d] = static_cast<uint8_t>(rest % Base);
      rest /= Base;
    }
  }
  return digits;
}

constexpr auto kDigits3 = make_digits<27, 3, 3>();     // bap 1: three 3-level digits in 5 bits
constexpr auto kDigits5 = make_digits<125, 5, 3>();    // bap 2: three 5-level digits in 7 bits
constexpr auto kDigits11 = make_digits<121, 11, 2>();  // bap 4: two 11-level digits in 7 bits

template <int Bits, int Codes, int Size>
inline int16_t next_grouped(group_state& g, const std::array<std::array<uint8_t, Size>, Codes>& digits,
                            const int16_t* levels) {
  if (g.position < g.size) return g.levels[g.position++];
  const uint32_t code = bits_take(Bits);
  if (code >= static_cast<uint32_t>(Codes)) return invalid_mantissa();
  for (int d = 0; d < Size; ++d) g.levels[d] = levels[digits[code][d]];
  g.position = 1;
  return g.levels[0];
}

}  // namespace

void group_state_reset() {
  for (group_state* g : {&g_bap1, &g_bap2, &g_bap4}) {
    g->levels[0] = g->levels[1] = g->levels[2] = 0;
    g->position = g->size;
  }
}

namespace {

// The state mantissa reading runs on: the three groups and the dither register. unpack_coefficients
// keeps a copy in local variables for the block, so that the hot loop works in registers.
struct mantissa_state {
  group_state bap1, bap2, bap4;
  uint16_t dither;
};

inline int16_t read_mantissa(mantissa_state& st, int bap, bool dither) {
  switch (bap) {
    case 0:
      if (!dither) return 0;
      st.dither = dither_step(st.dither);
      return dither_value(st.dither);
    case 1:
      return next_grouped<5, 27, 3>(st.bap1, kDigits3, quant_levels_3);
    case 2:
      return next_grouped<7, 125, 3>(st.bap2, kDigits5, quant_levels_5);
    case 3: {
      const uint32_t code = bits_take(3);
      return code == 7 ? invalid_mantissa() : quant_levels_7[code];
    }
    case 4:
      return next_grouped<7, 121, 2>(st.bap4, kDigits11, quant_levels_11);
    case 5: {
      const uint32_t code = bits_take(4);
      return code == 15 ? invalid_mantissa() : quant_levels_15[code];
    }
    default: {
      if (bap < 0 || bap > 15) return invalid_mantissa();
      const int w = quant_bits[bap];
      // The code is a two's complement fraction: its top bit lands on bit 15.
      return static_cast<int16_t>(static_cast<uint16_t>(bits_take(w) << (16 - w)));
    }
  }
}

mantissa_state load_state() { return {g_bap1, g_bap2, g_bap4, dither_register()}; }

void store_state(const mantissa_state& st) {
  g_bap1 = st.bap1;
  g_bap2 = st.bap2;
  g_bap4 = st.bap4;
  dither_register_set(st.dither);
}

}  // namespace

int16_t next_mantissa(int bap, bool dither) {
  mantissa_state st = load_state();
  const int16_t value = read_mantissa(st, bap, dither);
  store_state(st);
  return value;
}

void unpack_coefficients(const bsi& b, audblk& ab, coeff_buffer_t& coeffs) {
  group_state_reset();
  mantissa_state st = load_state();
  bool coupling_read = false;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    const bool dither = ab.dithflag[ch] != 0;
    const uint16_t* baps = ab.fbw_bap[ch];
    const uint16_t* exps = ab.fbw_exp[ch];
    float* out = coeffs[ch];
    const int end = ab.endmant[ch];
    for (int bin = 0; bin < end; ++bin) {
      out[bin] = read_mantissa(st, baps[bin], dither) * exponent_scale[exps[bin]];
    }
    if (ab.cplinu && ab.chincpl[ch] && !coupling_read) {
      for (int bin = ab.cplstrtmant; bin < ab.cplendmant; ++bin) {
        ab.cplmant[bin] = read_mantissa(st, ab.cpl_bap[bin], false);
      }
      coupling_read = true;
    }
  }
  if (b.lfeon) {
    for (int bin = 0; bin < kLfeBins; ++bin) {
      coeffs[kLfeSlot][bin] = read_mantissa(st, ab.lfe_bap[bin], false) * exponent_scale[ab.lfe_exp[bin]];
    }
  }
  store_state(st);
  // Coupled channels are rebuilt after all mantissas are read; their dither runs on from there.
  if (ab.cplinu) {
    for (int ch = 0; ch < b.nfchans; ++ch) {
      if (ab.chincpl[ch]) decouple_channel(coeffs[ch], b, ab, ch);
    }
  }
}

}  // namespace ac3
