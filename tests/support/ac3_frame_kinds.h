// Kinds of frame sequence for the frame writer: one per channel layout and per parsing branch, each
// a few frames of a dense, deterministic spectrum. The branch tests read them back with the
// decoder's parser; the reference-decoder tests feed them to ffmpeg.
//
// A stream without dither for comparing two decoders sample by sample:
//   const auto frames = frame_kinds::write_kind(frame_kinds::kind_named("block_switching_dither"), 20,
//       [](ac3test::frame_plan& f, int) { for (auto& a : f.blocks) for (auto& d : a.dithflag) d = 0; });
//   ac3test::write_ac3_file(path, frames);
// Each written_frame also carries the coefficients a decoder must rebuild, block by block.
#pragma once

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "support/ac3_frame_writer.h"

namespace frame_kinds {

struct kind {
  std::string name;
  int fscod;
  int frmsizecod;
  int acmod;
  int lfeon;
  // Changes a frame plan made by make_frame_plan (frame is the index in the sequence).
  std::function<void(ac3test::frame_plan&, int frame)> shape;
};

// Names the kind in test output.
inline void PrintTo(const kind& k, std::ostream* os) { *os << k.name; }

// Every kind: acmod 0..7 with and without LFE, the exponent strategies, coupling cases, rematrixing
// band counts, delta bit allocation, block switching, dither, addbsi, skip fields, dual mono.
const std::vector<kind>& all_kinds();

// A spectrum with bins spread over many levels (and so over every bap), deterministic per seed.
void fill_signal(ac3test::frame_plan& f, unsigned seed);

// Coupling from block 0 in the channels of mask (bit ch), with coordinates in every channel.
void enable_coupling(ac3test::frame_plan& f, int cplbegf, int cplendf, unsigned mask, bool phase_flags);

// Writes frames of a kind with one writer: make_frame_plan, signal, the kind's shape, then adjust
// (when given, for example to clear every dithflag), then the largest csnroffst that fits.
std::vector<ac3test::written_frame> write_kind(const kind& k, int frames,
                                               const std::function<void(ac3test::frame_plan&, int frame)>& adjust = nullptr);

// The kind of that name; throws std::out_of_range when there is none.
const kind& kind_named(const std::string& name);

}  // namespace frame_kinds
