// FFmpeg as an independent reference decoder, run as a command: dynamic range compression off,
// every channel kept separate as 32-bit float. Also our fold-down matrix, written out here from
// the fold-down tables, to fold the reference's channels the way our decoder should.
#pragma once

#include <string>
#include <vector>

namespace accuracy {

struct reference_output {
  std::vector<std::string> channel_names;  // FFmpeg's names in its order: FL, FR, FC, LFE, ...
  std::vector<std::vector<float>> channels;
  std::string error;  // empty when FFmpeg ran and its output made sense
};

// Decodes path with `ffmpeg -drc_scale 0`; work_dir takes the raw output.
reference_output decode_with_ffmpeg(const std::string& path, const std::string& work_dir);

// Left and right at full scale 1.0, folded by acmod with the stream's mix levels (normal) or
// surround-compatibly. The LFE is left out. `error` when a channel the mode needs is missing.
struct folded {
  std::vector<double> left, right;
  std::string error;
};
folded fold_reference(const reference_output& ref, int acmod, int cmixlev, int surmixlev, bool surround,
                      int dual_mono_channel = 0);

}  // namespace accuracy
