// Wave output in the manner of Windows multimedia (winmm): open a device with an event as callback,
// prepare headers, queue them, reset, unprepare, close. A device thread plays the queued buffers in
// order; when it has finished one it sets WHDR_DONE in its header and signals the event.
//
// The device is chosen by the environment variable QELP_AUDIO_DEVICE when it is opened:
//   unset, empty or "default"  the ALSA device "default"
//   "null"                     a device that takes each buffer in real time for its length, silently
//   "alsa:NAME" or "NAME"      the ALSA device NAME ("alsa:null" is ALSA's own null device)
// A device that cannot be opened is a failed waveOutOpen; wave_out_open_explained also says why.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/win_types.h"

using LPCWAVEFORMATEX = const WAVEFORMATEX*;

// Wave output result codes.
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

struct wave_device;
using HWAVEOUT = wave_device*;

struct WAVEHDR {
  char* lpData;             // the buffer
  DWORD dwBufferLength;     // its length in bytes
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;         // the caller's own
  DWORD dwFlags;            // WHDR_*; read it with wave_header_flags while the header is queued
  DWORD dwLoops;
  WAVEHDR* lpNext;          // the device's queue link
  DWORD_PTR reserved;       // the device's: where the buffer ends on the device clock
};

constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

constexpr UINT TIME_MS = 0x0001;
constexpr UINT TIME_SAMPLES = 0x0002;
constexpr UINT TIME_BYTES = 0x0004;

struct MMTIME {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
  } u;
};

constexpr UINT WAVE_MAPPER = 0xFFFFFFFF;
constexpr DWORD WAVE_FORMAT_QUERY = 0x00000001;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_EVENT = 0x00050000;
constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;

MMRESULT waveOutOpen(HWAVEOUT* device, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT header_size);
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT header_size);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
MMRESULT waveOutReset(HWAVEOUT device);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT header_size);
MMRESULT waveOutClose(HWAVEOUT device);
// The device clock: what has been played since the device was opened or last reset.
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT time_size);

// The flags of a header that the device thread may be changing: read them with this.
inline DWORD wave_header_flags(WAVEHDR* header) {
  return std::atomic_ref<DWORD>(header->dwFlags).load(std::memory_order_acquire);
}

// waveOutOpen that also says why it failed, naming the device, in why (why_size bytes; "" after a
// success).
MMRESULT wave_out_open_explained(HWAVEOUT* device, UINT device_id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                                 DWORD_PTR instance, DWORD flags, char* why, size_t why_size);

// Why the device's back end failed ("" while it works), for a call that returned MMSYSERR_ERROR.
void wave_out_device_failure(HWAVEOUT device, char* why, size_t why_size);

// The device named by QELP_AUDIO_DEVICE as a user would recognise it ("default", "null", "hw:1").
const char* wave_out_device_name();

// Observes every buffer the device has finished playing, in order, on the device thread, just
// before its header is marked done, with the device clock (samples played since open or reset) at
// that moment. Buffers returned by a reset are not played and not observed. The observer must not
// call the device. For tests; nullptr removes the observer.
using wave_out_monitor = void (*)(const char* data, DWORD bytes, DWORD position, void* user);
void wave_out_set_monitor(wave_out_monitor monitor, void* user);

// Devices open in the process, and waveOutOpen calls that reached a back end (for leak checks).
int wave_out_live_count();
int wave_out_open_attempts();

// True when the ALSA back end is built in.
bool wave_out_alsa_available();
