#include "support/stream_decoding.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "qelpsnd.h"
#include "support/decoder_reset.h"

namespace accuracy {

namespace {

// Input fed to the decoder in 2047-byte chunks, zero-filled behind the stream's end.
constexpr size_t kChunk = 2047;
const std::vector<uint8_t>* g_stream = nullptr;
size_t g_pos = 0;
uint8_t g_chunk[kChunk];
bool g_end = false;
uint64_t g_real_bytes = 0;

int fill(uint8_t** start, uint8_t** end) {
  size_t n = 0;
  if (g_stream != nullptr && g_pos < g_stream->size()) {
    n = std::min(kChunk, g_stream->size() - g_pos);
    std::memcpy(g_chunk, g_stream->data() + g_pos, n);
    g_pos += n;
  }
  g_real_bytes += n;
  if (n < kChunk) {
    std::memset(g_chunk + n, 0, kChunk - n);
    g_end = true;
  }
  *start = g_chunk;
  *end = g_chunk + kChunk;
  return 0;
}

std::string g_diagnostics;
void collect(int stream, const char* line, void*) {
  if (stream == 2) g_diagnostics += line;
}

// What the decoder was fed from before, given back when the stream is done, so that an engine in
// the same process goes on reading its own input.
ac3::fill_callback g_previous_fill = nullptr;

void start_decoder(const std::vector<uint8_t>& stream, bool surround, int dual_mono_channel) {
  g_previous_fill = ac3::bitstream_callback();
  g_stream = &stream;
  g_pos = 0;
  g_end = false;
  g_diagnostics.clear();
  qelpsnd_set_diagnostics(collect, nullptr);
  ac3::chunk_discard();
  g_real_bytes = ac3::input_bytes_consumed();
  // Each stream starts as in a fresh process: overlap from silence, the dither generator at its
  // first value.
  qelp_test::decoder_state_reset();
  ac3::error_flag = 0;
  ac3::surround_mode = surround ? 1 : 0;
  ac3::decoder_config config{0, fill, 2, static_cast<uint16_t>(dual_mono_channel)};
  ac3::decoder_init(config);
}

void stop_decoder() {
  qelpsnd_set_diagnostics(nullptr, nullptr);
  ac3::surround_mode = 0;
  g_stream = nullptr;
  ac3::chunk_discard();
  ac3::bitstream_set_callback(g_previous_fill);
}

bool input_used_up() { return g_end && ac3::input_bytes_consumed() >= g_real_bytes; }

}  // namespace

frame_list split_frames(const std::vector<uint8_t>& s) {
  frame_list list;
  size_t pos = 0;
  while (pos + 5 <= s.size() && s[pos] == 0x0B && s[pos + 1] == 0x77) {
    const int fscod = s[pos + 4] >> 6;
    const int frmsizecod = s[pos + 4] & 0x3f;
    if (fscod == 3 || frmsizecod >= ac3::kFrameSizeCodes) return list;
    const size_t size = 2u * ac3::frame_size_table[frmsizecod].words[fscod];
    if (pos + size > s.size()) return list;
    list.frames.push_back({pos, size});
    pos += size;
  }
  for (; pos < s.size(); ++pos)
    if (s[pos] != 0) return list;
  list.ok = !list.frames.empty();
  return list;
}

our_output decode_stream(const std::vector<uint8_t>& stream, bool surround, int dual_mono_channel) {
  our_output out;
  start_decoder(stream, surround, dual_mono_channel);
  while (!input_used_up()) {
    const ac3::decoded_frame* frame = ac3::decode_one_frame();
    if (ac3::last_sync_end() > g_real_bytes) break;  // a search that ran into the padding
    if (out.frames == 0) {
      out.acmod = ac3::g_bsi.acmod;
      out.lfeon = ac3::g_bsi.lfeon;
      out.cmixlev = ac3::g_bsi.cmixlev;
      out.surmixlev = ac3::g_bsi.surmixlev;
    }
    ++out.frames;
    const uint8_t* p = frame->pcm;
    for (int i = 0; i < ac3::kPcmFrameBytes; i += 2)
      out.pcm.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
  }
  out.diagnostics = g_diagnostics;
  stop_decoder();
  return out;
}

dither_free_stream clear_dither(const std::vector<uint8_t>& stream) {
  dither_free_stream result;
  const frame_list list = split_frames(stream);
  if (!list.ok) {
    result.error = "not a clean sequence of frames";
    return result;
  }
  result.bytes = stream;
  start_decoder(stream, false, 0);
  for (const frame_span& f : list.frames) {
    ac3::read_syncinfo(ac3::g_syncinfo);
    if (ac3::error_flag) {
      result.error = "frame at " + std::to_string(f.offset) + " failed its check";
      break;
    }
    ac3::read_bsi(ac3::g_bsi);
    ac3::audblk_frame_begin(ac3::g_audblk);
    const int nfchans = ac3::g_bsi.nfchans;
    // bits_position counts from the byte after fscod/frmsizecod, the frame's sixth byte.
    const size_t body_bit = (f.offset + 5) * 8;
    for (int block = 0; block < ac3::kBlocksPerFrame && result.error.empty(); ++block) {
      std::memset(ac3::coeff_buffer, 0, sizeof ac3::coeff_buffer);
      // An audio block opens with blksw for each channel, then dithflag for each channel.
      const size_t block_bit = body_bit + static_cast<size_t>(ac3::bits_position());
      ac3::read_audblk(ac3::g_bsi, ac3::g_audblk);
      for (int ch = 0; ch < nfchans; ++ch) {
        const size_t bit = block_bit + static_cast<size_t>(nfchans + ch);
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
        const int value = (result.bytes[bit / 8] & mask) ? 1 : 0;
        if (value != ac3::g_audblk.dithflag[ch]) {
          result.error = "dithflag position mismatch in frame at " + std::to_string(f.offset);
          break;
        }
        ++result.dithflags_total;
        result.dithflags_set += static_cast<size_t>(value);
        result.bytes[bit / 8] &= static_cast<uint8_t>(~mask);
      }
      ac3::expand_exponents(ac3::g_bsi, ac3::g_audblk);
      ac3::allocate_bits(ac3::g_syncinfo.fscod, ac3::g_bsi, ac3::g_audblk);
      ac3::unpack_coefficients(ac3::g_bsi, ac3::g_audblk, ac3::coeff_buffer);
      if (ac3::error_flag) result.error = "block failed to parse in frame at " + std::to_string(f.offset);
    }
    if (!result.error.empty()) break;
    // crc2: the last two bytes, chosen so that the CRC over everything after the sync word is zero.
    uint8_t* frame = result.bytes.data() + f.offset;
    ac3::crc16_reset();
    ac3::crc16_block(frame + 2, static_cast<int>(f.size) - 4);
    const uint16_t crc = ac3::crc16_value();
    frame[f.size - 2] = static_cast<uint8_t>(crc >> 8);
    frame[f.size - 1] = static_cast<uint8_t>(crc);
  }
  ac3::error_flag = 0;
  stop_decoder();
  return result;
}

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace accuracy
