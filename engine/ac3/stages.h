// The stages the frame driver runs for each frame and audio block, in order.
#pragma once

#include <cstdint>

#include "ac3/decoder_state.h"

namespace ac3 {

// Sync search, syncinfo and CRC over the whole frame; loads the frame body for bits_take.
void read_syncinfo(syncinfo& si);

// What an audio block of a new frame starts from: no delta bit allocation unless the frame sends
// some (each frame decodes on its own, whatever came before it).
void audblk_frame_begin(audblk& ab);

// Bit stream information and audio block side information.
void read_bsi(bsi& b);
void read_audblk(const bsi& b, audblk& ab);
void print_stream_banner(const syncinfo& si, const bsi& b);

// Exponents and bit allocation.
void expand_exponents(const bsi& b, audblk& ab);
void allocate_bits(uint16_t fscod, const bsi& b, audblk& ab);

// Mantissas, coupling and rematrixing into coeff_buffer.
void unpack_coefficients(const bsi& b, audblk& ab, coeff_buffer_t& coeffs);
void rematrix_stereo(const audblk& ab, coeff_buffer_t& coeffs);

// Inverse transform with windowing and overlap-add, in place in coeff_buffer.
void imdct_tables_build();
void inverse_transform(const bsi& b, const audblk& ab, coeff_buffer_t& coeffs);

// Fold-down to 16-bit stereo and the consistency checks after each block. mix_to_stereo returns
// how many of the block's 512 samples lay beyond full scale and were limited to it.
uint32_t mix_to_stereo(const bsi& b, const coeff_buffer_t& coeffs, uint8_t* out);
void arm_guards(syncinfo& si, bsi& b, audblk& ab);
void check_guards(const syncinfo& si, const bsi& b, const audblk& ab);

}  // namespace ac3
