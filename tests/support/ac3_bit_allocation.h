// The parametric bit allocation of one channel, for the test-side frame writer.
#pragma once

#include <cstdint>

namespace ac3test {

struct delta_allocation {
  int mode = 2;        // 0: apply the kept segments, 1: apply new segments, 2/3: none
  int nseg = 0;        // segments - 1
  int offst[8] = {};
  int len[8] = {};
  int ba[8] = {};
};

struct allocation_input {
  int fscod = 0;
  int sdcycod = 0, fdcycod = 0, sgaincod = 0, dbpbcod = 0, floorcod = 0;
  int fgaincod = 0;
  int start = 0, end = 0;                 // bins start..end-1
  const uint16_t* exps = nullptr;         // indexed by bin
  int fastleak = 0, slowleak = 0;         // initial leaks (coupling channel)
  bool lfe_rule = false;                  // no low-frequency compensation at band 6
  int snroffset = 0;                      // 64 * csnroffst + 4 * fsnroffst - 960
  const delta_allocation* delta = nullptr;
};

// Fills bap[start..end-1] (indexed by bin).
void compute_baps(const allocation_input& in, uint16_t* bap);

// Band of a bin.
int masktab_of(int bin);

}  // namespace ac3test
