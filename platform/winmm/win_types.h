// The basic Windows types and result codes that the wave output and event stand-ins use, with the
// widths they have on Windows (DWORD and UINT are 32 bits, the _PTR types as wide as a pointer).
#pragma once

#include <cstdint>

typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int BOOL;
typedef uintptr_t DWORD_PTR;
typedef void* HANDLE;
typedef const char* LPCSTR;
typedef UINT MMRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Multimedia result codes.
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_NOTENABLED 3
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34
