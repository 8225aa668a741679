#include "support/ac3_streams.h"

#include <cstring>

#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"

namespace qelp_test {

std::vector<FrameSpan> split_frames(const std::vector<uint8_t>& stream) {
  std::vector<FrameSpan> frames;
  size_t pos = 0;
  while (pos + 5 <= stream.size()) {
    if (stream[pos] != 0x0B || stream[pos + 1] != 0x77) break;
    const int fscod = stream[pos + 4] >> 6;
    const int frmsizecod = stream[pos + 4] & 0x3f;
    if (fscod == 3 || frmsizecod >= ac3::kFrameSizeCodes) return {};
    const size_t size = 2u * ac3::frame_size_table[frmsizecod].words[fscod];
    if (pos + size > stream.size()) break;
    frames.push_back({pos, size});
    pos += size;
  }
  for (size_t i = pos; i < stream.size(); ++i) {
    if (stream[i] != 0) return {};
  }
  return frames;
}

namespace {

const std::vector<uint8_t>* g_stream = nullptr;
size_t g_pos = 0;
uint8_t g_zeros[2047];

int stream_fill(uint8_t** start, uint8_t** end) {
  if (g_pos >= g_stream->size()) {
    *start = g_zeros;
    *end = g_zeros + sizeof g_zeros;
    return 0;
  }
  size_t n = std::min<size_t>(2047, g_stream->size() - g_pos);
  *start = const_cast<uint8_t*>(g_stream->data()) + g_pos;
  *end = *start + n;
  g_pos += n;
  return 0;
}

}  // namespace

std::vector<uint8_t> without_dither(const std::vector<uint8_t>& stream) {
  const std::vector<FrameSpan> frames = split_frames(stream);
  if (frames.empty()) return {};
  std::vector<uint8_t> out = stream;
  g_stream = &stream;
  g_pos = 0;
  const ac3::fill_callback previous = ac3::bitstream_callback();
  ac3::bitstream_set_callback(stream_fill);
  ac3::chunk_discard();
  bool ok = true;
  for (const FrameSpan& f : frames) {
    ac3::read_syncinfo(ac3::g_syncinfo);
    if (ac3::error_flag) {
      ok = false;
      break;
    }
    ac3::read_bsi(ac3::g_bsi);
    const int nfchans = ac3::g_bsi.nfchans;
    const size_t body_bit = (f.offset + 5) * 8;  // bits_position counts from the frame's sixth byte
    for (int block = 0; block < ac3::kBlocksPerFrame && ok; ++block) {
      // An audio block opens with blksw for each channel, then dithflag for each channel.
      const size_t block_bit = body_bit + static_cast<size_t>(ac3::bits_position());
      ac3::read_audblk(ac3::g_bsi, ac3::g_audblk);
      for (int ch = 0; ch < nfchans; ++ch) {
        const size_t bit = block_bit + static_cast<size_t>(nfchans + ch);
        out[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8)));
      }
      ac3::expand_exponents(ac3::g_bsi, ac3::g_audblk);
      ac3::allocate_bits(ac3::g_syncinfo.fscod, ac3::g_bsi, ac3::g_audblk);
      ac3::unpack_coefficients(ac3::g_bsi, ac3::g_audblk, ac3::coeff_buffer);
      if (ac3::error_flag) ok = false;
    }
    if (!ok) break;
    // crc2, the frame's last two bytes: the CRC over everything after the sync word becomes zero.
    const uint16_t crc = ac3::crc16_update(0, out.data() + f.offset + 2, static_cast<int>(f.size) - 4);
    out[f.offset + f.size - 2] = static_cast<uint8_t>(crc >> 8);
    out[f.offset + f.size - 1] = static_cast<uint8_t>(crc);
  }
  ac3::error_flag = 0;
  ac3::chunk_discard();
  ac3::bitstream_set_callback(previous);
  if (!ok) return {};
  return out;
}

}  // namespace qelp_test
