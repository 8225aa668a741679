// The decoder's consistency checks after each block: guard words around the records (writes past
// the ends of the unpacked arrays) and side information that no valid stream carries.
#include "ac3/guards.h"

#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

namespace {

bool any_nonzero_tail(const uint16_t* values) {
  return values[253] != 0 || values[254] != 0 || values[255] != 0;
}

bool any_nonzero_tail(const float* values) {
  return values[253] != 0 || values[254] != 0 || values[255] != 0;
}

}  // namespace

void sanity_check_failed(decoder& d, const char* what) {
  qelp::diag_err("\n** Sanity check failed -- %s **", what);
  d.error_flag = 1;
}

void arm_guards(decoder& d) {
  audblk& ab = d.audblk;
  d.syncinfo.guard_word = kGuardWord;
  d.bsi.guard_word = kGuardWord;
  ab.guard_word1 = kGuardWord;
  ab.guard_word2 = kGuardWord;
  ab.guard_word3 = kGuardWord;
}

void check_guards(decoder& d) {
  const syncinfo& si = d.syncinfo;
  const bsi& b = d.bsi;
  const audblk& ab = d.audblk;
  const auto fail = [&d](const char* what) { sanity_check_failed(d, what); };
  if (si.guard_word != kGuardWord) fail("syncinfo magic number");
  if (b.guard_word != kGuardWord) fail("bsi magic number");
  if (ab.guard_word1 != kGuardWord) fail("audblk magic number 1");
  if (ab.guard_word2 != kGuardWord) fail("audblk magic number 2");
  if (ab.guard_word3 != kGuardWord) fail("audblk magic number 3");

  for (int ch = 0; ch < kMaxFbwChannels; ++ch) {
    if (any_nonzero_tail(ab.fbw_exp[ch])) fail("fbw_exp out of bounds");
    if (any_nonzero_tail(ab.fbw_bap[ch])) fail("fbw_bap out of bounds");
  }

  if (any_nonzero_tail(ab.cpl_exp)) fail("cpl_exp out of bounds");
  if (any_nonzero_tail(ab.cpl_bap)) fail("cpl_bap out of bounds");
  if (any_nonzero_tail(ab.cplmant)) fail("cpl_mant out of bounds");

  if (ab.cplinu == 1 && ab.cplbegf > ab.cplendf + 2) fail("cpl params inconsistent");

  const int channels = b.nfchans <= kMaxFbwChannels ? b.nfchans : kMaxFbwChannels;
  for (int ch = 0; ch < channels; ++ch) {
    if (!ab.chincpl[ch] && ab.chbwcod[ch] > 60) fail("chbwcod too big");
  }
}

}  // namespace ac3
