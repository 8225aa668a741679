#include "ffmpeg_reference.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "support/stream_decoding.h"

namespace accuracy {

namespace {

std::string run_capture(const std::string& command, int* status) {
  std::string output;
  std::FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *status = -1;
    return output;
  }
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  *status = pclose(p);
  return output;
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Channel names of an FFmpeg layout as ffprobe prints it: a named layout or "N channels (A+B+...)".
std::vector<std::string> layout_names(std::string layout) {
  static const std::map<std::string, std::vector<std::string>> named = {
      {"mono", {"FC"}},
      {"stereo", {"FL", "FR"}},
      {"2.1", {"FL", "FR", "LFE"}},
      {"3.0", {"FL", "FR", "FC"}},
      {"3.0(back)", {"FL", "FR", "BC"}},
      {"3.1", {"FL", "FR", "FC", "LFE"}},
      {"4.0", {"FL", "FR", "FC", "BC"}},
      {"4.1", {"FL", "FR", "FC", "LFE", "BC"}},
      {"quad", {"FL", "FR", "BL", "BR"}},
      {"quad(side)", {"FL", "FR", "SL", "SR"}},
      {"5.0", {"FL", "FR", "FC", "BL", "BR"}},
      {"5.0(side)", {"FL", "FR", "FC", "SL", "SR"}},
      {"5.1", {"FL", "FR", "FC", "LFE", "BL", "BR"}},
      {"5.1(side)", {"FL", "FR", "FC", "LFE", "SL", "SR"}},
  };
  while (!layout.empty() && (layout.back() == '\n' || layout.back() == '\r' || layout.back() == ' '))
    layout.pop_back();
  auto it = named.find(layout);
  if (it != named.end()) return it->second;
  std::vector<std::string> names;
  const size_t open = layout.find('(');
  const size_t close = layout.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return names;
  std::string list = layout.substr(open + 1, close - open - 1);
  size_t start = 0;
  while (start <= list.size()) {
    size_t plus = list.find('+', start);
    if (plus == std::string::npos) plus = list.size();
    names.push_back(list.substr(start, plus - start));
    start = plus + 1;
  }
  return names;
}

}  // namespace

reference_output decode_with_ffmpeg(const std::string& path, const std::string& work_dir) {
  reference_output ref;
  int status = 0;
  const std::string layout =
      run_capture("ffprobe -v error -select_streams a:0 -show_entries stream=channel_layout -of csv=p=0 " +
                      quoted(path) + " 2>&1",
                  &status);
  if (status != 0) {
    ref.error = "ffprobe failed (is ffmpeg installed?): " + layout;
    return ref;
  }
  ref.channel_names = layout_names(layout);
  if (ref.channel_names.empty()) {
    ref.error = "unknown channel layout '" + layout + "'";
    return ref;
  }
  const std::string raw = work_dir + "/reference.f32";
  const std::string log = run_capture("ffmpeg -nostdin -hide_banner -loglevel error -y -drc_scale 0 -i " +
                                          quoted(path) + " -f f32le -c:a pcm_f32le " + quoted(raw) + " 2>&1",
                                      &status);
  if (status != 0) {
    ref.error = "ffmpeg failed (is it installed?): " + log;
    return ref;
  }
  const std::vector<uint8_t> bytes = read_file(raw);
  const size_t count = ref.channel_names.size();
  const size_t samples = bytes.size() / (4 * count);
  if (bytes.size() != samples * 4 * count) {
    ref.error = "ffmpeg output is not whole sample frames";
    return ref;
  }
  ref.channels.assign(count, std::vector<float>(samples));
  for (size_t i = 0; i < samples; ++i)
    for (size_t ch = 0; ch < count; ++ch) std::memcpy(&ref.channels[ch][i], &bytes[(i * count + ch) * 4], 4);
  return ref;
}

folded fold_reference(const reference_output& ref, int acmod, int cmixlev, int surmixlev, bool surround,
                      int dual_mono_channel) {
  folded out;
  auto find = [&](std::initializer_list<const char*> names) -> const std::vector<float>* {
    for (const char* name : names)
      for (size_t i = 0; i < ref.channel_names.size(); ++i)
        if (ref.channel_names[i] == name) return &ref.channels[i];
    return nullptr;
  };
  struct term {
    const std::vector<float>* channel;
    double left, right;
  };
  std::vector<term> terms;
  const std::vector<float>* L = find({"FL"});
  const std::vector<float>* R = find({"FR"});
  const std::vector<float>* C = find({"FC"});
  const std::vector<float>* S = find({"BC"});
  const std::vector<float>* Ls = find({"SL", "BL"});
  const std::vector<float>* Rs = find({"SR", "BR"});
  const double clev[4] = {0.2928, 0.2468, 0.2071, 0.2468};
  const double slev[4] = {0.2928, 0.2071, 0.0, 0.2071};
  const double centre_k[4] = {0.707, 0.596, 0.5, 0.596};
  const double c = clev[cmixlev & 3], s = slev[surmixlev & 3];
  switch (acmod) {
    case 0: {
      const std::vector<float>* ch = dual_mono_channel ? R : L;  // Ch1, Ch2 arrive as FL, FR
      terms = {{ch, 0.7071, 0.7071}};
      break;
    }
    case 1:
      terms = {{C, 0.7071, 0.7071}};
      break;
    case 2:
      terms = {{L, 1, 0}, {R, 0, 1}};
      break;
    case 3:
      if (surround)
        terms = {{L, 0.5858, 0},
                 {R, 0, 0.5858},
                 {C, 0.5858 * centre_k[cmixlev & 3], 0.5858 * centre_k[cmixlev & 3]}};
      else
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {C, c, c}};
      break;
    case 4:
      if (surround)
        terms = {{L, 0.5858, 0}, {R, 0, 0.5858}, {S, -0.4142, 0.4142}};
      else
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {S, s, s}};
      break;
    case 5:
      if (surround)
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {C, 0.2928, 0.2928}, {S, -0.2928, 0.2928}};
      else
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {C, c, c}, {S, s, s}};
      break;
    case 6:
      if (surround)
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {Ls, -0.2928, 0.2928}, {Rs, -0.2928, 0.2928}};
      else
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {Ls, s, 0}, {Rs, 0, s}};
      break;
    case 7:
      if (surround)
        terms = {{L, 0.3204, 0},
                 {R, 0, 0.3204},
                 {C, 0.2265, 0.2265},
                 {Ls, -0.2265, 0.2265},
                 {Rs, -0.2265, 0.2265}};
      else
        terms = {{L, 0.4142, 0}, {R, 0, 0.4142}, {C, c, c}, {Ls, s, 0}, {Rs, 0, s}};
      break;
    default:
      out.error = "acmod out of range";
      return out;
  }
  for (const term& t : terms) {
    if (t.channel == nullptr) {
      out.error = "the reference lacks a channel that acmod " + std::to_string(acmod) + " carries";
      return out;
    }
  }
  const size_t n = terms[0].channel->size();
  out.left.assign(n, 0.0);
  out.right.assign(n, 0.0);
  for (const term& t : terms)
    for (size_t i = 0; i < n; ++i) {
      out.left[i] += t.left * (*t.channel)[i];
      out.right[i] += t.right * (*t.channel)[i];
    }
  return out;
}

}  // namespace accuracy
