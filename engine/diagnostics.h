// One printf-like routine for every diagnostic line of the engine and decoder, so that a host can
// redirect or silence them (qelpsnd_set_diagnostics). By default they go to stdout and stderr.
#pragma once

namespace qelp {

void diag_out(const char* format, ...) __attribute__((format(printf, 1, 2)));
void diag_err(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A writer's audio goes to the standard output from claim to release: meanwhile the lines meant for
// it go to standard error instead, when no sink is installed. Claims from several writers add up.
void diag_standard_output_claim();
void diag_standard_output_release();

// While the standard output carries audio (busy), lines meant for it go to standard error instead
// when no sink is installed.
void diag_standard_output_busy(bool busy);

}  // namespace qelp
