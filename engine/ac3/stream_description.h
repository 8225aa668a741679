// Texts that describe an AC-3 stream: channel layout, service kind and language, as the stream
// banner and `qelp info` show them.
#pragma once

#include <cstddef>

namespace ac3 {

// Channel layout of an audio coding mode: "1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2";
// "?" outside 0..7.
const char* acmod_layout_text(int acmod);

// The layout with the LFE channel when lfeon is set ("3/2 + LFE"), written into buf
// (NUL-terminated, truncated to size) and returned.
const char* channel_layout_text(int acmod, int lfeon, char* buf, size_t size);

// The service text for bsmod 0..7 ("Complete Main Audio Service", ...); "?" outside 0..7.
const char* bsmod_service_text(int bsmod);

// The language name for langcod 0..127 ("unknown", "English", ...; unnamed codes as "0x2c"),
// written into buf (NUL-terminated, truncated to size) and returned; "?" for codes 128 and above.
const char* language_text(int langcod, char* buf, size_t size);

}  // namespace ac3
