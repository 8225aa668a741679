// Decoder-wide state shared by the stages. All of it is static storage, zero at library load.
#pragma once

#include <cstdint>

#include "ac3/decoder.h"
#include "ac3/records.h"

namespace ac3 {

// Time-domain or frequency-domain samples: slots 0..4 full-bandwidth channels in stream order,
// slot 5 the LFE channel.
using coeff_buffer_t = float[kCoeffSlots][kBins];

extern decoder_config g_config;
extern syncinfo g_syncinfo;
extern bsi g_bsi;
extern audblk g_audblk;
extern coeff_buffer_t coeff_buffer;
extern decoded_frame g_decoded_frame;
extern uint8_t g_pcm_frame[kPcmFrameBytes];

extern int32_t error_flag;       // the current frame is bad; cleared when the frame is given up
extern int32_t frame_counter;    // frames begun since load
extern int32_t banner_printed;   // the stream banner has been printed (once per library load)

}  // namespace ac3
