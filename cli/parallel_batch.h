// `qelp convert -j N`: the files of a batch converted side by side, N at a time, each on a thread
// of its own, handed out in input order. What each file says is held back and printed in input
// order, as soon as that file and every file before it have finished; one progress bar shows the
// whole batch (files done k/n, the share of the input read, MB written, speed, time left).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "messages.h"

// One file's progress, written by the thread that converts it and read by the bar.
struct FileProgress {
  std::atomic<uint64_t> input_bytes{0};   // read so far
  std::atomic<uint64_t> output_bytes{0};  // audio data written so far
  std::atomic<double> audio_seconds{0};   // audio converted so far
};

// What the batch bar shows, summed over the files.
struct BatchView {
  size_t files = 0;
  size_t done = 0;               // files finished
  uint64_t input_total = 0;      // bytes of all inputs (0: not known)
  uint64_t input_read = 0;       // of those, read so far
  uint64_t output_bytes = 0;     // audio data written
  double audio_seconds = 0;      // audio converted
  double elapsed_seconds = 0;    // since the batch started
};

// "3/8 files" and "812.3 MB  24x real time  0:41 left" for the bar; the fraction of the input read,
// or negative when the total is not known.
std::string batch_label(const BatchView& view);
std::string batch_detail(const BatchView& view);
double batch_fraction(const BatchView& view);

struct BatchRun {
  size_t files = 0;
  unsigned jobs = 1;                   // files converted at once (at least 1)
  std::vector<uint64_t> input_sizes;   // per file, for the bar (may be empty or hold zeros)
  // What was said about each file before the run (a refused output): printed first in its place.
  std::vector<std::vector<HeldLine>> early_lines;
  // Converts file `index` and returns its exit status. Runs on a worker thread with the thread's
  // messages held; keeps `progress` up to date for the bar.
  std::function<int(size_t index, FileProgress& progress)> convert;
  // True once the batch is to stop: no further file is started (the running ones stop themselves).
  std::function<bool()> interrupted;
  bool show_bar = false;               // the batch bar on standard error
};

// -j N: a whole number of files at once from 1 to kMaxJobs; false for anything else.
constexpr unsigned kMaxJobs = 256;
bool parse_jobs(const std::string& text, unsigned* jobs);

// The processors this process may run on (as nproc counts them), at least 1: -j's default.
unsigned processor_count();

// A file's status when the batch was stopped before it started.
constexpr int kNotStarted = -1;

// Runs the batch and returns each file's exit status, kNotStarted for those never started. The
// files' held lines are printed in input order, above the bar.
std::vector<int> run_batch(BatchRun run);
