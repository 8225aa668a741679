// The signals that stop qelp's work: SIGINT (Ctrl-C), SIGTERM, SIGHUP (the terminal went away) and
// SIGPIPE (the reader of the standard output went away) all ask for the same orderly stop, so that
// the file being written is closed with a valid header and a normalization stops at a block
// boundary with its journal current. SIGXFSZ is ignored, so that a file reaching the process's
// size limit fails its write ("File too large") and is closed like any other write failure. The
// handlers do not restart interrupted system calls: a read from a pipe that waits for a writer
// ends at the signal instead of waiting on.
#pragma once

// Installs the handlers (once per process is enough; again does no harm).
void install_stop_signals();

// True once one of the stop signals has arrived.
bool stop_requested();
