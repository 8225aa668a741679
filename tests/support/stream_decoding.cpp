#include "support/stream_decoding.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "ac3/bitstream.h"
#include "ac3/crc16.h"
#include "ac3/frame_size_table.h"
#include "ac3/stages.h"
#include "qelpsnd.h"

namespace accuracy {

namespace {

// Input fed to the decoder in 2047-byte chunks, zero-filled behind the stream's end.
constexpr size_t kChunk = 2047;

struct stream_feed {
  const std::vector<uint8_t>* stream = nullptr;
  size_t pos = 0;
  uint8_t chunk[kChunk];
  bool end = false;
  uint64_t real_bytes = 0;
};

int fill(void* user, uint8_t** start, uint8_t** end) {
  stream_feed& f = *static_cast<stream_feed*>(user);
  size_t n = 0;
  if (f.stream != nullptr && f.pos < f.stream->size()) {
    n = std::min(kChunk, f.stream->size() - f.pos);
    std::memcpy(f.chunk, f.stream->data() + f.pos, n);
    f.pos += n;
  }
  f.real_bytes += n;
  if (n < kChunk) {
    std::memset(f.chunk + n, 0, kChunk - n);
    f.end = true;
  }
  *start = f.chunk;
  *end = f.chunk + kChunk;
  return 0;
}

// The diagnostics of one decode; the sink is installed only while the stream is decoded.
void collect(int stream, const char* line, void* user) {
  if (stream == 2) *static_cast<std::string*>(user) += line;
}

// A decoder of its own for one stream, started as in a fresh process: overlap from silence, the
// dither generator at its first value.
struct stream_decoder {
  std::unique_ptr<ac3::decoder> d{new ac3::decoder};
  stream_feed feed;
  std::string diagnostics;

  stream_decoder(const std::vector<uint8_t>& stream, bool surround, int dual_mono_channel, bool portable_vectors) {
    feed.stream = &stream;
    qelpsnd_set_diagnostics(collect, &diagnostics);
    ac3::decoder_reset(*d);
    ac3::decoder_config config{0, fill, 2, static_cast<uint16_t>(dual_mono_channel), &feed};
    ac3::decoder_init(*d, config);
    d->surround_mode = surround ? 1 : 0;
    d->portable_vectors = portable_vectors ? 1 : 0;
  }
  ~stream_decoder() { qelpsnd_set_diagnostics(nullptr, nullptr); }

  bool input_used_up() const { return feed.end && ac3::input_bytes_consumed(*d) >= feed.real_bytes; }
};

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

our_output decode_stream(const std::vector<uint8_t>& stream, bool surround, int dual_mono_channel,
                         bool portable_vectors) {
  our_output out;
  stream_decoder sd(stream, surround, dual_mono_channel, portable_vectors);
  ac3::decoder& d = *sd.d;
  while (!sd.input_used_up()) {
    const ac3::decoded_frame* frame = ac3::decode_one_frame(d);
    if (ac3::last_sync_end(d) > sd.feed.real_bytes) break;  // a search that ran into the padding
    if (out.frames == 0) {
      out.acmod = d.bsi.acmod;
      out.lfeon = d.bsi.lfeon;
      out.cmixlev = d.bsi.cmixlev;
      out.surmixlev = d.bsi.surmixlev;
    }
    ++out.frames;
    const uint8_t* p = frame->pcm;
    for (int i = 0; i < ac3::kPcmFrameBytes; i += 2)
      out.pcm.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
  }
  out.diagnostics = sd.diagnostics;
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
  stream_decoder sd(stream, false, 0, false);
  ac3::decoder& d = *sd.d;
  for (const frame_span& f : list.frames) {
    ac3::read_syncinfo(d);
    if (d.error_flag) {
      result.error = "frame at " + std::to_string(f.offset) + " failed its check";
      break;
    }
    ac3::read_bsi(d);
    ac3::audblk_frame_begin(d);
    const int nfchans = d.bsi.nfchans;
    // bits_position counts from the byte after fscod/frmsizecod, the frame's sixth byte.
    const size_t body_bit = (f.offset + 5) * 8;
    for (int block = 0; block < ac3::kBlocksPerFrame && result.error.empty(); ++block) {
      std::memset(d.coeffs, 0, sizeof d.coeffs);
      // An audio block opens with blksw for each channel, then dithflag for each channel.
      const size_t block_bit = body_bit + static_cast<size_t>(ac3::bits_position(d));
      ac3::read_audblk(d);
      for (int ch = 0; ch < nfchans; ++ch) {
        const size_t bit = block_bit + static_cast<size_t>(nfchans + ch);
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
        const int value = (result.bytes[bit / 8] & mask) ? 1 : 0;
        if (value != d.audblk.dithflag[ch]) {
          result.error = "dithflag position mismatch in frame at " + std::to_string(f.offset);
          break;
        }
        ++result.dithflags_total;
        result.dithflags_set += static_cast<size_t>(value);
        result.bytes[bit / 8] &= static_cast<uint8_t>(~mask);
      }
      ac3::expand_exponents(d);
      ac3::allocate_bits(d);
      ac3::unpack_coefficients(d);
      if (d.error_flag) result.error = "block failed to parse in frame at " + std::to_string(f.offset);
    }
    if (!result.error.empty()) break;
    // crc2: the last two bytes, chosen so that the CRC over everything after the sync word is zero.
    uint8_t* frame = result.bytes.data() + f.offset;
    const uint16_t crc = ac3::crc16_update(0, frame + 2, static_cast<int>(f.size) - 4);
    frame[f.size - 2] = static_cast<uint8_t>(crc >> 8);
    frame[f.size - 1] = static_cast<uint8_t>(crc);
  }
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
