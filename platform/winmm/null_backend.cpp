// The null device: takes every buffer at once and hears it in real time on the steady clock, so a
// buffer of n frames is finished n / rate seconds after the one before it, without any sound.
#include <chrono>
#include <new>

#include "platform/winmm/wave_backend.h"

namespace {

using steady = std::chrono::steady_clock;

class null_backend final : public wave_backend {
 public:
  explicit null_backend(uint32_t rate) : rate_(rate), since_(steady::now()) {}

  long write(const char*, uint32_t frames) override {
    // A device that ran dry starts its clock again when sound comes; idle time is not banked.
    if (!paused_ && played() == taken_) {
      played_base_ = taken_;
      since_ = steady::now();
    }
    taken_ += frames;
    return static_cast<long>(frames);
  }

  uint64_t pending() override { return taken_ - played(); }

  void drop() override {
    taken_ = played();
    played_base_ = taken_;
    since_ = steady::now();
  }

  void pause(bool on) override {
    if (on && !paused_) {
      played_base_ = played();
      paused_ = true;
    } else if (!on && paused_) {
      since_ = steady::now();
      paused_ = false;
    }
  }

  uint32_t retry_ms() override { return 1000; }  // never full

  const char* failure() override { return ""; }

 private:
  // Frames heard so far: those before since_ and what the clock has run through since, never more
  // than were taken.
  uint64_t played() const {
    if (paused_) return played_base_;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(steady::now() - since_).count();
    if (ns < 0) ns = 0;
    unsigned __int128 run = static_cast<unsigned __int128>(ns) * rate_ / 1000000000u;
    unsigned __int128 heard = played_base_ + run;
    return heard < taken_ ? static_cast<uint64_t>(heard) : taken_;
  }

  uint32_t rate_;
  uint64_t taken_ = 0;
  uint64_t played_base_ = 0;
  steady::time_point since_;
  bool paused_ = false;
};

}  // namespace

std::unique_ptr<wave_backend> null_backend_open(const WAVEFORMATEX& format) {
  return std::unique_ptr<wave_backend>(new (std::nothrow) null_backend(format.nSamplesPerSec));
}
