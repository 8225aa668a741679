// The ALSA back end: a PCM device opened without blocking, fed as much as its buffer takes; what it
// has not played yet is its delay.
#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>

#include "diagnostics.h"
#include "platform/winmm/wave_backend.h"

namespace {

constexpr unsigned kLatencyMicroseconds = 200000;  // the device's own buffer: 200 ms
constexpr int kRecoverTries = 3;

// ALSA's library prints its own complaints to standard error; they go to the engine's diagnostics
// instead, where a host decides whether they are shown. The failure text says what went wrong.
void alsa_diagnostic(const char* file, int line, const char* function, int err, const char* fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  qelp::diag_err("\nALSA %s:%d (%s) %s%s%s", file, line, function, text, err != 0 ? ": " : "",
                 err != 0 ? snd_strerror(err) : "");
}

class alsa_backend final : public wave_backend {
 public:
  alsa_backend(snd_pcm_t* pcm, const char* name, uint32_t rate, snd_pcm_uframes_t period)
      : pcm_(pcm) {
    std::snprintf(name_, sizeof name_, "%s", name);
    unsigned long ms = rate != 0 ? period * 1000ul / rate / 2 : 1;
    retry_ms_ = ms < 1 ? 1 : static_cast<uint32_t>(ms);
  }

  ~alsa_backend() override {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
  }

  long write(const char* data, uint32_t frames) override {
    for (int tries = 0; tries < kRecoverTries; ++tries) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, data, frames);
      if (n >= 0) {
        // Start at once: a short last stretch of sound must not wait for a full buffer.
        if (n > 0 && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_);
        return static_cast<long>(n);
      }
      if (n == -EAGAIN) return 0;
      int r = snd_pcm_recover(pcm_, static_cast<int>(n), 1);  // underrun or suspend: prepare again
      if (r < 0) {
        std::snprintf(failure_, sizeof failure_, "The sound device \"%s\" failed (ALSA: %s)", name_,
                      snd_strerror(r));
        return -1;
      }
    }
    std::snprintf(failure_, sizeof failure_, "The sound device \"%s\" keeps failing to take sound", name_);
    return -1;
  }

  uint64_t pending() override {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0) return 0;  // stopped by an underrun: all heard
    return static_cast<uint64_t>(delay);
  }

  void drop() override {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
  }

  void pause(bool on) override {
    snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (on && state == SND_PCM_STATE_RUNNING) snd_pcm_pause(pcm_, 1);
    if (!on && state == SND_PCM_STATE_PAUSED) snd_pcm_pause(pcm_, 0);
  }

  uint32_t retry_ms() override { return retry_ms_; }

  const char* failure() override { return failure_; }

 private:
  snd_pcm_t* pcm_;
  uint32_t retry_ms_ = 1;
  char name_[256];
  char failure_[384] = "";
};

}  // namespace

std::unique_ptr<wave_backend> alsa_backend_open(const char* name, const WAVEFORMATEX& format, char* why,
                                                size_t why_size) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(alsa_diagnostic); });

  snd_pcm_t* pcm = nullptr;
  // Without blocking: a device held by another program is a failure to report, not a wait.
  int e = snd_pcm_open(&pcm, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (e < 0) {
    std::snprintf(why, why_size, "Cannot open the sound device \"%s\" (ALSA: %s)", name, snd_strerror(e));
    return nullptr;
  }
  snd_pcm_format_t sample = format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
  e = snd_pcm_set_params(pcm, sample, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels, format.nSamplesPerSec,
                         1, kLatencyMicroseconds);
  if (e < 0) {
    std::snprintf(why, why_size, "The sound device \"%s\" cannot play %u Hz, %u channels, %u bits (ALSA: %s)",
                  name, format.nSamplesPerSec, format.nChannels, format.wBitsPerSample, snd_strerror(e));
    snd_pcm_close(pcm);
    return nullptr;
  }
  snd_pcm_uframes_t buffer = 0;
  snd_pcm_uframes_t period = 0;
  if (snd_pcm_get_params(pcm, &buffer, &period) < 0 || period == 0) period = format.nSamplesPerSec / 50;
  auto* backend = new (std::nothrow) alsa_backend(pcm, name, format.nSamplesPerSec, period);
  if (backend == nullptr) {
    snd_pcm_close(pcm);
    std::snprintf(why, why_size, "Out of memory opening the sound device \"%s\"", name);
    return nullptr;
  }
  return std::unique_ptr<wave_backend>(backend);
}
