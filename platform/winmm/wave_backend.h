// What a wave output device plays through: ALSA or the silent real-time null sink. The device thread
// calls a back end only while it holds the device's lock, so a back end needs no locking of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/winmm/wave_out.h"

class wave_backend {
 public:
  virtual ~wave_backend() = default;

  // Takes up to `frames` frames of interleaved samples without blocking. Returns the frames taken
  // (0 when the device's own buffer is full), or -1 when the device has failed (failure() says why).
  virtual long write(const char* data, uint32_t frames) = 0;

  // Frames taken but not yet heard.
  virtual uint64_t pending() = 0;

  // Discards what was taken but not yet heard.
  virtual void drop() = 0;

  // Stops (on) or resumes (off) the device clock.
  virtual void pause(bool on) = 0;

  // How long to wait after write took nothing before room is likely free, in milliseconds.
  virtual uint32_t retry_ms() = 0;

  virtual const char* failure() = 0;
};

// The silent sink that takes each buffer in real time for its length.
std::unique_ptr<wave_backend> null_backend_open(const WAVEFORMATEX& format);

// The ALSA device `name`; nullptr with the reason in why when it cannot be opened for the format.
std::unique_ptr<wave_backend> alsa_backend_open(const char* name, const WAVEFORMATEX& format, char* why,
                                                size_t why_size);

// The back end that QELP_AUDIO_DEVICE names; nullptr with the reason in why.
std::unique_ptr<wave_backend> wave_backend_open(const WAVEFORMATEX& format, char* why, size_t why_size);

// For tests: a factory used in place of the choice by QELP_AUDIO_DEVICE (nullptr restores it), so
// that a test can play through a back end whose buffer and clock it controls.
using wave_backend_factory = std::unique_ptr<wave_backend> (*)(const WAVEFORMATEX& format, char* why,
                                                               size_t why_size);
void wave_backend_override(wave_backend_factory factory);
