// A test-side AC-3 frame writer: builds syncframes with chosen syncinfo, bsi and audio block side
// information, derives exponents from a chosen spectrum, runs the bit allocation the side
// information implies, quantizes the mantissas to the widths that allocation gives, and sets both
// CRCs. The frames are meant to be genuine A/52 syncframes that any decoder accepts.
//
// Use:
//   ac3test::frame_writer writer;                       // keeps reuse state from frame to frame
//   ac3test::frame_plan f = ac3test::make_frame_plan(0, 16, 7, 1);  // 48 kHz, 128 kbit/s, 3/2+LFE
//   f.fbw[b][ch][bin] = 0.25f;  ...                      // the signal, block by block
//   ac3test::fit_snr_offset(writer, f);                  // optional: largest csnroffst that fits
//   ac3test::written_frame w = writer.write(f);          // bytes, positions, the allocation used
//
// Side information is given in ac3::bsi and ac3::audblk records (the decoder's own field names).
// Only the fields that the stream carries in a block are written, under exactly the conditions a
// decoder reads them; a field not carried keeps its earlier value in the writer's state, as in the
// decoder. Exponents, exponent groups (exps, cplabsexp, cplexps, lfeexps) and the derived limits
// are computed by the writer; whatever the plan holds in them is ignored.
//
// The bit allocation is computed here, independently of the decoder, with these readings where a
// decoder could differ: new coupling leak values (cplleake) recompute the allocation like any other
// new allocation data; delta segments count bands from the channel's first band (for the coupling
// channel, the band of cplstrtmant); csnroffst 0 with every fine offset 0 gives all-zero baps.
// ffmpeg reads the first two the same way. It zeroes a channel whose own offsets are both 0 even
// when other fine offsets are not, so for streams every decoder reads the same way do not use
// csnroffst 0; and let block 0 of every frame send every strategy anew (exponents, cplstre, baie,
// snroffste, deltbaie, cplleake, coupling coordinates, rematstr), as make_frame_plan does. In 2/0
// with rematrixing give both channels the same bandwidth: ffmpeg rematrixes only up to the smaller
// of the two, the decoder up to bin 252 (or the coupling start). And ffmpeg spoils one block of
// overlap in some channels the first time the channels of a block use different blksw, unless that
// first time is the stream's first block: let channels differ in blksw from block 0 of frame 0 on.
//
// chbwcod 61..63 are written as given (exponents stop at bin 255, the allocation at bin 252): such
// a frame is invalid and a decoder must reject it. Everything else that cannot be written as asked
// throws: content beyond the frame, a field wider than its width, cplbegf beyond cplendf + 2, a
// delta segment past band 49, an override that finds no target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ac3/records.h"

namespace ac3test {

constexpr int kBlocks = 6;

// Replaces one coded exponent group in the stream (for the invalid-group error path).
struct exponent_group_override {
  int block = 0;
  int channel = 0;     // 0..4 a full-bandwidth channel, kCpl the coupling channel, kLfe the LFE
  int group = 0;       // index of the 7-bit group (0 = first group after the absolute exponent)
  int value = 125;
  static constexpr int kCpl = 5;
  static constexpr int kLfe = 6;
};

// Replaces the first mantissa code of the given bap in a block (for the invalid-code error paths).
// For the grouped baps 1, 2 and 4 the whole group code is replaced.
struct mantissa_code_override {
  int block = 0;
  int bap = 1;
  uint32_t code = 27;
};

struct frame_plan {
  uint16_t fscod = 0;       // 0: 48 kHz, 1: 44.1 kHz, 2: 32 kHz
  uint16_t frmsizecod = 0;  // 0..37
  ac3::bsi bsi{};           // bsid .. addbsi as written; nfchans is derived from acmod
  ac3::audblk blocks[kBlocks]{};  // side information of each block

  // The signal, as transform coefficients in fractions of full scale (the decoder's coefficient
  // is mantissa x 2^-exponent). New exponents are derived from it; mantissas are quantized against
  // the exponents in force (kept ones when the strategy is reuse; values beyond them are clipped).
  // A channel in coupling uses only its bins below cplstrtmant; cpl holds the coupling channel.
  float fbw[kBlocks][5][256]{};
  float cpl[kBlocks][256]{};
  float lfe[kBlocks][7]{};

  std::vector<exponent_group_override> exponent_overrides;
  std::vector<mantissa_code_override> mantissa_overrides;
};

// Transform coefficients as a decoder holds them after unpacking one block (decoupled, before
// rematrixing): slots 0..4 the full-bandwidth channels, slot 5 the LFE. NaN marks a bin filled with
// dither, whose value only the decoder's noise generator knows.
using coefficient_block = std::array<std::array<float, 256>, 6>;

struct written_frame {
  std::vector<uint8_t> bytes;  // the whole syncframe, 2 x frame_size bytes
  // Bit positions counted from the byte after fscod/frmsizecod (the decoder's bits_position()).
  int bsi_end = 0;                  // where the first audio block begins
  int mantissas_begin[kBlocks] = {};  // where each block's side information ends
  int mantissas_end[kBlocks] = {};    // where each block's last mantissa ends
  int body_bits = 0;                // bits in the frame after fscod/frmsizecod
  // The writer's state after each block: every field as a decoder holds it after read_audblk,
  // expand_exponents and allocate_bits (exponent groups, derived limits, exponents, baps).
  std::vector<ac3::audblk> after_block;
  ac3::bsi bsi{};                   // with nfchans
  coefficient_block coefficients[kBlocks];
  int mantissa_count[kBlocks][16] = {};  // mantissas coded with each bap, per block
  int spanning_groups[kBlocks][16] = {}; // groups (bap 1, 2, 4) whose values lie in two channels
  // Exponent group codes as written, per block: [0..4] full-bandwidth channels (entry 0 the
  // absolute exponent), [5] coupling (entry 0 cplabsexp), [6] LFE. Empty where none were sent.
  std::vector<uint16_t> exponent_groups[kBlocks][7];
};

class frame_writer {
 public:
    // Builds one syncframe; throws std::runtime_error when the content does not fit the frame or a
  // field does not fit its width, std::invalid_argument for an override that found no target.
  written_frame write(const frame_plan& plan);

  // The state a decoder would hold after the last block written.
  const ac3::audblk& state() const { return state_; }

 private:
  ac3::audblk state_{};
};

// A frame plan with a sensible block 0 (new D15 exponents for every channel, chbwcod 60, typical
// bit allocation parameters, csnroffst 15, fsnroffst 0, fgaincod 4, no coupling, rematstr with no
// flags, no delta allocation) and blocks 1..5 that reuse everything. bsid 8, bsmod 0, no extras.
frame_plan make_frame_plan(int fscod, int frmsizecod, int acmod, int lfeon);

// Sets csnroffst (in every block that sends snroffste) to the largest value 1..63 for which the
// frame fits; fsnroffst, cplfsnroffst and lfefsnroffst are left as they are. Returns the value,
// or throws when not even 1 fits.
int fit_snr_offset(const frame_writer& writer, frame_plan& plan);

// Frame size in 16-bit words and nominal bit rate.
int frame_words(int fscod, int frmsizecod);
int frame_kbps(int frmsizecod);

// Codes for a coupling coordinate: the decoder scales the coupling channel by
// (cplcomant + 16) / 32 x 2^-(cplcoexp + 3 mstrcplco) x 8 (cplcoexp < 15), so 1.0 is exp 2, mant 0.
struct coupling_coordinate {
  uint16_t cplcoexp;
  uint16_t cplcomant;
};
coupling_coordinate coupling_coordinate_for(double gain, int mstrcplco);

// Writes frames one after the other into a file; throws on an I/O failure.
void write_ac3_file(const std::string& path, const std::vector<written_frame>& frames);

// The A/52 CRC (generator x^16 + x^15 + x^2 + 1, register starting at 0) over bytes.
uint16_t crc16_of(const uint8_t* data, size_t n, uint16_t start = 0);

}  // namespace ac3test
