// A back end whose buffer and clock the test drives: it takes at most `capacity` frames not yet
// heard, and frames are heard only when the test releases them. It can be made to fail.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/winmm/wave_backend.h"

namespace player_test {

class Script {
 public:
  explicit Script(uint64_t capacity) : capacity_(capacity) {
    current_ = this;
    wave_backend_override(&Script::open);
  }
  ~Script() {
    wave_backend_override(nullptr);
    current_ = nullptr;
  }

  void release(uint64_t frames) {
    std::lock_guard<std::mutex> guard(lock_);
    heard_ = std::min(taken_, heard_ + frames);
  }
  void fail() {
    std::lock_guard<std::mutex> guard(lock_);
    failing_ = true;
  }
  // Waits until the device has handed over `frames` frames in all (a test failure, not a hang,
  // when it never does).
  void wait_taken(uint64_t frames) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (taken_ >= frames) return;
      }
      if (std::chrono::steady_clock::now() > give_up) {
        ADD_FAILURE() << "the device never handed over " << frames << " frames";
        return;
      }
      std::this_thread::yield();
    }
  }
  uint64_t taken() {
    std::lock_guard<std::mutex> guard(lock_);
    return taken_;
  }
  std::vector<uint8_t> bytes() {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
  }

 private:
  class Backend final : public wave_backend {
   public:
    Backend(Script& s, uint32_t frame_bytes) : s_(s), frame_bytes_(frame_bytes) {}
    long write(const char* data, uint32_t frames) override {
      std::lock_guard<std::mutex> guard(s_.lock_);
      if (s_.failing_) return -1;
      uint64_t room = s_.capacity_ - (s_.taken_ - s_.heard_);
      uint64_t n = std::min<uint64_t>(frames, room);
      s_.bytes_.insert(s_.bytes_.end(), data, data + n * frame_bytes_);
      s_.taken_ += n;
      return static_cast<long>(n);
    }
    uint64_t pending() override {
      std::lock_guard<std::mutex> guard(s_.lock_);
      return s_.taken_ - s_.heard_;
    }
    void drop() override {
      std::lock_guard<std::mutex> guard(s_.lock_);
      s_.heard_ = s_.taken_;
    }
    void pause(bool) override {}
    uint32_t retry_ms() override { return 1; }
    const char* failure() override { return "The scripted device broke down"; }

   private:
    Script& s_;
    uint32_t frame_bytes_;
  };

  static std::unique_ptr<wave_backend> open(const WAVEFORMATEX& format, char*, size_t) {
    return std::make_unique<Backend>(*current_, format.nBlockAlign);
  }

  static inline Script* current_ = nullptr;
  std::mutex lock_;
  uint64_t capacity_;
  uint64_t taken_ = 0;
  uint64_t heard_ = 0;
  bool failing_ = false;
  std::vector<uint8_t> bytes_;
};

}  // namespace player_test
