// What qelp says after a conversion: the summary line, the damage the input showed and the hint
// when the input does not look like a raw AC-3 stream at all.
#pragma once

#include <cstdint>
#include <string>

struct ConversionFacts {
  std::string in_name;             // as shown: a path, or "standard input"
  std::string out_name;            // a path, or "standard output"
  uint32_t frames = 0;             // PCM frames written, 1536 sample pairs each
  uint32_t sampling_rate = 0;      // Hz
  uint64_t output_bytes = 0;       // bytes of audio data written
  double elapsed_seconds = 0;      // wall time of the conversion
  uint64_t input_bytes = 0;        // bytes of input read
  uint32_t frames_muted = 0;       // frames that failed their checks and are silent
  int32_t first_muted_frame = -1;  // index of the first of them
  uint64_t bytes_skipped = 0;      // input bytes passed over before, between and after frames
  uint64_t bytes_after_last = 0;   // of those, the ones behind the last frame
  uint64_t samples_clipped = 0;    // by the fold-down
  uint32_t frames_other_rate = 0;  // of frames_muted, those at another rate than the file's
  uint32_t frames_eac3 = 0;        // E-AC-3 frames passed over, not decoded
};

// Damage: frames muted, E-AC-3 frames passed over, or bytes skipped before or between frames (where
// a frame whose sync word was lost, or the rest of a frame cut off, went missing). Bytes behind the
// last frame lose none.
bool input_damaged(const ConversionFacts& facts);

// "a.ac3 -> a.wav: 0:05.0 of audio, 0.9 MB in 0.1 s (52x real time)", followed by the damage
// text after "; " when there is damage.
std::string summary_line(const ConversionFacts& facts);

// "12 of 157 frames were damaged and are silent (first at 0:03.2); 5376 bytes skipped", or "".
// Frames at another sampling rate and E-AC-3 frames are named as such.
std::string damage_text(const ConversionFacts& facts);

// When more than half of the frames are muted or most bytes skipped: a hint that the input may
// not be a raw AC-3 stream and what to do; "" otherwise.
std::string not_raw_hint(const ConversionFacts& facts);

// A speed as a multiple of real time: "0.4x", "85x".
std::string speed_text(double times);

// "the fold-down clipped 48213 samples", or "" when it clipped none.
std::string fold_down_clip_text(const ConversionFacts& facts);
