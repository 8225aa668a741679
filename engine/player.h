// The preview player: a ring of 20 device buffers of one PCM frame each on the wave output device.
// player_write_frame puts a frame into the lowest-numbered free buffer and waits on the device's
// event only while all 20 are queued.
#pragma once

#include <cstdint>

#include "platform/winmm/event.h"
#include "platform/winmm/wave_out.h"
#include "stream_format.h"

namespace qelp {

constexpr int kPlayerHeaders = 20;
constexpr uint32_t kPlayerBufferBytes = 6144;

// A device that gives no buffer back for this long while all are queued has stopped: a failure,
// not a wait without end. (A variable so that tests can make a stalled device fail quickly.)
constexpr DWORD kPlayerStallMs = 10000;
extern DWORD g_player_stall_ms;

// Library-wide player state (one player per process).
extern StreamFormat g_player_format;
extern HWAVEOUT g_player_device;     // nullptr while no player is open
extern HANDLE g_player_event;
extern WAVEHDR g_player_headers[kPlayerHeaders];
extern uint8_t g_player_buffers[kPlayerHeaders][kPlayerBufferBytes];

// Opens the device for the format and prepares the 20 headers. Returns 1, or 0 with the failure
// recorded and nothing left open (frame size not a multiple of 1024 bytes, no device, a header
// that cannot be prepared).
int player_open(const StreamFormat& format);

// Queues one frame of format.bytes_per_frame bytes, 6144 bytes per buffer. Returns 1, or 0 with the
// failure recorded when the device failed or stopped giving buffers back.
int player_write_frame(const StreamFormat& format, const uint8_t* frame);

// Waits until every queued buffer has been played. Returns 1, or 0 with the failure recorded.
int player_drain();

// Stops playback at once, unprepares the headers, closes the device and releases the event.
// Returns 1; does nothing when no player is open.
int player_close();

}  // namespace qelp
