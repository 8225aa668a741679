// Codec streams: open a driver's stream for a source and destination format, ask its sizes, and
// convert through prepared stream headers.
#include <cstring>
#include <mutex>

#include "acm_registry.h"
#include "msacm.h"

struct AcmStream {
  bool in_use;
  const AcmDriver* driver;
  void* state;
};

namespace {

// The stream slots of the process, claimed and released under the manager's lock.
constexpr size_t kMaxStreams = 8;
AcmStream g_streams[kMaxStreams] = {};

// The prepared buffer sizes and the owning stream live in the header's driver-reserved words.
constexpr size_t kReservedSrcLength = 0;
constexpr size_t kReservedDstLength = 1;
constexpr size_t kReservedStream = 2;

bool handle_valid(HACMSTREAM has) {
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  for (AcmStream& s : g_streams) {
    if (&s == has) return s.in_use;
  }
  return false;
}

DWORD stream_number(HACMSTREAM has) { return static_cast<DWORD>(has - g_streams) + 1; }

bool header_valid(const ACMSTREAMHEADER* pash) {
  return pash != nullptr && pash->cbStruct >= sizeof(ACMSTREAMHEADER);
}

bool is_pcm_tag(WORD tag) { return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT; }

// Asks each driver in turn; the first that can make dst from src opens the stream.
MMRESULT open_with(const AcmDriver* const* drivers, size_t count, const WAVEFORMATEX* src,
                   const WAVEFORMATEX* dst, DWORD flags, const AcmDriver** chosen, void** state) {
  MMRESULT result = ACMERR_NOTPOSSIBLE;
  for (size_t i = 0; i < count; ++i) {
    MMRESULT r = drivers[i]->open(src, dst, flags, state);
    if (r == MMSYSERR_NOERROR) {
      *chosen = drivers[i];
      return r;
    }
    if (r != ACMERR_NOTPOSSIBLE) result = r;
  }
  return result;
}

}  // namespace

extern "C" {

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, PWAVEFILTER pwfltr, DWORD_PTR dwCallback, DWORD_PTR,
                       DWORD fdwOpen) {
  constexpr DWORD kKnown = ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME;
  if ((fdwOpen & ~kKnown) != 0) return MMSYSERR_INVALFLAG;
  // Conversions are synchronous here; there is no callback to signal.
  if ((fdwOpen & ACM_STREAMOPENF_ASYNC) != 0 || dwCallback != 0) return MMSYSERR_INVALFLAG;
  const bool query = (fdwOpen & ACM_STREAMOPENF_QUERY) != 0;
  if (pwfxSrc == nullptr || pwfxDst == nullptr || (phas == nullptr && !query)) return MMSYSERR_INVALPARAM;
  if (had != nullptr) return MMSYSERR_INVALHANDLE;   // no driver handles are given out
  if (pwfltr != nullptr) return ACMERR_NOTPOSSIBLE;  // no filters
  if (phas != nullptr) *phas = nullptr;

  // The lock is held for the whole open, so the free slot found stays free until it is taken.
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  AcmStream* slot = nullptr;
  if (!query) {
    for (AcmStream& s : g_streams) {
      if (!s.in_use) {
        slot = &s;
        break;
      }
    }
    if (slot == nullptr) return MMSYSERR_NOMEM;
  }

  const AcmDriver* drivers[acm::kMaxDrivers + 2];
  size_t count = acm::drivers_loaded(drivers, sizeof drivers / sizeof drivers[0]);
  const AcmDriver* chosen = nullptr;
  void* state = nullptr;
  MMRESULT r = open_with(drivers, count, pwfxSrc, pwfxDst, fdwOpen, &chosen, &state);
  // A compressed format nobody loaded can make: the FFmpeg module may, so load it now.
  if (r == ACMERR_NOTPOSSIBLE && !is_pcm_tag(pwfxDst->wFormatTag) && acm::module_load()) {
    const size_t before = count;
    count = acm::drivers_loaded(drivers, sizeof drivers / sizeof drivers[0]);
    if (count > before)
      r = open_with(drivers + before, count - before, pwfxSrc, pwfxDst, fdwOpen, &chosen, &state);
  }
  if (r != MMSYSERR_NOERROR || query) return r;
  *slot = AcmStream{true, chosen, state};
  *phas = slot;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize) {
  if (!handle_valid(has)) return MMSYSERR_INVALHANDLE;
  if (fdwSize != ACM_STREAMSIZEF_SOURCE && fdwSize != ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALFLAG;
  if (pdwOutputBytes == nullptr || cbInput == 0) return MMSYSERR_INVALPARAM;
  return has->driver->size(has->state, cbInput, pdwOutputBytes, fdwSize);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare) {
  if (!handle_valid(has)) return MMSYSERR_INVALHANDLE;
  if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
  if (!header_valid(pash) || pash->pbSrc == nullptr || pash->cbSrcLength == 0 || pash->pbDst == nullptr ||
      pash->cbDstLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0) return MMSYSERR_NOERROR;
  pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
  pash->dwReservedDriver[kReservedSrcLength] = pash->cbSrcLength;
  pash->dwReservedDriver[kReservedDstLength] = pash->cbDstLength;
  pash->dwReservedDriver[kReservedStream] = stream_number(has);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert) {
  if (!handle_valid(has)) return MMSYSERR_INVALHANDLE;
  constexpr DWORD kKnown = ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
  if ((fdwConvert & ~kKnown) != 0) return MMSYSERR_INVALFLAG;
  if (!header_valid(pash)) return MMSYSERR_INVALPARAM;
  if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
  if (pash->dwReservedDriver[kReservedStream] != stream_number(has)) return MMSYSERR_INVALHANDLE;
  // A call may offer less than the prepared buffers hold, never more.
  if (pash->cbSrcLength > pash->dwReservedDriver[kReservedSrcLength] ||
      pash->cbDstLength > pash->dwReservedDriver[kReservedDstLength] || pash->pbSrc == nullptr ||
      pash->pbDst == nullptr) {
    return MMSYSERR_INVALPARAM;
  }
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
  pash->cbSrcLengthUsed = 0;
  pash->cbDstLengthUsed = 0;
  MMRESULT r = has->driver->convert(has->state, pash, fdwConvert);
  // A driver that reports more than it was given is broken; nothing it claims can be trusted.
  if (pash->cbSrcLengthUsed > pash->cbSrcLength || pash->cbDstLengthUsed > pash->cbDstLength) {
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    r = ACMERR_NOTPOSSIBLE;
  }
  pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return r;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare) {
  if (!handle_valid(has)) return MMSYSERR_INVALHANDLE;
  if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
  if (!header_valid(pash)) return MMSYSERR_INVALPARAM;
  if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
  if (pash->dwReservedDriver[kReservedStream] != stream_number(has)) return MMSYSERR_INVALHANDLE;
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  std::memset(pash->dwReservedDriver, 0, sizeof pash->dwReservedDriver);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
  if (!handle_valid(has)) return MMSYSERR_INVALHANDLE;
  if (fdwClose != 0) return MMSYSERR_INVALFLAG;
  has->driver->close(has->state);
  std::lock_guard<std::mutex> guard(acm::manager_lock());
  *has = AcmStream{false, nullptr, nullptr};
  return MMSYSERR_NOERROR;
}

}  // extern "C"
