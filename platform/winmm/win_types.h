// The basic Windows types and result codes that the wave output and event stand-ins use, with the
// widths they have on Windows (DWORD and UINT are 32 bits, the _PTR types as wide as a pointer).
#pragma once

#include <cstdint>

using DWORD = uint32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using BOOL = int;
using DWORD_PTR = uintptr_t;
using HANDLE = void*;
using LPCSTR = const char*;
using MMRESULT = uint32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

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
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
