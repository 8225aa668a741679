// Chooses the back end from QELP_AUDIO_DEVICE.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/winmm/wave_backend.h"

namespace {

std::atomic<wave_backend_factory> g_override{nullptr};

// The ALSA device name the variable asks for, or nullptr for the null device.
const char* alsa_name(const char* setting) {
  if (setting == nullptr || setting[0] == '\0') return "default";
  if (std::strcmp(setting, "null") == 0) return nullptr;
  if (std::strncmp(setting, "alsa:", 5) == 0) return setting[5] == '\0' ? "default" : setting + 5;
  return setting;
}

}  // namespace

const char* wave_out_device_name() {
  const char* setting = std::getenv("QELP_AUDIO_DEVICE");
  if (setting == nullptr || setting[0] == '\0') return "default";
  return setting;
}

#if defined(QELP_HAVE_ALSA)
bool wave_out_alsa_available() { return true; }
#else
bool wave_out_alsa_available() { return false; }

std::unique_ptr<wave_backend> alsa_backend_open(const char* name, const WAVEFORMATEX&, char* why,
                                                size_t why_size) {
  std::snprintf(why, why_size,
                "Cannot open the sound device \"%s\": this build has no ALSA output "
                "(QELP_AUDIO_DEVICE=null plays without sound)",
                name);
  return nullptr;
}
#endif

void wave_backend_override(wave_backend_factory factory) { g_override.store(factory); }

std::unique_ptr<wave_backend> wave_backend_open(const WAVEFORMATEX& format, char* why, size_t why_size) {
  wave_backend_factory factory = g_override.load();
  if (factory != nullptr) return factory(format, why, why_size);
  const char* name = alsa_name(std::getenv("QELP_AUDIO_DEVICE"));
  if (name == nullptr) return null_backend_open(format);
  return alsa_backend_open(name, format, why, why_size);
}
