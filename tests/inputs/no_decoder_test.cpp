// libavformat only demuxes: no FFmpeg decoder is ever looked up or opened while qelp reads a
// container. This program defines the libavcodec functions a decoder is found, opened and fed
// with; it exports them (ENABLE_EXPORTS), so the dynamic linker binds libavformat's calls to
// these counting stand-ins instead of libavcodec's. The positive control shows that the stand-ins
// are reached: libavformat's stream information probe, which does open decoders, is counted.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "input_support.h"

namespace {
std::atomic<int> g_decoder_calls{0};
}

extern "C" {
// Stand-ins with the shapes of libavcodec's (pointers as void*); each counts and fails.
__attribute__((visibility("default"))) const void* avcodec_find_decoder(int) {
  ++g_decoder_calls;
  return nullptr;
}
__attribute__((visibility("default"))) const void* avcodec_find_decoder_by_name(const char*) {
  ++g_decoder_calls;
  return nullptr;
}
__attribute__((visibility("default"))) int avcodec_open2(void*, const void*, void**) {
  ++g_decoder_calls;
  return -22;
}
__attribute__((visibility("default"))) int avcodec_send_packet(void*, const void*) {
  ++g_decoder_calls;
  return -22;
}
__attribute__((visibility("default"))) int avcodec_receive_frame(void*, void*) {
  ++g_decoder_calls;
  return -22;
}
}

namespace inputs_test {
namespace {

// The path of a loaded object whose name contains needle, from /proc/self/maps; "" when none.
std::string mapped_path(const std::string& needle) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    const size_t slash = line.find('/');
    if (slash != std::string::npos && line.find(needle, slash) != std::string::npos) return line.substr(slash);
  }
  return "";
}

TEST(NoDecoder, ReadingEveryContainerOpensNoDecoder) {
  g_decoder_calls = 0;
  for (const char* name : {"stereo.mkv", "stereo.mp4", "stereo.mov", "stereo.vob", "stereo.mpg", "stereo.ts",
                           "stereo.m2ts", "stereo.avi", "multi.mkv", "video_51.mkv", "eac3_then_ac3.mka"}) {
    const Conversion c = convert(container(name));
    EXPECT_EQ(c.started, 1) << name << ": " << c.error;
    QelpsndTrackInfo tracks[4];
    char error[1400];
    EXPECT_GT(qelpsnd_tracks(container(name).c_str(), tracks, 4, error, sizeof error), 0) << name;
  }
  EXPECT_EQ(g_decoder_calls.load(), 0);

  // The control: libavformat's probe, which opens decoders, reaches the stand-ins.
  const std::string avformat = mapped_path("libavformat");
  ASSERT_FALSE(avformat.empty()) << "the demuxing module did not load libavformat";
  void* lib = dlopen(avformat.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  using Open = int (*)(void**, const char*, const void*, void**);
  using Probe = int (*)(void*, void**);
  using Close = void (*)(void**);
  auto open = reinterpret_cast<Open>(dlsym(lib, "avformat_open_input"));
  auto probe = reinterpret_cast<Probe>(dlsym(lib, "avformat_find_stream_info"));
  auto close = reinterpret_cast<Close>(dlsym(lib, "avformat_close_input"));
  ASSERT_TRUE(open != nullptr && probe != nullptr && close != nullptr);
  void* context = nullptr;
  ASSERT_EQ(open(&context, container("stereo.mkv").c_str(), nullptr, nullptr), 0);
  probe(context, nullptr);
  close(&context);
  dlclose(lib);
  EXPECT_GT(g_decoder_calls.load(), 0) << "the stand-ins are not reached; the check above proves nothing";
}

}  // namespace
}  // namespace inputs_test
