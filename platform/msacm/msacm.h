// The codec manager: format chooser and codec streams with the names, structures, flags and result
// codes of the Windows audio compression manager, so that the WAVE writer reads like its Windows
// counterpart. Codecs come from drivers (acm_driver.h): the built-in PCM driver, drivers a host or a
// test registers, and the FFmpeg module, which is loaded only when it is needed.
//
// All functions run on the caller's thread. The driver table, the host's chooser and the stream slots
// are shared by the process and used under one lock; streams are used each on their own thread, so
// several conversions may run at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../../engine/qelpsnd.h"
#include "../win_types.h"

// Result codes of the codec manager (the shared ones are in win_types.h).
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;
constexpr MMRESULT ACMERR_CANCELED = 515;

// Format tags used here (PCM is in win_types.h).
constexpr WORD WAVE_FORMAT_ADPCM = 0x0002;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr WORD WAVE_FORMAT_ALAW = 0x0006;
constexpr WORD WAVE_FORMAT_MULAW = 0x0007;
constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr WORD WAVE_FORMAT_GSM610 = 0x0031;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;

// Flags.
constexpr DWORD ACM_FORMATENUMF_SUGGEST = 0x00400000;
constexpr DWORD ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr DWORD ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;
constexpr DWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr DWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;
constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr DWORD ACM_STREAMCONVERTF_START = 0x00000010;
constexpr DWORD ACM_STREAMCONVERTF_END = 0x00000020;
constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// Codec-specific bytes a format may carry behind its 18-byte WAVEFORMATEX in an offer.
constexpr size_t ACM_FORMAT_EXTRA_MAX = 64;


struct ACMFORMATCHOOSEA;
using ACMFORMATCHOOSEHOOKPROCA = unsigned (*)(void*, unsigned, uintptr_t, intptr_t);

constexpr size_t ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;
constexpr size_t ACMFORMATDETAILS_FORMAT_CHARS = 128;

// The request to the format chooser.
struct ACMFORMATCHOOSEA {
  DWORD cbStruct;                                         // sizeof(ACMFORMATCHOOSEA)
  DWORD fdwStyle;                                         // 0: no style flags are supported
  void* hwndOwner;                                        // ignored
  WAVEFORMATEX* pwfx;                                     // receives the chosen format
  DWORD cbwfx;                                            // size of the buffer pwfx points to
  const char* pszTitle;                                   // title of the chooser, e.g. "Select audio codec"
  char szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];  // receives the chosen format-tag name
  char szFormat[ACMFORMATDETAILS_FORMAT_CHARS];           // receives the chosen format's description
  char* pszName;                                          // unused (no named formats)
  DWORD cchName;
  DWORD fdwEnum;  // ACM_FORMATENUMF_SUGGEST: offer what a driver makes from pwfxEnum
  WAVEFORMATEX* pwfxEnum;
  void* hInstance;
  const char* pszTemplateName;
  intptr_t lCustData;
  ACMFORMATCHOOSEHOOKPROCA pfnHook;
};

// One conversion request: source bytes offered and destination room, and what the codec used.
struct ACMSTREAMHEADER {
  DWORD cbStruct;  // sizeof(ACMSTREAMHEADER)
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  uint8_t* pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;
  DWORD_PTR dwSrcUser;
  uint8_t* pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;
  DWORD_PTR dwDstUser;
  DWORD dwReservedDriver[15];  // the manager keeps the prepared buffers' sizes here
};

struct AcmStream;
using HACMSTREAM = AcmStream*;
using HACMDRIVER = void*;
using PWAVEFILTER = void*;

#pragma pack(push, 1)
// A WAVEFORMATEX followed by room for its extra bytes.
struct AcmFormatBuffer {
  WAVEFORMATEX wfx;
  uint8_t extra[ACM_FORMAT_EXTRA_MAX];
};
#pragma pack(pop)

// One format a driver can make from a source format, as the chooser lists it.
struct AcmFormatOffer {
  AcmFormatBuffer format;
  char format_tag_name[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];  // "PCM", "IMA ADPCM" ...
  char description[ACMFORMATDETAILS_FORMAT_CHARS];            // "48.000 kHz, 16 Bit, Stereo"
  char short_name[32];                                        // stable name for scripts: "pcm16"
};

// The chooser a host installs. It gets the request and the formats on offer, and either fills
// afc->pwfx, afc->szFormatTag and afc->szFormat (acmFormatOfferTake does that for an offer) and
// returns MMSYSERR_NOERROR, or returns ACMERR_CANCELED or another code.
using AcmFormatChooser = MMRESULT (*)(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count,
                                      void* user);

// Flag for acmSetFormatChooser and acmFormatEnumOffers: only formats of drivers that are loaded
// already, so that choosing or listing does not load the FFmpeg module (a host that asks for PCM).
constexpr DWORD ACM_CHOOSERF_LOADED_DRIVERS = 0x00000001;

extern "C" {

QELPSND_API MMRESULT acmFormatChooseA(ACMFORMATCHOOSEA* afc);
QELPSND_API MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                                   const WAVEFORMATEX* pwfxDst, PWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                                   DWORD_PTR dwInstance, DWORD fdwOpen);
QELPSND_API MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, DWORD* pdwOutputBytes, DWORD fdwSize);
QELPSND_API MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwPrepare);
QELPSND_API MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwConvert);
QELPSND_API MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, DWORD fdwUnprepare);
QELPSND_API MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);

// Installs the host's chooser (nullptr: none; the first offered format is taken). flags: 0 or
// ACM_CHOOSERF_LOADED_DRIVERS.
QELPSND_API void acmSetFormatChooser(AcmFormatChooser chooser, void* user, DWORD flags);

// Lists the formats the drivers can make from src (the suggest rule), up to capacity, and returns
// how many were written. Loads the FFmpeg module unless flags has ACM_CHOOSERF_LOADED_DRIVERS.
QELPSND_API size_t acmFormatEnumOffers(const WAVEFORMATEX* src, AcmFormatOffer* offers, size_t capacity,
                                       DWORD flags);

// Why compressed formats are missing: empty while the FFmpeg module is loaded or not yet tried.
QELPSND_API const char* acmCodecModuleProblem();

// Loads the FFmpeg module unless it was tried already; 1 when its formats are available, else 0
// (acmCodecModuleProblem says why).
QELPSND_API int acmCodecModuleLoad();

// The loaded FFmpeg module: its file and the FFmpeg library versions it runs with. "" while none
// is loaded.
QELPSND_API const char* acmCodecModuleDescription();

// Copies an offer into a chooser request: the format into afc->pwfx (ACMERR_NOTPOSSIBLE when
// afc->cbwfx is too small for it), the tag name and the description.
QELPSND_API MMRESULT acmFormatOfferTake(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offer);

// The size of a WAVEFORMATEX with its extra bytes.
QELPSND_API size_t acmFormatBytes(const WAVEFORMATEX* wfx);

}  // extern "C"
