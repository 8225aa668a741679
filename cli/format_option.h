// --format: installs a format chooser that picks the named output format.
#pragma once

// 0 when a chooser for the format was installed; else prints one line to stderr and returns 2.
int format_option_install(const char* value);

// True when the named format is a PCM format (the normalizer works on PCM only).
bool format_option_is_pcm(const char* value);
