// The FFmpeg driver module: compressed WAVE formats through libavcodec. The codec manager loads this
// module with dlopen when a chooser lists formats or a compressed format is asked for.
#include <cstring>

#include "ffmpeg_formats.h"
#include "ffmpeg_stream.h"
#include "platform/msacm/acm_driver.h"

extern "C" {
#include <libavutil/log.h>
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
