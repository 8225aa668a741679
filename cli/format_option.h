// The --format option of qelp convert: a short format name (as `qelp formats` lists them) turned
// into a format chooser for the codec manager.
#pragma once

// Installs a chooser that picks the named format at every conversion (an empty name: the first
// format offered, 16-bit PCM). Returns 0, or prints one line naming the valid formats to stderr and
// returns 2 (a usage error) for an unknown name. A PCM name does not load the FFmpeg codec module.
int format_option_install(const char* value);

// What the chooser took last, for -v: "pcm16 (PCM, 48.000 kHz, 16 Bit, Stereo)"; "" before any.
const char* format_option_taken();

// True when the named format is one the normalizer can rewrite in place: PCM of 8 or 16 bits.
bool format_option_is_pcm(const char* value);

// Writes the names of the formats offered for 16-bit stereo at rate, comma-separated, into out.
void format_option_names(unsigned rate, char* out, unsigned long size);
