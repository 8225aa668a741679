// The types and result codes of the wave output and event stand-ins beyond those the codec manager
// shares with them (platform/win_types.h).
#pragma once

#include "platform/win_types.h"

using UINT = uint32_t;
using BOOL = int;
using HANDLE = void*;
using LPCSTR = const char*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Wave output result codes.
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
