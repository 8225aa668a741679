// Test-side helpers around our decoder: decode a whole stream held in memory, split a stream into
// its frames, and rewrite a stream with every dithflag bit cleared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace accuracy {

struct frame_span {
  size_t offset;  // of the sync word
  size_t size;    // bytes
};

// The frames of a clean stream, back to back from its start. Zero padding after the last frame is
// allowed; anything else that is not a frame leaves `ok` false.
struct frame_list {
  std::vector<frame_span> frames;
  bool ok = false;
};
frame_list split_frames(const std::vector<uint8_t>& stream);

// What our decoder made of a stream: 16-bit stereo interleaved, and the stream's coding mode.
struct our_output {
  std::vector<int16_t> pcm;
  size_t frames = 0;
  int acmod = -1, lfeon = 0, cmixlev = 0, surmixlev = 0;
  std::string diagnostics;  // what the decoder printed on its error stream
};
// Decodes with a decoder of its own, reset as the engine's is for every conversion, fed in 2047-byte
// chunks as the engine feeds it, until the stream's bytes are used up. With portable_vectors the
// decoder runs the portable form of its transform even where the SSE2 form is built.
our_output decode_stream(const std::vector<uint8_t>& stream, bool surround, int dual_mono_channel = 0,
                         bool portable_vectors = false);

// The forms of the decoder's vector code (transform, 16-bit output) a build can decode with, by
// name: "native" (SSE2 where built) and "portable".
struct vector_choice {
  const char* name;
  bool portable;
};
inline constexpr vector_choice kVectorChoices[] = {{"native", false}, {"portable", true}};

// The stream with every dithflag bit cleared and each frame's crc2 recomputed so that the CRC over
// the frame after the sync word is zero again. crc1 is left as it is: the frame check does not
// test it alone. Positions come from our parser; `error` says what went wrong, if anything.
struct dither_free_stream {
  std::vector<uint8_t> bytes;
  size_t dithflags_total = 0;  // dithflag fields in the stream
  size_t dithflags_set = 0;    // of those, how many were 1
  std::string error;
};
dither_free_stream clear_dither(const std::vector<uint8_t>& stream);

std::vector<uint8_t> read_file(const std::string& path);
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace accuracy
