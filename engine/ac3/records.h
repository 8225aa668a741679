// The decoder's records: syncinfo, bsi and audblk, with the A/52 field names and widths.
// Fields that a block or frame does not transmit keep their earlier values (A/52's reuse rules).
#pragma once

#include <cstdint>

namespace ac3 {

constexpr uint32_t kGuardWord = 0xdeadbeef;
constexpr int kMaxFbwChannels = 5;
constexpr int kLfeSlot = 5;
constexpr int kCoeffSlots = 6;
constexpr int kBins = 256;
constexpr int kMaxCplSubbands = 18;
constexpr int kMaxCplExpGroups = 72;
constexpr int kMaxExpGroups = 84;       // 7-bit groups of a channel: D15 up to bin 252
constexpr int kExpsEntries = kMaxExpGroups + 1;  // entry 0 is the absolute exponent
constexpr int kMaxDeltaSegments = 8;
constexpr int kLfeBins = 7;

struct syncinfo {
  uint32_t guard_word;
  uint16_t fscod;
  uint16_t frmsizecod;
  uint16_t frame_size;      // in 16-bit words
  uint16_t bit_rate;        // kbit/s
  uint32_t sampling_rate;   // Hz
};

struct bsi {
  uint32_t guard_word;
  uint16_t bsid, bsmod, acmod, cmixlev, surmixlev, dsurmod, lfeon, dialnorm, compre, compr,
      langcode, langcod, audprodie, mixlevel, roomtyp, dialnorm2, compr2e, compr2, langcod2e,
      langcod2, audprodi2e, mixlevel2, roomtyp2, copyrightb, origbs, timecod1e, timecod1,
      timecod2e, timecod2, addbsie, addbsil;
  uint8_t addbsi[64];
  uint16_t nfchans;
};

struct audblk {
  uint32_t guard_word1;
  uint16_t blksw[5], dithflag[5], dynrnge, dynrng, dynrng2e, dynrng2;
  uint16_t cplstre, cplinu, chincpl[5], phsflginu, cplbegf, cplendf, cplbndstrc[18], cplcoe[5],
      mstrcplco[5], cplcoexp[5][18], cplcomant[5][18], phsflg[18];
  uint16_t rematstr, rematflg[4];
  uint16_t cplexpstr, chexpstr[5], lfeexpstr, chbwcod[5], cplabsexp, cplexps[72];
  uint32_t guard_word2;
  uint16_t exps[5][kExpsEntries], gainrng[5], lfeexps[3];
  uint16_t baie, sdcycod, fdcycod, sgaincod, dbpbcod, floorcod, snroffste, csnroffst, cplfsnroffst,
      cplfgaincod, fsnroffst[5], fgaincod[5], lfefsnroffst, lfefgaincod, cplleake, cplfleak,
      cplsleak;
  uint16_t deltbaie, cpldeltbae, deltbae[5], cpldeltnseg, cpldeltoffst[8], cpldeltlen[8],
      cpldeltba[8], deltnseg[5], deltoffst[5][8], deltlen[5][8], deltba[5][8];
  uint16_t skiple, skipl;
  float cplmant[256];                      // the coupling channel's mantissas, full scale 2^31
  uint16_t ncplsubnd, ncplbnd, nchgrps[5], ncplgrps, endmant[5], cplstrtmant, cplendmant;
  uint16_t fbw_exp[5][256], cpl_exp[256], lfe_exp[7];
  uint16_t fbw_bap[5][256], cpl_bap[256], lfe_bap[7];
  uint32_t guard_word3;
};

}  // namespace ac3
