// Found by the stream-information target: a sync word in the last bytes of an input, its header
// lying in the zero padding behind the end, made a frame of zeros that passed its check, so that
// `qelp info` and the start-up check took two bytes of junk for an AC-3 stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qelpsnd.h"
#include "support/ac3_frame_kinds.h"
#include "support/paths.h"

namespace {

using Bytes = std::vector<uint8_t>;

void silence(int, const char*, void*) {}

std::string write_file(const std::string& name, const Bytes& bytes) {
  const std::string path = qelp_test::scratch_dir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

struct scan {
  int found;
  QelpsndStreamInfo info;
  std::string error;
};

scan info_of(const std::string& path, int scan_all) {
  qelpsnd_set_diagnostics(silence, nullptr);
  scan s{};
  char error[256] = {};
  s.found = qelpsnd_stream_info(path.c_str(), scan_all, &s.info, error, sizeof error);
  s.error = error;
  qelpsnd_set_diagnostics(nullptr, nullptr);
  return s;
}

TEST(StreamEnd, ASyncWordInTheLastBytesIsNoStream) {
  for (const Bytes& ending : {Bytes{0x0B, 0x77}, Bytes{0x0B, 0x77, 0x00}, Bytes{0x0B, 0x77, 0x00, 0x00}}) {
    for (const size_t junk : {size_t{0}, size_t{100}, size_t{2045}}) {
      SCOPED_TRACE(std::to_string(junk) + " junk bytes, then " + std::to_string(ending.size()));
      Bytes bytes(junk, 0x55);
      bytes.insert(bytes.end(), ending.begin(), ending.end());
      const std::string path = write_file("end.ac3", bytes);
      for (const int all : {0, 1}) {
        const scan s = info_of(path, all);
        EXPECT_EQ(s.found, 0);
        EXPECT_NE(s.error.find("holds no AC-3 audio"), std::string::npos) << s.error;
      }
    }
  }
}

// A whole frame at the end still counts, its header's last byte being the input's last but the body.
TEST(StreamEnd, AWholeFrameAtTheEndIsFound) {
  const auto frames = frame_kinds::write_kind(frame_kinds::all_kinds().front(), 1);
  Bytes bytes(7, 0x55);
  bytes.insert(bytes.end(), frames[0].bytes.begin(), frames[0].bytes.end());
  const scan s = info_of(write_file("whole.ac3", bytes), 1);
  EXPECT_EQ(s.found, 1) << s.error;
  EXPECT_EQ(s.info.frames, 1u);
  EXPECT_EQ(s.info.junk_bytes, 7u);
}

}  // namespace
