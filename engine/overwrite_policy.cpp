#include "output_wavefile.h"
#include "qelpsnd.h"

extern "C" QELPSND_API void qelpsnd_set_overwrite(int policy) {
  using qelp::OverwritePolicy;
  qelp::output_wavefile_set_overwrite_policy(policy == 1 ? OverwritePolicy::always
                                             : policy == 2 ? OverwritePolicy::never
                                                           : OverwritePolicy::ask);
}
