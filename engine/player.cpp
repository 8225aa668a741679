#include "player.h"

#include <cstring>

#include "failure.h"

namespace qelp {

StreamFormat g_player_format{};
HWAVEOUT g_player_device = nullptr;
HANDLE g_player_event = nullptr;
DWORD g_player_stall_ms = kPlayerStallMs;
WAVEHDR g_player_headers[kPlayerHeaders];
uint8_t g_player_buffers[kPlayerHeaders][kPlayerBufferBytes];

namespace {

bool header_free(int i) { return (wave_header_flags(&g_player_headers[i]) & WHDR_DONE) != 0; }

// Waits for the device to give a buffer back. 0 with the failure recorded when it does not.
int wait_for_buffer() {
  DWORD r = WaitForSingleObject(g_player_event, g_player_stall_ms);
  if (r == WAIT_OBJECT_0) return 1;
  if (r == WAIT_TIMEOUT) {
    failure_set(QELP_ERR_DEVICE, "The sound device \"%s\" stopped playing (no buffer came back for %u ms)",
                wave_out_device_name(), static_cast<unsigned>(g_player_stall_ms));
  } else {
    failure_set(QELP_ERR_DEVICE, "Cannot wait for the sound device \"%s\"", wave_out_device_name());
  }
  return 0;
}

// Records that the device failed while playing, with its reason when it gave one.
void device_failed() {
  const char* why = wave_out_failure_text();
  if (why[0] != '\0') {
    failure_set(QELP_ERR_DEVICE, "%s", why);
  } else {
    failure_set(QELP_ERR_DEVICE, "The sound device \"%s\" failed while playing", wave_out_device_name());
  }
}

// Unprepares the first `prepared` headers, closes the device and releases the event.
void release(int prepared) {
  for (int i = 0; i < prepared; ++i) {
    waveOutUnprepareHeader(g_player_device, &g_player_headers[i], sizeof(WAVEHDR));
  }
  if (g_player_device != nullptr) waveOutClose(g_player_device);
  g_player_device = nullptr;
  if (g_player_event != nullptr) CloseHandle(g_player_event);
  g_player_event = nullptr;
}

}  // namespace

int player_open(const StreamFormat& format) {
  if (g_player_device != nullptr) {
    failure_set(QELP_ERR_STATE, "The sound device is already open");
    return 0;
  }
  if (format.bytes_per_frame % 1024 != 0) {
    failure_set(QELP_ERR_ARGUMENT, "Cannot play frames of %u bytes: not a multiple of 1024 bytes",
                format.bytes_per_frame);
    return 0;
  }

  WAVEFORMATEX wave{};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = format.channels;
  wave.nSamplesPerSec = format.sampling_rate;
  wave.wBitsPerSample = 16;
  wave.nBlockAlign = static_cast<uint16_t>(format.channels * 16 / 8);
  wave.nAvgBytesPerSec = wave.nBlockAlign * format.sampling_rate;
  wave.cbSize = 0;

  g_player_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (g_player_event == nullptr) {
    failure_set(QELP_ERR_MEMORY, "Cannot create the sound device's event");
    return 0;
  }
  MMRESULT r = waveOutOpen(&g_player_device, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(g_player_event), 0,
                           CALLBACK_EVENT);
  if (r != MMSYSERR_NOERROR) {
    failure_set(QELP_ERR_DEVICE, "%s", wave_out_failure_text());
    g_player_device = nullptr;
    release(0);
    return 0;
  }
  for (int i = 0; i < kPlayerHeaders; ++i) {
    WAVEHDR& h = g_player_headers[i];
    std::memset(&h, 0, sizeof h);
    h.lpData = reinterpret_cast<char*>(g_player_buffers[i]);
    h.dwBufferLength = kPlayerBufferBytes;
    h.dwFlags = WHDR_DONE;  // free
    if (waveOutPrepareHeader(g_player_device, &h, sizeof h) != MMSYSERR_NOERROR) {
      failure_set(QELP_ERR_DEVICE, "Cannot prepare a buffer on the sound device \"%s\"", wave_out_device_name());
      release(i);
      return 0;
    }
  }
  g_player_format = format;
  return 1;
}

int player_write_frame(const StreamFormat& format, const uint8_t* frame) {
  if (g_player_device == nullptr) {
    failure_set(QELP_ERR_STATE, "The sound device is not open");
    return 0;
  }
  uint32_t remaining = format.bytes_per_frame;
  while (remaining != 0) {
    for (int i = 0; i < kPlayerHeaders && remaining != 0; ++i) {
      if (!header_free(i)) continue;
      uint32_t n = remaining < kPlayerBufferBytes ? remaining : kPlayerBufferBytes;
      WAVEHDR& h = g_player_headers[i];
      std::memcpy(g_player_buffers[i], frame + (format.bytes_per_frame - remaining), n);
      h.dwBufferLength = n;
      if (waveOutWrite(g_player_device, &h, sizeof h) != MMSYSERR_NOERROR) {
        device_failed();
        return 0;
      }
      remaining -= n;
    }
    if (remaining != 0 && !wait_for_buffer()) return 0;
  }
  return 1;
}

int player_drain() {
  if (g_player_device == nullptr) return 1;
  for (;;) {
    bool queued = false;
    for (int i = 0; i < kPlayerHeaders; ++i) queued = queued || !header_free(i);
    if (!queued) break;
    if (!wait_for_buffer()) return 0;
  }
  MMTIME position{};
  position.wType = TIME_BYTES;
  if (waveOutGetPosition(g_player_device, &position, sizeof position) != MMSYSERR_NOERROR) {
    device_failed();
    return 0;
  }
  return 1;
}

int player_close() {
  if (g_player_device == nullptr) return 1;
  waveOutReset(g_player_device);
  release(kPlayerHeaders);
  return 1;
}

}  // namespace qelp
