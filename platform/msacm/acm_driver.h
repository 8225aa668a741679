// The interface between the codec manager and a codec driver. A driver is a table of plain C
// functions, so that a separately built module (the FFmpeg driver) can hand one over through dlsym.
//
// A driver's stream honours the writer's contract: each convert call reports the source bytes it
// consumed (cbSrcLengthUsed) and the destination bytes it produced (cbDstLengthUsed, never more than
// cbDstLength). Without ACM_STREAMCONVERTF_END a driver may keep source bytes it cannot use yet
// (a partial block) by not consuming them or by buffering them itself. With END it consumes what is
// offered and emits what it holds; when more is left than fits, it produces a full destination and
// the caller calls again with END until a call produces nothing.
//
// The manager calls suggest and open one at a time (under its lock), so a driver may keep a cache
// for them without a lock of its own; size, convert and close of one stream come from the one thread
// that uses the stream, while other streams of the same driver are used on other threads.
#pragma once

#include "msacm.h"

extern "C" {

constexpr uint32_t ACM_DRIVER_INTERFACE_VERSION = 1;

struct AcmDriver {
  uint32_t interface_version;  // ACM_DRIVER_INTERFACE_VERSION
  const char* name;

  // Writes the formats this driver can make from src (at most capacity) and returns the count.
  size_t (*suggest)(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity);

  // Opens a stream from src to dst. ACMERR_NOTPOSSIBLE when this driver cannot make dst from src,
  // MMSYSERR_NOMEM when it lacks resources. With ACM_STREAMOPENF_QUERY nothing is opened.
  MMRESULT (*open)(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, DWORD flags, void** stream);

  // The destination size for cbInput source bytes (ACM_STREAMSIZEF_SOURCE) or the source size that
  // fills cbInput destination bytes (ACM_STREAMSIZEF_DESTINATION).
  MMRESULT (*size)(void* stream, DWORD cbInput, DWORD* output, DWORD flags);

  // Converts pash->pbSrc[0, cbSrcLength) into pash->pbDst[0, cbDstLength); sets the two Used counts.
  MMRESULT (*convert)(void* stream, ACMSTREAMHEADER* pash, DWORD flags);

  void (*close)(void* stream);
};

// The function a driver module exports under this name.
using AcmDriverEntry = const AcmDriver* (*)();
#define ACM_DRIVER_ENTRY_NAME "qelp_acm_driver_entry"

// Optionally, a function that names the libraries the module runs with and their versions.
using AcmModuleVersions = const char* (*)();
#define ACM_MODULE_VERSIONS_NAME "qelp_acm_module_versions"

}  // extern "C"

// Adds a driver behind the built-in ones (a host's or a test's). Returns MMSYSERR_INVALPARAM for a
// driver of another interface version, MMSYSERR_NOMEM when the table is full.
QELPSND_API MMRESULT acm_driver_register(const AcmDriver* driver);
// Removes a registered driver; streams it has open must be closed first.
QELPSND_API void acm_driver_unregister(const AcmDriver* driver);
