// The AC-3 stream inside a WAVE file of IEC 61937 bursts (an "AC-3 CD", an S/PDIF capture): each
// burst is a preamble of four 16-bit little-endian words — Pa 0xF872, Pb 0x4E1F, Pc (bits 0-4 the
// data type, 1 for AC-3), Pd (the payload's length, in bits for AC-3) — then the payload, one AC-3
// frame in 16-bit little-endian words, then zeros up to the next burst. The source hands out the
// payloads' bytes in stream order. Null and pause bursts carry no audio and are passed over; a
// burst of another codec (DTS, E-AC-3, ...) before any AC-3 burst ends the stream and is named by
// foreign_type(), one after AC-3 bursts is passed over.
#pragma once

#include <cstdint>
#include <cstdio>

#include "input_source.h"

namespace qelp {

class Iec61937Source final : public InputSource {
 public:
  // Reads file (which it closes) from the data chunk's first byte for data_size bytes (UINT64_MAX:
  // to the file's end).
  Iec61937Source(std::FILE* file, uint64_t data_offset, uint64_t data_size);
  ~Iec61937Source() override;

  uint64_t position() const override { return position_; }

  // The data type of a burst of another codec met before any AC-3 burst; 0 when none was.
  int foreign_type() const { return foreign_type_; }

 protected:
  size_t fetch(uint8_t* dest, size_t n) override;

 private:
  // The next 16-bit word of the data; false at its end.
  bool next_word(uint16_t& word);
  // Finds the next burst and takes its preamble; false at the data's end (or a foreign stream).
  bool next_burst();

  std::FILE* file_;
  uint64_t position_;      // bytes of the file read
  uint64_t data_left_;     // bytes of the data chunk not yet read
  uint8_t buffer_[65536];
  size_t buffer_size_ = 0;
  size_t buffer_at_ = 0;
  uint32_t payload_left_ = 0;  // AC-3 bytes of the current burst still to hand out
  bool odd_byte_held_ = false; // the low byte of the last word is still to be handed out
  uint8_t held_byte_ = 0;
  bool seen_ac3_ = false;
  int foreign_type_ = 0;
  bool ended_ = false;
};

}  // namespace qelp
