// Placeholder until this stage is built.
#include "ac3/stages.h"

namespace ac3 {

void arm_guards(syncinfo& si, bsi& b, audblk& ab) {
  si.guard_word = b.guard_word = kGuardWord;
  ab.guard_word1 = ab.guard_word2 = ab.guard_word3 = kGuardWord;
}
void check_guards(const syncinfo&, const bsi&, const audblk&) {}

}  // namespace ac3
