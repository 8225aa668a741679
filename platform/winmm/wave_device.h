// One open wave output device: its queue of headers, its back end and the thread that plays.
//
// Every field is guarded by `lock`. The device thread feeds queued buffers to the back end in order,
// and when the back end has played the last frame of a buffer it sets WHDR_DONE in its header and
// signals the event. Headers are linked through lpNext, oldest first, so queuing allocates nothing.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/winmm/wave_backend.h"

struct wave_device {
  std::mutex lock;
  std::condition_variable wake;
  std::thread thread;
  std::unique_ptr<wave_backend> backend;
  WAVEFORMATEX format{};
  HANDLE event = nullptr;       // signalled for every returned header, on open and on close
  WAVEHDR* head = nullptr;      // oldest queued header
  WAVEHDR* tail = nullptr;      // newest queued header
  WAVEHDR* feed = nullptr;      // first queued header not yet wholly handed to the back end
  DWORD feed_offset = 0;        // bytes of `feed` already handed over
  uint64_t written = 0;         // frames handed to the back end since open
  uint64_t played = 0;          // frames heard since open (never goes back)
  uint64_t origin = 0;          // `played` at open or the last reset: position 0
  bool paused = false;
  bool closing = false;
  bool failed = false;          // the back end failed; queued headers come back at once, unplayed
};

// The device thread's body.
void wave_device_run(wave_device* device);

// Takes `header` into the queue (lock held).
void wave_device_queue(wave_device& device, WAVEHDR* header);

// Returns every queued header as done without playing it and discards what the back end holds
// (lock held).
void wave_device_reset(wave_device& device);

// Frames heard since open, from the back end's delay (lock held).
uint64_t wave_device_played(wave_device& device);

// Marks a header done and clears its queue flag, as seen from other threads.
void wave_header_return(WAVEHDR* header);
