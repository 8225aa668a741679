#include "player.h"

#include <cstring>

namespace qelp {

// Waits for the device to give a buffer back. 0 with the failure recorded when it does not.
int CPlayer::wait_for_buffer() {
  DWORD r = WaitForSingleObject(event, stall_ms);
  if (r == WAIT_OBJECT_0) return 1;
  if (r == WAIT_TIMEOUT) {
    failure_.set(QELP_ERR_DEVICE, "The sound device \"%s\" stopped playing (no buffer came back for %u ms)",
                 wave_out_device_name(), static_cast<unsigned>(stall_ms));
  } else {
    failure_.set(QELP_ERR_DEVICE, "Cannot wait for the sound device \"%s\"", wave_out_device_name());
  }
  return 0;
}

// Records that the device failed while playing, with its reason when it gave one.
void CPlayer::device_failed() {
  char why[512];
  wave_out_device_failure(device, why, sizeof why);
  if (why[0] != '\0') {
    failure_.set(QELP_ERR_DEVICE, "%s", why);
  } else {
    failure_.set(QELP_ERR_DEVICE, "The sound device \"%s\" failed while playing", wave_out_device_name());
  }
}

// Unprepares the first `prepared` headers, closes the device and releases the event.
void CPlayer::release(int prepared) {
  for (int i = 0; i < prepared; ++i) waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
  if (device != nullptr) waveOutClose(device);
  device = nullptr;
  if (event != nullptr) CloseHandle(event);
  event = nullptr;
}

int CPlayer::open(const StreamFormat& stream) {
  if (device != nullptr) {
    failure_.set(QELP_ERR_STATE, "The sound device is already open");
    return 0;
  }
  if (stream.bytes_per_frame % 1024 != 0) {
    failure_.set(QELP_ERR_ARGUMENT, "Cannot play frames of %u bytes: not a multiple of 1024 bytes",
                 stream.bytes_per_frame);
    return 0;
  }

  WAVEFORMATEX wave{};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = stream.channels;
  wave.nSamplesPerSec = stream.sampling_rate;
  wave.wBitsPerSample = 16;
  wave.nBlockAlign = static_cast<uint16_t>(stream.channels * 16 / 8);
  wave.nAvgBytesPerSec = wave.nBlockAlign * stream.sampling_rate;
  wave.cbSize = 0;

  event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    failure_.set(QELP_ERR_MEMORY, "Cannot create the sound device's event");
    return 0;
  }
  char why[512];
  MMRESULT r = wave_out_open_explained(&device, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(event), 0,
                                       CALLBACK_EVENT, why, sizeof why);
  if (r != MMSYSERR_NOERROR) {
    failure_.set(QELP_ERR_DEVICE, "%s", why);
    device = nullptr;
    release(0);
    return 0;
  }
  for (int i = 0; i < kPlayerHeaders; ++i) {
    WAVEHDR& h = headers[i];
    std::memset(&h, 0, sizeof h);
    h.lpData = reinterpret_cast<char*>(buffers[i]);
    h.dwBufferLength = kPlayerBufferBytes;
    h.dwFlags = WHDR_DONE;  // free
    if (waveOutPrepareHeader(device, &h, sizeof h) != MMSYSERR_NOERROR) {
      failure_.set(QELP_ERR_DEVICE, "Cannot prepare a buffer on the sound device \"%s\"",
                   wave_out_device_name());
      release(i);
      return 0;
    }
  }
  format = stream;
  return 1;
}

int CPlayer::write_frame(const StreamFormat& stream, const uint8_t* frame) {
  if (device == nullptr) {
    failure_.set(QELP_ERR_STATE, "The sound device is not open");
    return 0;
  }
  uint32_t remaining = stream.bytes_per_frame;
  while (remaining != 0) {
    for (int i = 0; i < kPlayerHeaders && remaining != 0; ++i) {
      if (!header_free(i)) continue;
      uint32_t n = remaining < kPlayerBufferBytes ? remaining : kPlayerBufferBytes;
      WAVEHDR& h = headers[i];
      std::memcpy(buffers[i], frame + (stream.bytes_per_frame - remaining), n);
      h.dwBufferLength = n;
      if (waveOutWrite(device, &h, sizeof h) != MMSYSERR_NOERROR) {
        device_failed();
        return 0;
      }
      remaining -= n;
    }
    if (remaining != 0 && !wait_for_buffer()) return 0;
  }
  return 1;
}

int CPlayer::drain() {
  if (device == nullptr) return 1;
  for (;;) {
    bool queued = false;
    for (int i = 0; i < kPlayerHeaders; ++i) queued = queued || !header_free(i);
    if (!queued) break;
    if (!wait_for_buffer()) return 0;
  }
  MMTIME position{};
  position.wType = TIME_BYTES;
  if (waveOutGetPosition(device, &position, sizeof position) != MMSYSERR_NOERROR) {
    device_failed();
    return 0;
  }
  return 1;
}

int CPlayer::close() {
  if (device == nullptr) return 1;
  waveOutReset(device);
  release(kPlayerHeaders);
  return 1;
}

}  // namespace qelp
