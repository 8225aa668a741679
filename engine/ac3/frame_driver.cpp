// The frame driver: one syncframe in, one 6144-byte PCM frame out, six audio blocks in between.
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/stages.h"

namespace ac3 {

decoder_config g_config;
syncinfo g_syncinfo;
bsi g_bsi;
audblk g_audblk;
coeff_buffer_t coeff_buffer;
decoded_frame g_decoded_frame;
uint8_t g_pcm_frame[kPcmFrameBytes];
int32_t error_flag;
int32_t frame_counter;
int32_t banner_printed;
int32_t surround_mode;

void decoder_init(const decoder_config& config) {
  g_config = config;
  bitstream_set_callback(config.fill);
  imdct_tables_build();
  arm_guards(g_syncinfo, g_bsi, g_audblk);
  g_decoded_frame.pcm = g_pcm_frame;
}

void audblk_frame_begin(audblk& ab) {
  // Delta bit allocation belongs to its frame: a frame that sends none in its first block uses none,
  // instead of segments left from an earlier frame or another file.
  for (uint16_t& mode : ab.deltbae) mode = 2;
  ab.cpldeltbae = 2;
}

namespace {

decoded_frame* give_up_frame() {
  error_flag = 0;
  std::memset(g_pcm_frame, 0, sizeof g_pcm_frame);
  g_decoded_frame.muted = 1;
  g_decoded_frame.samples_clipped = 0;
  return &g_decoded_frame;
}

}  // namespace

decoded_frame* decode_one_frame() {
  read_syncinfo(g_syncinfo);
  if (error_flag) return give_up_frame();

  ++frame_counter;
  g_decoded_frame.sampling_rate = g_syncinfo.sampling_rate;

  read_bsi(g_bsi);
  if (!banner_printed) {
    print_stream_banner(g_syncinfo, g_bsi);
    banner_printed = 1;
  }

  audblk_frame_begin(g_audblk);

  uint8_t* out = g_pcm_frame;
  uint32_t clipped = 0;
  for (int block = 0; block < kBlocksPerFrame; ++block, out += kPcmBlockBytes) {
    const int slots = g_bsi.nfchans + g_bsi.lfeon;
    std::memset(coeff_buffer, 0, sizeof(float) * kBins * static_cast<size_t>(slots <= kCoeffSlots ? slots : kCoeffSlots));
    read_audblk(g_bsi, g_audblk);
    expand_exponents(g_bsi, g_audblk);
    if (error_flag) return give_up_frame();
    allocate_bits(g_syncinfo.fscod, g_bsi, g_audblk);
    unpack_coefficients(g_bsi, g_audblk, coeff_buffer);
    if (error_flag) return give_up_frame();
    if (g_bsi.acmod == 2) rematrix_stereo(g_audblk, coeff_buffer);
    inverse_transform(g_bsi, g_audblk, coeff_buffer);
    clipped += mix_to_stereo(g_bsi, coeff_buffer, out);
    check_guards(g_syncinfo, g_bsi, g_audblk);
    if (error_flag) return give_up_frame();
  }
  g_decoded_frame.muted = 0;
  g_decoded_frame.samples_clipped = clipped;
  return &g_decoded_frame;
}

}  // namespace ac3
