#include "platform/winmm/wave_device.h"

#include <algorithm>
#include <chrono>

#include "platform/winmm/event.h"

void wave_out_observe(const char* data, DWORD bytes, DWORD position);  // wave_out.cpp

namespace {

constexpr uint32_t kIdleWaitMs = 1000;  // nothing queued: wake up now and then anyway

uint32_t block_align(const wave_device& d) { return d.format.nBlockAlign == 0 ? 1u : d.format.nBlockAlign; }

// Frames of audio in a header (a trailing partial frame is not played).
uint64_t header_frames(const wave_device& d, const WAVEHDR* h) { return h->dwBufferLength / block_align(d); }

void signal(wave_device& d) {
  if (d.event != nullptr) SetEvent(d.event);
}

WAVEHDR* pop_head(wave_device& d) {
  WAVEHDR* h = d.head;
  d.head = h->lpNext;
  if (d.head == nullptr) d.tail = nullptr;
  h->lpNext = nullptr;
  return h;
}

// Hands queued sound to the back end until it is full or the queue is used up. A header that is
// wholly handed over records where it ends on the device clock.
void feed(wave_device& d) {
  while (d.feed != nullptr) {
    uint64_t left = header_frames(d, d.feed) - d.feed_offset / block_align(d);
    if (left == 0) {
      d.feed->reserved = static_cast<DWORD_PTR>(d.written);
      d.feed = d.feed->lpNext;
      d.feed_offset = 0;
      continue;
    }
    uint32_t ask = left > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(left);
    long took = d.backend->write(d.feed->lpData + d.feed_offset, ask);
    if (took < 0) {
      d.failed = true;
      return;
    }
    if (took == 0) return;
    d.written += static_cast<uint64_t>(took);
    d.feed_offset += static_cast<DWORD>(took) * block_align(d);
  }
}

// Returns, oldest first, every wholly handed-over header whose last frame has been heard.
void complete(wave_device& d) {
  uint64_t played = wave_device_played(d);
  while (d.head != nullptr && d.head != d.feed && d.head->reserved <= played) {
    WAVEHDR* h = pop_head(d);
    wave_out_observe(h->lpData, h->dwBufferLength, static_cast<DWORD>(played - d.origin));
    wave_header_return(h);
    signal(d);
  }
}

// How long the thread may sleep before something is due.
uint32_t sleep_ms(wave_device& d) {
  if (d.head == nullptr || d.paused) return kIdleWaitMs;
  if (d.head == d.feed) return d.backend->retry_ms();  // the back end was full
  uint64_t played = wave_device_played(d);
  if (d.head->reserved <= played) return 0;  // due already
  uint64_t frames = d.head->reserved - played;
  uint64_t rate = d.format.nSamplesPerSec == 0 ? 1 : d.format.nSamplesPerSec;
  uint64_t ms = (frames * 1000 + rate - 1) / rate;
  if (d.feed != nullptr) ms = std::min<uint64_t>(ms, d.backend->retry_ms());
  return static_cast<uint32_t>(std::clamp<uint64_t>(ms, 1, kIdleWaitMs));
}

}  // namespace

void wave_header_return(WAVEHDR* header) {
  std::atomic_ref<DWORD> flags(header->dwFlags);
  DWORD f = flags.load(std::memory_order_relaxed);
  flags.store((f & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

uint64_t wave_device_played(wave_device& d) {
  uint64_t pending = d.backend->pending();
  uint64_t heard = pending >= d.written ? 0 : d.written - pending;
  d.played = std::max(d.played, heard);
  return d.played;
}

void wave_device_queue(wave_device& d, WAVEHDR* header) {
  header->lpNext = nullptr;
  header->reserved = 0;
  if (d.tail == nullptr) {
    d.head = header;
  } else {
    d.tail->lpNext = header;
  }
  d.tail = header;
  if (d.feed == nullptr) {
    d.feed = header;
    d.feed_offset = 0;
  }
}

void wave_device_reset(wave_device& d) {
  d.backend->drop();
  while (d.head != nullptr) {
    wave_header_return(pop_head(d));
    signal(d);
  }
  d.feed = nullptr;
  d.feed_offset = 0;
  d.played = std::max(d.played, d.written);
  d.origin = d.played;
}

void wave_device_run(wave_device* device) {
  wave_device& d = *device;
  std::unique_lock<std::mutex> guard(d.lock);
  while (!d.closing) {
    if (!d.paused && !d.failed) feed(d);
    if (d.failed) {
      // A device that cannot play any more gives every buffer back at once rather than hang its caller.
      while (d.head != nullptr) {
        wave_header_return(pop_head(d));
        signal(d);
      }
      d.feed = nullptr;
      d.feed_offset = 0;
    } else if (!d.paused) {
      complete(d);
    }
    uint32_t ms = d.failed ? kIdleWaitMs : sleep_ms(d);
    if (ms != 0) d.wake.wait_for(guard, std::chrono::milliseconds(ms));
  }
}
