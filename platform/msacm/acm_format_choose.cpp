// The format chooser: lists what the drivers can make from the source format and lets the host's
// chooser pick one; without a chooser the first offer (16-bit PCM like the source) is taken.
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "acm_registry.h"
#include "msacm.h"

namespace {

// The host's chooser (acmSetFormatChooser), one for the process; used under the manager's lock.
struct ChooserSetting {
  AcmFormatChooser chooser = nullptr;
  void* user = nullptr;
  DWORD flags = 0;
};
ChooserSetting g_chooser;

constexpr size_t kMaxOffers = 64;

// Call with the manager's lock held.
size_t collect_offers(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity) {
  const AcmDriver* drivers[acm::kMaxDrivers + 2];
  size_t count = acm::drivers_loaded(drivers, sizeof drivers / sizeof drivers[0]);
  size_t n = 0;
  for (size_t i = 0; i < count && n < capacity; ++i) n += drivers[i]->suggest(src, offers + n, capacity - n);
  return n;
}

void copy_text(char* dest, size_t size, const char* text) {
  size_t n = strnlen(text, size - 1);
  std::memcpy(dest, text, n);
  dest[n] = '\0';
}

}  // namespace

extern "C" {

void acmSetFormatChooser(AcmFormatChooser chooser, void* user, DWORD flags) {
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  g_chooser = ChooserSetting{chooser, user, flags};
}

size_t acmFormatBytes(const WAVEFORMATEX* wfx) { return sizeof(WAVEFORMATEX) + wfx->cbSize; }

size_t acmFormatEnumOffers(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity, DWORD flags) {
  if (src == nullptr || offers == nullptr) return 0;
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  if ((flags & ACM_CHOOSERF_LOADED_DRIVERS) == 0) acm::module_load();
  return collect_offers(src, offers, capacity);
}

const char* acmCodecModuleProblem() { return acm::module_problem(); }

int acmCodecModuleLoad() {
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  return acm::module_load() ? 1 : 0;
}

const char* acmCodecModuleDescription() { return acm::module_description(); }

MMRESULT acmFormatOfferTake(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offer) {
  if (afc == nullptr || offer == nullptr || afc->pwfx == nullptr) return MMSYSERR_INVALPARAM;
  const size_t bytes = acmFormatBytes(&offer->format.wfx);
  if (bytes > sizeof offer->format) return MMSYSERR_INVALPARAM;
  if (bytes > afc->cbwfx) return ACMERR_NOTPOSSIBLE;
  std::memcpy(afc->pwfx, &offer->format, bytes);
  copy_text(afc->szFormatTag, sizeof afc->szFormatTag, offer->format_tag_name);
  copy_text(afc->szFormat, sizeof afc->szFormat, offer->description);
  return MMSYSERR_NOERROR;
}

// Only the suggest rule is supported: the request names the source format in pwfxEnum.
MMRESULT acmFormatChooseA(ACMFORMATCHOOSEA* afc) {
  if (afc == nullptr || afc->cbStruct < sizeof(ACMFORMATCHOOSEA)) return MMSYSERR_INVALPARAM;
  if (afc->fdwStyle != 0 || (afc->fdwEnum & ~ACM_FORMATENUMF_SUGGEST) != 0) return MMSYSERR_INVALFLAG;
  if (afc->pwfx == nullptr || afc->cbwfx < sizeof(WAVEFORMATEX) || afc->pwfxEnum == nullptr) {
    return MMSYSERR_INVALPARAM;
  }
  // The offers of this request; the host's chooser is called without the lock, so that it may take
  // its time (a dialog) while other conversions go on.
  std::unique_ptr<AcmFormatOffer[]> offers(new (std::nothrow) AcmFormatOffer[kMaxOffers]);
  if (!offers) return MMSYSERR_NOMEM;
  ChooserSetting setting;
  size_t count = 0;
  {
    std::lock_guard<std::mutex> guard(acm::manager_lock());
    setting = g_chooser;
    // A chooser shows everything the codecs offer, so the FFmpeg module is loaded for it.
    if (setting.chooser != nullptr && (setting.flags & ACM_CHOOSERF_LOADED_DRIVERS) == 0) acm::module_load();
    count = collect_offers(afc->pwfxEnum, offers.get(), kMaxOffers);
  }
  if (count == 0) return MMSYSERR_NODRIVER;
  if (setting.chooser == nullptr) return acmFormatOfferTake(afc, &offers[0]);
  return setting.chooser(afc, offers.get(), count, setting.user);
}

}  // extern "C"
