// Mantissas of one block in stream order: each full-bandwidth channel, the coupling channel after
// the first coupled channel, then the LFE channel; then the coupled channels are rebuilt.
#include "ac3/mantissas.h"

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

int16_t next_grouped(group_state& g, int bits, int codes, int base, const int16_t* levels) {
  if (g.position < g.size) return g.levels[g.position++];
  const int code = static_cast<int>(bits_take(bits));
  if (code >= codes) return invalid_mantissa();
  if (g.size == 3) {
    g.levels[0] = levels[code / (base * base)];
    g.levels[1] = levels[(code % (base * base)) / base];
    g.levels[2] = levels[code % base];
  } else {
    g.levels[0] = levels[code / base];
    g.levels[1] = levels[code % base];
  }
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

int16_t next_mantissa(int bap, bool dither) {
  switch (bap) {
    case 0:
      return dither ? dither_next() : int16_t{0};
    case 1:
      return next_grouped(g_bap1, 5, 27, 3, quant_levels_3);
    case 2:
      return next_grouped(g_bap2, 7, 125, 5, quant_levels_5);
    case 3: {
      const uint32_t code = bits_take(3);
      return code == 7 ? invalid_mantissa() : quant_levels_7[code];
    }
    case 4:
      return next_grouped(g_bap4, 7, 121, 11, quant_levels_11);
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

void unpack_coefficients(const bsi& b, audblk& ab, coeff_buffer_t& coeffs) {
  group_state_reset();
  bool coupling_read = false;
  for (int ch = 0; ch < b.nfchans; ++ch) {
    const bool dither = ab.dithflag[ch] != 0;
    for (int bin = 0; bin < ab.endmant[ch]; ++bin) {
      coeffs[ch][bin] = next_mantissa(ab.fbw_bap[ch][bin], dither) *
                        exponent_scale[ab.fbw_exp[ch][bin]];
    }
    if (ab.cplinu && ab.chincpl[ch] && !coupling_read) {
      for (int bin = ab.cplstrtmant; bin < ab.cplendmant; ++bin) {
        ab.cplmant[bin] = next_mantissa(ab.cpl_bap[bin], false);
      }
      coupling_read = true;
    }
  }
  if (ab.cplinu) {
    for (int ch = 0; ch < b.nfchans; ++ch) {
      if (ab.chincpl[ch]) decouple_channel(coeffs[ch], b, ab, ch);
    }
  }
  if (b.lfeon) {
    for (int bin = 0; bin < kLfeBins; ++bin) {
      coeffs[kLfeSlot][bin] = next_mantissa(ab.lfe_bap[bin], false) * exponent_scale[ab.lfe_exp[bin]];
    }
  }
}

}  // namespace ac3
