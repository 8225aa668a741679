// Helpers for the codec tests: a synthetic programme signal written through the WAVE writer in a
// chosen format, ffmpeg and ffprobe as independent readers, and a signal-to-error measure.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace codec_test {

// Interleaved 16-bit stereo: a few tones gliding in pitch and level, different per channel, and a
// little noise, about -12 dBFS. frames are AC-3-sized frames of 1536 pairs.
std::vector<int16_t> programme(uint32_t rate, int frames);

// Writes samples through the writer with the offer of this short name to path. Returns "" or the
// failure text.
std::string write_wave(const std::string& short_name, uint32_t rate, const std::vector<int16_t>& samples,
                       const std::string& path);

// Runs a command and returns its standard output; status receives the exit status.
std::string run(const std::string& command, int* status);

// ffprobe's view of the first audio stream: codec_name, sample_rate, channels, duration, ...
std::map<std::string, std::string> probe(const std::string& path);

// Decodes with ffmpeg to interleaved 16-bit at the given channel count and rate.
std::vector<int16_t> decode(const std::string& path, int channels, uint32_t rate);

// Signal-to-error ratio in dB of test against ref (both interleaved with `channels`), after
// shifting test by the lag in [0, max_lag] frames that fits best. lag receives that shift.
double snr_db(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int channels, int max_lag,
              int* lag);

// The header's numbers: 46 + c bytes, fmt chunk 18 + c.
struct WaveHeader {
  uint32_t riff_size, fmt_size, data_size;
  uint16_t tag, channels, block_align, bits, extra_size;
  uint32_t rate, avg_bytes;
  std::vector<uint8_t> extra;
  uint64_t file_size;
  bool has_fact;          // a fact chunk between the fmt and the data chunk
  uint32_t fact_frames;   // its sample frames per channel
  uint32_t data_offset;   // where the data begin
};
WaveHeader read_header(const std::string& path);

}  // namespace codec_test
