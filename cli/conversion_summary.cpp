#include "conversion_summary.h"

#include <cstdio>

#include "progress_bar.h"

namespace {

std::string plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string elapsed_text(double seconds) {
  if (seconds >= 60) return format_duration(seconds);
  char text[32];
  if (seconds < 1) {
    std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
  } else {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  }
  return text;
}

}  // namespace

std::string speed_text(double times) {
  char text[32];
  std::snprintf(text, sizeof text, times < 10 ? "%.1fx" : "%.0fx", times);
  return text;
}

bool input_damaged(const ConversionFacts& f) {
  return f.frames_muted != 0 || f.frames_eac3 != 0 || f.bytes_skipped > f.bytes_after_last;
}

std::string summary_line(const ConversionFacts& f) {
  const double audio = f.sampling_rate != 0 ? f.frames * 1536.0 / f.sampling_rate : 0.0;
  char text[256];
  std::snprintf(text, sizeof text, "%s of audio, %.1f MB in %s", format_time(audio).c_str(),
                f.output_bytes / 1048576.0, elapsed_text(f.elapsed_seconds).c_str());
  std::string line = f.in_name + " -> " + f.out_name + ": " + text;
  if (f.elapsed_seconds > 0 && audio > 0) line += " (" + speed_text(audio / f.elapsed_seconds) + " real time)";
  const std::string damage = damage_text(f);
  if (!damage.empty()) line += "; " + damage;
  return line;
}

std::string damage_text(const ConversionFacts& f) {
  std::string text;
  const uint32_t damaged =
      f.frames_muted - (f.frames_other_rate < f.frames_muted ? f.frames_other_rate : f.frames_muted);
  if (damaged != 0) {
    text = std::to_string(damaged) + " of " + plural(f.frames, "frame", "frames") +
           (damaged == 1 ? " was damaged and is silent" : " were damaged and are silent");
    if (f.first_muted_frame >= 0 && f.sampling_rate != 0 && f.frames_other_rate == 0) {
      text += " (first at " + format_time(f.first_muted_frame * 1536.0 / f.sampling_rate) + ")";
    }
  }
  if (f.frames_other_rate != 0) {
    if (!text.empty()) text += "; ";
    text += std::to_string(f.frames_other_rate) + " of " + plural(f.frames, "frame", "frames") +
            (f.frames_other_rate == 1 ? " is" : " are") + " at another sampling rate than the file's " +
            std::to_string(f.sampling_rate) + " Hz and " + (f.frames_other_rate == 1 ? "is" : "are") +
            " silent";
    if (f.first_muted_frame >= 0 && f.sampling_rate != 0 && damaged == 0) {
      text += " (first at " + format_time(f.first_muted_frame * 1536.0 / f.sampling_rate) + ")";
    }
  }
  if (f.frames_eac3 != 0) {
    if (!text.empty()) text += "; ";
    text += plural(f.frames_eac3, "E-AC-3 frame", "E-AC-3 frames") + " passed over (E-AC-3 is not decoded)";
  }
  if (f.bytes_skipped != 0) {
    if (!text.empty()) text += "; ";
    text += plural(f.bytes_skipped, "byte", "bytes") +
            (f.bytes_skipped == f.bytes_after_last ? " after the last frame skipped" : " skipped");
  }
  return text;
}

std::string not_raw_hint(const ConversionFacts& f) {
  const bool most_muted = f.frames != 0 && uint64_t{f.frames_muted} * 2 > f.frames;
  const bool most_skipped = f.input_bytes != 0 && f.bytes_skipped * 2 > f.input_bytes;
  if (!most_muted && !most_skipped) return std::string();
  // Containers that qelp recognises never get here; one it does not, or a badly damaged file, does.
  return f.in_name + " may not be a raw AC-3 stream: " +
         (most_skipped ? "most of its bytes are not AC-3 frames" : "most of its frames are damaged") +
         " (a damaged file, or a container qelp does not recognise: then take the AC-3 track out first, "
         "e.g. with ffmpeg -i IN -map 0:a:0 -c copy OUT.ac3)";
}

std::string fold_down_clip_text(const ConversionFacts& f) {
  if (f.samples_clipped == 0) return std::string();
  return "the fold-down clipped " + plural(f.samples_clipped, "sample", "samples");
}
