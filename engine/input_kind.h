// What an input file is, told from its first bytes (never from its name): a raw AC-3 stream, a
// WAVE file of IEC 61937 bursts, or a container for the demuxing module. Pure functions on bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelp {

enum class InputKind {
  raw,        // anything else: read as a raw AC-3 stream (the frame search tells whether it is one)
  iec61937,   // a RIFF/RF64 WAVE file whose data starts with IEC 61937 bursts
  container,  // Matroska/WebM, MP4/MOV, MPEG-PS, MPEG-TS/M2TS, AVI
};

// Where a WAVE file's data chunk lies.
struct WaveData {
  uint64_t offset = 0;  // of the data's first byte in the file
  uint64_t size = 0;    // bytes; UINT64_MAX when the header does not bound it (streamed, RF64)
};

// Classifies a file by its first n bytes (the more, the surer: 64 KiB is plenty). A file that
// begins with an AC-3 sync word is raw whatever follows.
InputKind classify_input(const uint8_t* head, size_t n);

// Finds the data chunk of a RIFF or RF64 WAVE file whose header lies in head. False when head is
// not such a file or its data chunk does not start within head.
bool find_wave_data(const uint8_t* head, size_t n, WaveData& data);

// Offset of the first IEC 61937 burst preamble (Pa 0xF872, Pb 0x4E1F as 16-bit little-endian words
// on an even offset) in bytes[0, n) that leaves room for Pc and Pd; n when there is none.
size_t find_iec61937_preamble(const uint8_t* bytes, size_t n);

// True when the first frame in bytes is E-AC-3 (bsid 11 to 16), confirmed by a sync word where its
// frame size says the next frame starts (a frame running past n decides nothing). Sync words before it
// that no frame confirms (junk) are passed over; a confirmed AC-3 frame first means false.
bool starts_with_eac3(const uint8_t* bytes, size_t n);

// The codec an IEC 61937 data type (Pc bits 0-4) carries, for messages: "AC-3", "DTS", ...
const char* iec61937_type_name(int data_type);

}  // namespace qelp
