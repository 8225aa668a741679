// The one-line description of the stream, printed for the first frame a decoder decodes after its reset.
#include <cstdio>

#include "ac3/stages.h"
#include "ac3/stream_description.h"
#include "diagnostics.h"

namespace ac3 {

void print_stream_banner(const syncinfo& si, const bsi& b) {
  // Composed in one buffer so that a diagnostics sink receives the whole line at once.
  char line[160];
  char language[16];
  int n = std::snprintf(line, sizeof line, "%d.%d Mode %2.1f KHz%4d kbps ", b.nfchans, b.lfeon,
                        si.sampling_rate * 0.001, si.bit_rate);
  if (n < 0) n = 0;
  size_t used = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
  if (b.langcode && b.langcod < 128) {
    n = std::snprintf(line + used, sizeof line - used, "%s ",
                      language_text(b.langcod, language, sizeof language));
    if (n > 0) used += static_cast<size_t>(n);
    if (used >= sizeof line) used = sizeof line - 1;
  }
  std::snprintf(line + used, sizeof line - used, "%s\n", bsmod_service_text(b.bsmod));
  qelp::diag_out("%s", line);
}

}  // namespace ac3
