#include "input_kind.h"

#include <cstring>
#include <initializer_list>

#include "ac3/frame_size_table.h"
#include "platform/little_endian.h"

namespace qelp {

namespace {

bool at(const uint8_t* head, size_t n, size_t offset, const char* text) {
  const size_t len = std::strlen(text);
  return offset + len <= n && std::memcmp(head + offset, text, len) == 0;
}

// A transport stream: a packet sync byte every `stride` bytes from `first`, three times.
bool transport_stream(const uint8_t* head, size_t n, size_t first, size_t stride) {
  for (size_t k = 0; k < 3; ++k) {
    const size_t i = first + k * stride;
    if (i >= n || head[i] != 0x47) return false;
  }
  return true;
}

bool is_container(const uint8_t* head, size_t n) {
  static const uint8_t kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};                  // Matroska, WebM
  static const uint8_t kPackStart[4] = {0x00, 0x00, 0x01, 0xBA};             // MPEG-PS pack header
  if (n >= 4 && std::memcmp(head, kEbml, 4) == 0) return true;
  if (n >= 4 && std::memcmp(head, kPackStart, 4) == 0) return true;
  for (const char* box : {"ftyp", "moov", "mdat", "free", "wide", "skip"}) {  // MP4, MOV
    if (at(head, n, 4, box)) return true;
  }
  if (at(head, n, 0, "RIFF") && at(head, n, 8, "AVI ")) return true;
  return transport_stream(head, n, 0, 188) || transport_stream(head, n, 4, 192);  // TS, M2TS
}

}  // namespace

bool find_wave_data(const uint8_t* head, size_t n, WaveData& data) {
  const bool rf64 = at(head, n, 0, "RF64");
  if (!(at(head, n, 0, "RIFF") || rf64) || !at(head, n, 8, "WAVE")) return false;
  uint64_t ds64_data_size = UINT64_MAX;
  size_t pos = 12;  // "RIFF" size "WAVE"
  while (pos + 8 <= n) {
    const uint32_t size = le32(head + pos + 4);
    if (at(head, n, pos, "ds64") && pos + 8 + 16 <= n) ds64_data_size = le64(head + pos + 8 + 8);
    if (at(head, n, pos, "data")) {
      data.offset = pos + 8;
      data.size = size == 0xFFFFFFFFu ? ds64_data_size : size;
      return true;
    }
    pos += 8 + static_cast<size_t>(size) + (size & 1u);
  }
  return false;
}

size_t find_iec61937_preamble(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i + 8 <= n; i += 2) {
    if (bytes[i] == 0x72 && bytes[i + 1] == 0xF8 && bytes[i + 2] == 0x1F && bytes[i + 3] == 0x4E) return i;
  }
  return n;
}

InputKind classify_input(const uint8_t* head, size_t n) {
  if (n >= 2 && head[0] == 0x0B && head[1] == 0x77) return InputKind::raw;
  WaveData data;
  if (find_wave_data(head, n, data)) {
    const size_t start = static_cast<size_t>(data.offset);
    return find_iec61937_preamble(head + start, n - start) < n - start ? InputKind::iec61937 : InputKind::raw;
  }
  return is_container(head, n) ? InputKind::container : InputKind::raw;
}

bool starts_with_eac3(const uint8_t* p, size_t n) {
  for (size_t i = 0; i + 6 <= n; ++i) {
    if (p[i] != 0x0B || p[i + 1] != 0x77) continue;
    const int bsid = p[i + 5] >> 3;
    size_t frame = 0;
    if (bsid > 10 && bsid <= 16) {
      frame = 2 * ((static_cast<size_t>(p[i + 2] & 0x07) << 8 | p[i + 3]) + 1);  // frmsiz + 1 words
    } else if (bsid <= 8) {
      const int fscod = p[i + 4] >> 6;
      const int frmsizecod = p[i + 4] & 0x3F;
      if (fscod < 3 && frmsizecod < ac3::kFrameSizeCodes)
        frame = 2u * ac3::frame_size_table[frmsizecod].words[fscod];
    }
    // Only a frame that the next sync word confirms decides; one that runs past n tells nothing.
    if (frame == 0 || i + frame + 2 > n) continue;
    if (p[i + frame] == 0x0B && p[i + frame + 1] == 0x77) return bsid > 10;
  }
  return false;
}

const char* iec61937_type_name(int type) {
  switch (type) {
    case 1: return "AC-3";
    case 4: case 5: case 6: case 8: case 9: case 10: return "MPEG audio";
    case 7: case 19: case 20: return "AAC";
    case 11: case 12: case 13: case 17: return "DTS";
    case 21: return "E-AC-3";
    case 22: return "TrueHD";
    default: return "an unknown format";
  }
}

}  // namespace qelp
