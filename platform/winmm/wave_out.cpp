// The waveOut* calls: checks in the manner of winmm, then the device and its thread do the work.
#include "platform/winmm/wave_out.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "platform/winmm/event.h"
#include "platform/winmm/wave_device.h"

namespace {

std::mutex g_monitor_lock;
wave_out_monitor g_monitor = nullptr;
void* g_monitor_user = nullptr;

std::atomic<int> g_live_devices{0};
std::atomic<int> g_open_attempts{0};

// A failed open: the reason goes to the caller's buffer (when it gave one).
MMRESULT open_failed(char* why, size_t why_size, MMRESULT code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

MMRESULT open_failed(char* why, size_t why_size, MMRESULT code, const char* format, ...) {
  if (why == nullptr || why_size == 0) return code;
  va_list args;
  va_start(args, format);
  std::vsnprintf(why, why_size, format, args);
  va_end(args);
  return code;
}

bool format_playable(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels < 1 || f.nChannels > 8) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
  if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000) return false;
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return false;
  return f.nAvgBytesPerSec == f.nBlockAlign * f.nSamplesPerSec;
}

bool header_ok(const WAVEHDR* h, UINT size) { return h != nullptr && size == sizeof(WAVEHDR); }

// Changes a header's flags while the device thread may be reading them.
void flags_update(WAVEHDR* h, DWORD set, DWORD clear) {
  std::atomic_ref<DWORD> flags(h->dwFlags);
  flags.store((flags.load(std::memory_order_relaxed) & ~clear) | set, std::memory_order_release);
}

}  // namespace

void wave_out_observe(const char* data, DWORD bytes, DWORD position) {
  wave_out_monitor monitor;
  void* user;
  {
    std::lock_guard<std::mutex> guard(g_monitor_lock);
    monitor = g_monitor;
    user = g_monitor_user;
  }
  if (monitor != nullptr) monitor(data, bytes, position, user);
}

void wave_out_set_monitor(wave_out_monitor monitor, void* user) {
  std::lock_guard<std::mutex> guard(g_monitor_lock);
  g_monitor = monitor;
  g_monitor_user = user;
}

void wave_out_device_failure(HWAVEOUT device, char* why, size_t why_size) {
  if (why == nullptr || why_size == 0) return;
  why[0] = '\0';
  if (device == nullptr) return;
  std::lock_guard<std::mutex> guard(device->lock);
  if (device->failed) std::snprintf(why, why_size, "%s", device->backend->failure());
}
int wave_out_live_count() { return g_live_devices.load(); }
int wave_out_open_attempts() { return g_open_attempts.load(); }

MMRESULT waveOutOpen(HWAVEOUT* out, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags) {
  return wave_out_open_explained(out, device_id, format, callback, instance, flags, nullptr, 0);
}

MMRESULT wave_out_open_explained(HWAVEOUT* out, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                                 DWORD_PTR, DWORD flags, char* why_failed, size_t why_size) {
  if (why_failed != nullptr && why_size > 0) why_failed[0] = '\0';
  if (device_id != WAVE_MAPPER && device_id != 0) {
    return open_failed(why_failed, why_size, MMSYSERR_BADDEVICEID, "There is no sound device number %u",
                       device_id);
  }
  if (format == nullptr)
    return open_failed(why_failed, why_size, MMSYSERR_INVALPARAM, "No sound format was given");
  DWORD callback_type = flags & CALLBACK_TYPEMASK;
  if (callback_type != CALLBACK_EVENT && callback_type != CALLBACK_NULL) {
    return open_failed(why_failed, why_size, MMSYSERR_INVALFLAG,
                       "Only event callbacks are offered by this sound output");
  }
  if (callback_type == CALLBACK_EVENT && callback == 0) {
    return open_failed(why_failed, why_size, MMSYSERR_INVALPARAM,
                       "No event was given for the sound device to signal");
  }
  if (!format_playable(*format)) {
    return open_failed(why_failed, why_size, WAVERR_BADFORMAT,
                       "The sound device cannot play format %u, %u Hz, %u channels, %u bits",
                       format->wFormatTag, format->nSamplesPerSec, format->nChannels, format->wBitsPerSample);
  }
  if ((flags & WAVE_FORMAT_QUERY) != 0) return MMSYSERR_NOERROR;
  if (out == nullptr)
    return open_failed(why_failed, why_size, MMSYSERR_INVALPARAM, "No place for the device handle was given");
  *out = nullptr;

  auto* device = new (std::nothrow) wave_device;
  if (device == nullptr)
    return open_failed(why_failed, why_size, MMSYSERR_NOMEM, "Out of memory opening the sound device");
  device->format = *format;
  device->event = callback_type == CALLBACK_EVENT ? reinterpret_cast<HANDLE>(callback) : nullptr;
  g_open_attempts.fetch_add(1);
  char why[512] = "";
  device->backend = wave_backend_open(*format, why, sizeof why);
  if (device->backend == nullptr) {
    delete device;
    if (why[0] == '\0') std::snprintf(why, sizeof why, "Out of memory opening the sound device");
    return open_failed(why_failed, why_size, MMSYSERR_NODRIVER, "%s", why);
  }
  try {
    device->thread = std::thread(wave_device_run, device);
  } catch (const std::system_error&) {
    delete device;
    return open_failed(why_failed, why_size, MMSYSERR_NOMEM, "Cannot start the sound device's thread");
  }
  g_live_devices.fetch_add(1);
  if (device->event != nullptr) SetEvent(device->event);  // the device is open
  *out = device;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (!header_ok(header, size) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> guard(device->lock);
  if ((wave_header_flags(header) & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  flags_update(header, WHDR_PREPARED, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (!header_ok(header, size)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> guard(device->lock);
  if ((wave_header_flags(header) & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  flags_update(header, 0, WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (!header_ok(header, size) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    DWORD flags = wave_header_flags(header);
    if ((flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    if (device->failed) return MMSYSERR_ERROR;
    flags_update(header, WHDR_INQUEUE, WHDR_DONE);
    wave_device_queue(*device, header);
  }
  device->wake.notify_one();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> guard(device->lock);
  if (!device->paused) {
    wave_device_played(*device);
    device->backend->pause(true);
    device->paused = true;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->paused) {
      device->backend->pause(false);
      device->paused = false;
    }
  }
  device->wake.notify_one();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    wave_device_reset(*device);
  }
  device->wake.notify_one();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (time == nullptr || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> guard(device->lock);
  if (device->failed) return MMSYSERR_ERROR;
  uint64_t frames = device->paused ? device->played : wave_device_played(*device);
  frames -= device->origin;
  switch (time->wType) {
    case TIME_SAMPLES:
      time->u.sample = static_cast<DWORD>(frames);
      break;
    case TIME_MS:
      time->u.ms = static_cast<DWORD>(frames * 1000 / device->format.nSamplesPerSec);
      break;
    default:
      time->wType = TIME_BYTES;
      time->u.cb = static_cast<DWORD>(frames * device->format.nBlockAlign);
      break;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->head != nullptr) return WAVERR_STILLPLAYING;
    device->closing = true;
  }
  device->wake.notify_one();
  device->thread.join();
  HANDLE event = device->event;
  delete device;
  g_live_devices.fetch_sub(1);
  if (event != nullptr) SetEvent(event);  // the device is closed
  return MMSYSERR_NOERROR;
}
