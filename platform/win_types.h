// The Windows base types, multimedia result codes and the WAVE format description that the codec
// manager, the wave output and the event stand-ins use, declared once, with the widths they have on
// Windows (DWORD and UINT are 32 bits, the _PTR types as wide as a pointer). Result codes of one
// service alone are declared with it (msacm.h, wave_out.h).
#pragma once

#include <cstdint>

using DWORD = uint32_t;
using WORD = uint16_t;
using UINT = uint32_t;
using BOOL = int;
using DWORD_PTR = uintptr_t;
using HANDLE = void*;
using LPCSTR = const char*;
using MMRESULT = uint32_t;

// Multimedia result codes.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

constexpr WORD WAVE_FORMAT_PCM = 0x0001;

#pragma pack(push, 1)
// The format description of a WAVE fmt chunk: 18 bytes, packed; cbSize extra bytes follow it.
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes on disk");
