// Writes the decoder targets' seeds into a folder: two frames of every kind the test-side frame
// writer makes (both CRCs right), and frames cut from every fixture, each followed by the settings
// byte the targets read (harness/decoder_run.h). Usage: fuzz_seed_writer FIXTURE_DIR OUT_DIR.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "harness/decoder_run.h"
#include "support/ac3_frame_kinds.h"
#include "support/ac3_frame_writer.h"
#include "support/decoder_feed.h"

namespace {

using bytes = std::vector<uint8_t>;

void write_seed(const std::string& path, bytes stream, const fuzz_harness::decode_settings& settings) {
  stream.push_back(fuzz_harness::settings_byte(settings));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The syncframes of a stream: each sync word with a valid header starts a frame of its size; what
// lies between frames is skipped.
std::vector<bytes> cut_frames(const bytes& stream) {
  std::vector<bytes> frames;
  size_t p = 0;
  while (p + 5 <= stream.size()) {
    if (stream[p] != 0x0B || stream[p + 1] != 0x77) {
      ++p;
      continue;
    }
    const int fscod = stream[p + 4] >> 6, frmsizecod = stream[p + 4] & 0x3f;
    if (fscod == 3 || frmsizecod > 37) {
      ++p;
      continue;
    }
    const size_t size = 2 * static_cast<size_t>(ac3test::frame_words(fscod, frmsizecod));
    const size_t end = std::min(stream.size(), p + size);
    frames.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(p), stream.begin() + static_cast<std::ptrdiff_t>(end));
    p = end;
  }
  return frames;
}

std::vector<std::string> fixtures(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ac3") == 0) names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FIXTURE_DIR OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string fixture_dir = argv[1], out = argv[2];
  int written = 0;
  const fuzz_harness::decode_settings plain;
  for (const frame_kinds::kind& k : frame_kinds::all_kinds()) {
    const auto frames = frame_kinds::write_kind(k, 2);
    write_seed(out + "/kind-" + k.name, frames[0].bytes, plain);
    bytes both = frames[0].bytes;
    both.insert(both.end(), frames[1].bytes.begin(), frames[1].bytes.end());
    write_seed(out + "/kind-" + k.name + "-2", both, plain);
    written += 2;
  }
  for (const std::string& name : fixtures(fixture_dir)) {
    const std::vector<bytes> frames = cut_frames(decoder_test::read_file(fixture_dir + "/" + name));
    if (frames.empty()) continue;
    const std::string stem = name.substr(0, name.size() - 4);
    // The first frame, one from the middle and the last (which may be cut short).
    const size_t picks[3] = {0, frames.size() / 2, frames.size() - 1};
    for (size_t i = 0; i < 3; ++i) {
      if (i > 0 && picks[i] == picks[i - 1]) continue;
      write_seed(out + "/fixture-" + stem + "-" + std::to_string(picks[i]), frames[picks[i]], plain);
      ++written;
    }
  }
  // A few of the other settings: small chunks, the surround fold-down, the second programme, the
  // portable vector code.
  const auto kinds = frame_kinds::all_kinds();
  fuzz_harness::decode_settings small_chunks, surround, second, portable;
  small_chunks.chunk_bytes = 7;
  surround.surround_mode = 1;
  second.dual_mono_channel = 1;
  portable.portable_vectors = 1;
  write_seed(out + "/settings-chunk7", frame_kinds::write_kind(kinds[0], 1)[0].bytes, small_chunks);
  write_seed(out + "/settings-surround", frame_kinds::write_kind(kinds.back(), 1)[0].bytes, surround);
  write_seed(out + "/settings-portable", frame_kinds::write_kind(kinds[1], 1)[0].bytes, portable);
  written += 3;
  for (const frame_kinds::kind& k : kinds) {
    if (k.acmod == 0) {
      write_seed(out + "/settings-second-programme", frame_kinds::write_kind(k, 1)[0].bytes, second);
      ++written;
      break;
    }
  }
  std::printf("%d seeds in %s\n", written, out.c_str());
  return 0;
}
