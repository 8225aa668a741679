// The stages the frame driver runs for each frame and audio block, in order. Each takes the
// decoder's state and reads and writes its records there.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Sync search, syncinfo and CRC over the whole frame; loads the frame body for bits_take.
void read_syncinfo(decoder& d);

// What an audio block of a new frame starts from: no delta bit allocation unless the frame sends
// some (each frame decodes on its own, whatever came before it).
void audblk_frame_begin(decoder& d);

// Bit stream information and audio block side information.
void read_bsi(decoder& d);
void read_audblk(decoder& d);
void print_stream_banner(const syncinfo& si, const bsi& b);

// Exponents and bit allocation.
void expand_exponents(decoder& d);
void allocate_bits(decoder& d);

// Mantissas, coupling and rematrixing into the coefficient buffer.
void unpack_coefficients(decoder& d);
void rematrix_stereo(decoder& d);

// Fold-down of the channels' coefficients to the outputs, normal or surround-compatible.
void fold_down(decoder& d);

// Inverse transform of each output's folded coefficients, with windowing and overlap-add.
void inverse_transform(decoder& d);

// The outputs' samples to 16-bit stereo pairs, saturated at full scale; returns how many of the
// block's 512 samples lay at or beyond full scale and were limited to it. Then the consistency
// checks.
uint32_t write_pcm(decoder& d, uint8_t* out);
void arm_guards(decoder& d);
void check_guards(decoder& d);

}  // namespace ac3
