// Helpers for the player tests: a record of what the device played, an environment switch, and a
// way to tell whether a call on another thread finished or is blocked on an event, without sleeping.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/winmm/event.h"
#include "platform/winmm/wave_out.h"

namespace player_test {

// Every buffer the device finished playing, in order, as the device's monitor reports it.
class PlayedLog {
 public:
  struct Buffer {
    std::vector<uint8_t> data;
    DWORD position;  // device clock (samples) when it was finished
  };

  PlayedLog() { wave_out_set_monitor(&PlayedLog::record, this); }
  ~PlayedLog() { wave_out_set_monitor(nullptr, nullptr); }

  std::vector<Buffer> buffers() {
    std::lock_guard<std::mutex> guard(lock_);
    return buffers_;
  }
  size_t count() {
    std::lock_guard<std::mutex> guard(lock_);
    return buffers_.size();
  }
  // All played bytes one after the other.
  std::vector<uint8_t> bytes() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<uint8_t> all;
    for (const Buffer& b : buffers_) all.insert(all.end(), b.data.begin(), b.data.end());
    return all;
  }

 private:
  static void record(const char* data, DWORD bytes, DWORD position, void* user) {
    auto* self = static_cast<PlayedLog*>(user);
    std::lock_guard<std::mutex> guard(self->lock_);
    const auto* p = reinterpret_cast<const uint8_t*>(data);
    self->buffers_.push_back(Buffer{std::vector<uint8_t>(p, p + bytes), position});
  }

  std::mutex lock_;
  std::vector<Buffer> buffers_;
};

// Sets QELP_AUDIO_DEVICE for the life of the object and puts the old value back.
class AudioDevice {
 public:
  explicit AudioDevice(const char* name) {
    const char* old = std::getenv("QELP_AUDIO_DEVICE");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("QELP_AUDIO_DEVICE", name, 1);
  }
  ~AudioDevice() {
    if (had_) {
      setenv("QELP_AUDIO_DEVICE", old_.c_str(), 1);
    } else {
      unsetenv("QELP_AUDIO_DEVICE");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

// Runs `call` on a thread of its own and tells which came first: its return, or a wait on an event
// (no other thread of the test waits on one meanwhile).
class Watched {
 public:
  explicit Watched(std::function<void()> call)
      : thread_([this, call] {
          call();
          done_.store(true);
        }) {}
  ~Watched() {
    if (thread_.joinable()) thread_.join();
  }

  // Waits until the call returned (true) or a thread is waiting on an event (false).
  bool finishes_before_waiting() {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      if (done_.load()) return true;
      if (event_waits_in_progress() > 0) return done_.load();
      if (std::chrono::steady_clock::now() > give_up) {
        ADD_FAILURE() << "the call neither returned nor waited on an event";
        return false;
      }
      std::this_thread::yield();
    }
  }
  void join() { thread_.join(); }
  bool done() const { return done_.load(); }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

inline DWORD position_samples(HWAVEOUT device) {
  MMTIME t{};
  t.wType = TIME_SAMPLES;
  EXPECT_EQ(waveOutGetPosition(device, &t, sizeof t), MMSYSERR_NOERROR);
  return t.u.sample;
}

}  // namespace player_test
