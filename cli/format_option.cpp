#include "format_option.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "../platform/msacm/msacm.h"

namespace {

std::string g_chosen;  // the name the installed chooser looks for; "" takes the first offer
// What it took last on this thread: "pcm16 (PCM, 48.000 kHz, 16 Bit, Stereo)". The chooser runs on
// the thread that opens the output, so files converted side by side each see their own.
thread_local std::string g_taken;
AcmFormatOffer g_offers[64];

WAVEFORMATEX stereo_source(unsigned rate) {
  return WAVEFORMATEX{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
}

bool offered(const char* name, DWORD flags) {
  WAVEFORMATEX src = stereo_source(48000);
  size_t n = acmFormatEnumOffers(&src, g_offers, sizeof g_offers / sizeof g_offers[0], flags);
  for (size_t i = 0; i < n; ++i) {
    if (std::strcmp(g_offers[i].short_name, name) == 0) return true;
  }
  return false;
}

// Picks the offer with the chosen name; a name the drivers do not offer for this source (a rate the
// codec cannot take) is "no suitable driver".
MMRESULT choose_named(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void*) {
  for (size_t i = 0; i < count; ++i) {
    if (g_chosen.empty() || g_chosen == offers[i].short_name) {
      g_taken = std::string(offers[i].short_name) + " (" + offers[i].format_tag_name + ", " + offers[i].description + ")";
      return acmFormatOfferTake(afc, &offers[i]);
    }
  }
  return MMSYSERR_NODRIVER;
}

}  // namespace

void format_option_names(unsigned rate, char* out, unsigned long size) {
  WAVEFORMATEX src = stereo_source(rate);
  size_t n = acmFormatEnumOffers(&src, g_offers, sizeof g_offers / sizeof g_offers[0], 0);
  std::string names;
  for (size_t i = 0; i < n; ++i) {
    if (!names.empty()) names += ", ";
    names += g_offers[i].short_name;
  }
  std::snprintf(out, size, "%s", names.c_str());
}

const char* format_option_taken() { return g_taken.c_str(); }

int format_option_install(const char* value) {
  if (value == nullptr || value[0] == '\0') {
    // The first format the built-in drivers offer: 16-bit PCM with the stream's rate.
    g_chosen.clear();
    acmSetFormatChooser(choose_named, nullptr, ACM_CHOOSERF_LOADED_DRIVERS);
    return 0;
  }
  // The built-in formats first, so that choosing PCM keeps the codec module unloaded.
  if (value[0] != '\0' && offered(value, ACM_CHOOSERF_LOADED_DRIVERS)) {
    g_chosen = value;
    acmSetFormatChooser(choose_named, nullptr, ACM_CHOOSERF_LOADED_DRIVERS);
    return 0;
  }
  if (value[0] != '\0' && offered(value, 0)) {
    g_chosen = value;
    acmSetFormatChooser(choose_named, nullptr, 0);
    return 0;
  }
  char names[2048];
  format_option_names(48000, names, sizeof names);
  const char* problem = acmCodecModuleProblem();
  std::fprintf(stderr, "qelp: unknown format '%s'; valid formats: %s%s%s\n", value, names,
               problem[0] != '\0' ? " (compressed formats unavailable: " : "", problem[0] != '\0' ? ")" : "");
  return 2;
}

bool format_option_is_pcm(const char* value) {
  static const char* const kNormalizable[] = {"pcm16", "pcm16-mono", "pcm8", "pcm8-mono"};
  for (const char* name : kNormalizable) {
    if (std::strcmp(value, name) == 0) return true;
  }
  return false;
}
