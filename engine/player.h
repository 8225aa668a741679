// The preview player: a ring of 20 device buffers of one PCM frame each on the wave output device.
// write_frame puts a frame into the lowest-numbered free buffer and waits on the device's event only
// while all 20 are queued. Each engine object has a player of its own.
#pragma once

#include <cstdint>

#include "failure.h"
#include "platform/winmm/event.h"
#include "platform/winmm/wave_out.h"
#include "stream_format.h"

namespace qelp {

constexpr int kPlayerHeaders = 20;
constexpr uint32_t kPlayerBufferBytes = 6144;

// A device that gives no buffer back for this long while all are queued has stopped: a failure,
// not a wait without end.
constexpr DWORD kPlayerStallMs = 10000;

class CPlayer {
 public:
  // Failures are recorded in failure (the engine object's record).
  explicit CPlayer(Failure& failure) : failure_(failure) {}
  // A player still open is closed (as close()).
  ~CPlayer() { close(); }
  CPlayer(const CPlayer&) = delete;
  CPlayer& operator=(const CPlayer&) = delete;

  // Opens the device for the format and prepares the 20 headers. Returns 1, or 0 with the failure
  // recorded and nothing left open (frame size not a multiple of 1024 bytes, no device, a header
  // that cannot be prepared).
  int open(const StreamFormat& format);

  // Queues one frame of format.bytes_per_frame bytes, 6144 bytes per buffer. Returns 1, or 0 with
  // the failure recorded when the device failed or stopped giving buffers back.
  int write_frame(const StreamFormat& format, const uint8_t* frame);

  // Waits until every queued buffer has been played. Returns 1, or 0 with the failure recorded.
  int drain();

  // Stops playback at once, unprepares the headers, closes the device and releases the event.
  // Returns 1; does nothing when no player is open.
  int close();

  StreamFormat format{};
  HWAVEOUT device = nullptr;  // nullptr while no player is open
  HANDLE event = nullptr;
  DWORD stall_ms = kPlayerStallMs;  // tests make a stalled device fail quickly
  WAVEHDR headers[kPlayerHeaders];
  uint8_t buffers[kPlayerHeaders][kPlayerBufferBytes];

 private:
  bool header_free(int i) { return (wave_header_flags(&headers[i]) & WHDR_DONE) != 0; }
  int wait_for_buffer();
  void device_failed();
  void release(int prepared);

  Failure& failure_;
};

}  // namespace qelp
