// The frame driver: one syncframe in, one 6144-byte PCM frame out, six audio blocks in between.
#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/stages.h"
#include "diagnostics.h"

namespace ac3 {

void decoder_reset(decoder& d) {
  std::memset(&d, 0, sizeof d);
  d.input.last_sync_end = UINT64_MAX;
  d.dither_position = 0;  // the register's state 1
  d.frame.pcm = d.pcm;
  arm_guards(d);
}

void decoder_init(decoder& d, const decoder_config& config) {
  d.config = config;
  bitstream_set_callback(d, config.fill, config.fill_user);
  arm_guards(d);
  d.frame.pcm = d.pcm;
}

void audblk_frame_begin(decoder& d) {
  // Delta bit allocation belongs to its frame: a frame that sends none in its first block uses none,
  // instead of segments left from an earlier frame or another file.
  audblk& ab = d.audblk;
  for (uint16_t& mode : ab.deltbae) mode = 2;
  ab.cpldeltbae = 2;
}

namespace {

// The most recent bsid a decoder of this syntax reads; higher ones (other than E-AC-3's, which the
// sync stage sets apart) belong to syntax it does not know.
constexpr uint16_t kLastAc3Bsid = 8;

// A frame whose CRC passed but which cannot be decoded: its bytes are used up.
decoded_frame* damaged_frame(decoder& d);

decoded_frame* give_up_frame(decoder& d) {
  d.error_flag = 0;
  std::memset(d.pcm, 0, sizeof d.pcm);
  d.frame.muted = 1;
  d.frame.samples_clipped = 0;
  return &d.frame;
}

decoded_frame* damaged_frame(decoder& d) {
  d.frame.kind = frame_kind::damaged;
  return give_up_frame(d);
}

}  // namespace

decoded_frame* decode_one_frame(decoder& d) {
  read_syncinfo(d);
  if (d.error_flag) {
    // The trace tells of frames that fail while decoding; a header scan reads the same frames silently.
    if (d.frame.kind == frame_kind::crc_failed) qelp::diag_err("** CRC failed - skipping frame **\n");
    return give_up_frame(d);
  }

  ++d.frame_counter;
  d.frame.sampling_rate = d.syncinfo.sampling_rate;

  read_bsi(d);
  if (d.bsi.bsid > kLastAc3Bsid) return damaged_frame(d);
  if (!d.banner_printed) {
    print_stream_banner(d.syncinfo, d.bsi);
    d.banner_printed = 1;
  }

  audblk_frame_begin(d);

  uint8_t* out = d.pcm;
  uint32_t clipped = 0;
  for (int block = 0; block < kBlocksPerFrame; ++block, out += kPcmBlockBytes) {
    const int slots = d.bsi.nfchans + d.bsi.lfeon;
    std::memset(d.coeffs, 0,
                sizeof(float) * kBins * static_cast<size_t>(slots <= kCoeffSlots ? slots : kCoeffSlots));
    read_audblk(d);
    expand_exponents(d);
    if (d.error_flag) return damaged_frame(d);
    allocate_bits(d);
    unpack_coefficients(d);
    if (d.error_flag) return damaged_frame(d);
    if (d.bsi.acmod == 2) rematrix_stereo(d);
    fold_down(d);
    inverse_transform(d);
    clipped += write_pcm(d, out);
    check_guards(d);
    if (d.error_flag) return damaged_frame(d);
  }
  d.frame.muted = 0;
  d.frame.samples_clipped = clipped;
  return &d.frame;
}

}  // namespace ac3
