// The FFmpeg driver module: compressed WAVE formats through libavcodec. The codec manager loads this
// module with dlopen when a chooser lists formats or a compressed format is asked for.
#include <cstdio>
#include <cstring>

#include "ffmpeg_formats.h"
#include "ffmpeg_stream.h"
#include "platform/msacm/acm_driver.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

namespace {

// Describing a format opens its encoder; the offers for the last source are kept.
struct OfferCache {
  WAVEFORMATEX source{};
  bool valid = false;
  size_t count = 0;
  AcmFormatOffer offers[16];
};
OfferCache g_cache;

size_t ff_suggest(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity) {
  if (!g_cache.valid || std::memcmp(&g_cache.source, src, sizeof *src) != 0) {
    g_cache.source = *src;
    g_cache.count = 0;
    size_t count = 0;
    const FfFormat* formats = ff_formats(&count);
    for (size_t i = 0; i < count && g_cache.count < sizeof g_cache.offers / sizeof g_cache.offers[0]; ++i) {
      if (ff_describe(formats[i], *src, &g_cache.offers[g_cache.count])) ++g_cache.count;
    }
    g_cache.valid = true;
  }
  const size_t n = g_cache.count < capacity ? g_cache.count : capacity;
  std::memcpy(offers, g_cache.offers, n * sizeof *offers);
  return n;
}

constexpr AcmDriver kDriver = {ACM_DRIVER_INTERFACE_VERSION,
                               "FFmpeg",
                               ff_suggest,
                               ff_stream_open,
                               ff_stream_size,
                               ff_stream_convert,
                               ff_stream_close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const AcmDriver* qelp_acm_driver_entry() {
  // libavcodec's own chatter would mix into the host's output; errors are reported as result codes.
  av_log_set_level(AV_LOG_QUIET);
  return &kDriver;
}

// The FFmpeg libraries this module runs with, as "libavcodec 59.37.100, ...".
extern "C" __attribute__((visibility("default"))) const char* qelp_acm_module_versions() {
  static char text[160];
  const unsigned codec = avcodec_version();
  const unsigned util = avutil_version();
  const unsigned resample = swresample_version();
  std::snprintf(text, sizeof text, "libavcodec %u.%u.%u, libavutil %u.%u.%u, libswresample %u.%u.%u",
                AV_VERSION_MAJOR(codec), AV_VERSION_MINOR(codec), AV_VERSION_MICRO(codec), AV_VERSION_MAJOR(util),
                AV_VERSION_MINOR(util), AV_VERSION_MICRO(util), AV_VERSION_MAJOR(resample),
                AV_VERSION_MINOR(resample), AV_VERSION_MICRO(resample));
  return text;
}
