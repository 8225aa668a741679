// NormalizeThread: the normalizer worker. Pass 1 finds the peak over all channels, the gain brings
// it to full scale (or the amplification gives the gain in dB), a translation table is computed
// once, and pass 2 rewrites the data chunk in 64 KiB pieces in place.
#include "normalize_thread.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "diagnostics.h"
#include "normalize_table.h"
#include "pcmwav.h"
#include "qelpsnd.h"

namespace qelp {

namespace {

constexpr uint32_t kPieceBytes = 65536;
constexpr size_t kPathBytes = 2048;
constexpr size_t kAmplifyBytes = 40;
constexpr int32_t kMaxAmplifyDb = 1000;  // far beyond full-scale clipping; keeps the gain finite

void report(NormRun& run, int scanned, int normed, int state) {
  if (run.progress != nullptr) run.progress(run.progress_user, scanned, normed, state);
}

bool stop_requested(const NormRun& run) { return run.stop.load(std::memory_order_relaxed); }

// Decimal integer as the C library's atoi reads it: leading blanks, a sign, digits up to the first
// non-digit. Large values saturate instead of overflowing.
int32_t parse_db(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < 100000) value = value * 10 + (*p - '0');
  }
  return negative ? -value : value;
}

// Puts the failure into the outcome: the error text without its line break, with the system's
// reason when there is one.
void note_failure(NormOutcome& outcome, int32_t error, const char* text, const char* reason) {
  outcome.error = error;
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
  if (reason != nullptr && reason[0] != '\0') {
    std::snprintf(outcome.message, sizeof outcome.message, "%.*s (%s)", static_cast<int>(n), text, reason);
  } else {
    std::snprintf(outcome.message, sizeof outcome.message, "%.*s", static_cast<int>(n), text);
  }
}

void note_pcmwav_failure(NormOutcome& outcome, const pcmwav_file& file) {
  diag_err("%s\n", pcmwav_error_text(&file));
  note_failure(outcome, pcmwav_error_code(&file), pcmwav_error_text(&file), pcmwav_error_reason(&file));
}

int32_t percent_of(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int32_t>(done * 100 / total);
}

// One run of the worker over an open file. Returns the exit code; the caller closes the file.
class NormalizeRun {
 public:
  NormalizeRun(NormRun& run, pcmwav_file& file, unsigned char* buffer)
      : run_(run), file_(file), buffer_(buffer) {}

  // Pass 1: the smallest and largest sample of the data chunk. 1 on success.
  int find_peak() {
    diag_err("Pass 1: Finding peak levels...\n");
    int32_t minimum = 0;
    int32_t maximum = 0;
    const uint64_t size = file_.data_size;
    uint64_t done = 0;
    int32_t last = -1;
    while (done < size) {
      if (stop_requested(run_)) return stopped();
      const uint32_t piece = static_cast<uint32_t>(size - done < kPieceBytes ? size - done : kPieceBytes);
      if (!pcmwav_read(&file_, buffer_, piece)) {
        note_pcmwav_failure(run_.outcome, file_);
        return 0;
      }
      if (file_.bits == 16) {
        scan_peak16(buffer_, piece, &minimum, &maximum);
      } else {
        scan_peak8(buffer_, piece, &minimum, &maximum);
      }
      done += piece;
      last = progress(done, size, last, true);
    }
    if (size == 0) progress(0, 0, last, true);
    if (!pcmwav_rewind(&file_)) {
      note_pcmwav_failure(run_.outcome, file_);
      return 0;
    }
    diag_err("\rMinimum level found: %d, maximum level found: %d\n", minimum, maximum);
    const int32_t full_scale = file_.bits == 16 ? 32767 : 127;
    run_.outcome.minimum = minimum;
    run_.outcome.maximum = maximum;
    run_.outcome.peak = peak_of(minimum, maximum, full_scale);
    return 1;
  }

  // Pass 2: every sample through the table, each piece written back where it was read. Samples
  // of clip_at or more in magnitude are counted as clipped. 1 on success.
  int amplify(const void* table, int32_t clip_at) {
    const uint64_t size = file_.data_size;
    uint64_t done = 0;
    int32_t last = -1;
    while (done < size) {
      const uint32_t piece = static_cast<uint32_t>(size - done < kPieceBytes ? size - done : kPieceBytes);
      if (!pcmwav_read(&file_, buffer_, piece)) {
        note_pcmwav_failure(run_.outcome, file_);
        return 0;
      }
      const int32_t full_scale = file_.bits == 16 ? 32767 : 127;
      if (file_.bits == 16) {
        if (clip_at <= full_scale + 1) run_.outcome.clipped += count_clipped16(buffer_, piece, clip_at);
        apply_table16(static_cast<const int16_t*>(table), buffer_, piece);
      } else {
        if (clip_at <= full_scale + 1) run_.outcome.clipped += count_clipped8(buffer_, piece, clip_at);
        apply_table8(static_cast<const uint8_t*>(table), buffer_, piece);
      }
      if (!pcmwav_seek(&file_, -static_cast<int32_t>(piece)) || !pcmwav_write(&file_, buffer_, piece)) {
        note_pcmwav_failure(run_.outcome, file_);
        return 0;
      }
      done += piece;
      run_.outcome.processed = done;
      last = progress(done, size, last, false);
    }
    if (size == 0) progress(0, 0, last, false);
    return 1;
  }

 private:
  // Reports the integer percentage when it has grown; returns the last value reported.
  int32_t progress(uint64_t done, uint64_t size, int32_t last, bool pass1) {
    const int32_t percent = percent_of(done, size);
    if (percent <= last) return last;
    if (pass1) {
      report(run_, percent, 0, 0);
    } else {
      report(run_, 0, percent, 0);
    }
    diag_err("\r%d%%", percent);
    return percent;
  }

  int stopped() {
    diag_err("\nStopped before any change.\n");
    note_failure(run_.outcome, QELP_ERR_STATE, "The normalization was stopped before it changed the file.",
                 nullptr);
    return 0;
  }

  NormRun& run_;
  pcmwav_file& file_;
  unsigned char* buffer_;
};

// Steps 3 to 10 over the open file. Returns the exit code.
int32_t normalize_open_file(NormRun& run, pcmwav_file& file, bool fixed, double gain) {
  NormOutcome& outcome = run.outcome;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPieceBytes]);
  if (!buffer) {
    diag_err("Cannot allocate buffer in memory.\n");
    note_failure(outcome, QELP_ERR_MEMORY, "Cannot allocate buffer in memory.", nullptr);
    return kNormFailed;
  }
  NormalizeRun passes(run, file, buffer.get());
  const int32_t full_scale = file.bits == 16 ? 32767 : 127;
  int32_t peak = 0;
  if (!fixed) {
    if (!passes.find_peak()) return kNormFailed;
    peak = outcome.peak;
    gain = peak_gain(peak, full_scale);
    // The peak is already at full scale. A silent file (peak 0) is no such case: it is rewritten
    // with its zeros kept and completes.
    if (peak > 0 && gain == 1.0) {
      diag_err("No amplification required; exiting.\n");
      outcome.gain = 1.0;
      note_failure(outcome, QELP_OK, "No amplification required; exiting.", nullptr);
      return kNormNotRequired;
    }
  }
  outcome.gain = gain;
  outcome.gain_db = 20.0 * std::log10(gain);

  // Nothing has been changed yet: a stop request, or a data chunk that states more bytes than the
  // file holds, ends the run here rather than part way through pass 2.
  if (stop_requested(run)) {
    note_failure(outcome, QELP_ERR_STATE, "The normalization was stopped before it changed the file.",
                 nullptr);
    return kNormFailed;
  }
  const int64_t file_size = pcmwav_file_size(&file);
  if (file_size >= 0 && static_cast<uint64_t>(file_size) < static_cast<uint64_t>(file.data_offset) + file.data_size) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "The data chunk states %lu bytes but the file holds only %lld after its header; nothing was changed.",
                  static_cast<unsigned long>(file.data_size),
                  static_cast<long long>(file_size - file.data_offset));
    diag_err("%s\n", text);
    note_failure(outcome, QELP_ERR_INPUT, text, nullptr);
    return kNormFailed;
  }

  diag_err("Performing amplification of %.03f dB\n", outcome.gain_db);
  diag_err("\nAmplifying...\n");
  const auto start = std::chrono::steady_clock::now();

  std::unique_ptr<int16_t[]> table16;
  std::unique_ptr<uint8_t[]> table8;
  const void* table = nullptr;
  if (file.bits == 16) {
    table16.reset(new (std::nothrow) int16_t[kTable16Entries]);
    if (table16) build_table16(table16.get(), gain, fixed ? 0 : peak);
    table = table16.get();
  } else {
    table8.reset(new (std::nothrow) uint8_t[kTable8Entries]);
    if (table8) build_table8(table8.get(), gain, fixed ? 0 : peak);
    table = table8.get();
  }
  if (table == nullptr) {
    diag_err("Cannot allocate translation table in memory.\n");
    note_failure(outcome, QELP_ERR_MEMORY, "Cannot allocate translation table in memory.", nullptr);
    return kNormNoTable;
  }

  // Peak normalization brings the peak to full scale exactly: it clips nothing.
  const int32_t clip_at = fixed ? clip_magnitude(gain, full_scale) : full_scale + 2;
  if (!passes.amplify(table, clip_at)) {
    // The file is only partly amplified: that is a failure, not a completion.
    std::snprintf(
        outcome.message + std::strlen(outcome.message), sizeof outcome.message - std::strlen(outcome.message),
        "; the file is only partly amplified (%llu of %lu data bytes)",
        static_cast<unsigned long long>(outcome.processed), static_cast<unsigned long>(file.data_size));
    return kNormPass2Failed;
  }

  const auto end = std::chrono::steady_clock::now();
  const double t = std::chrono::duration<double>(end - start).count();
  diag_err("\n\nDone.\n");
  if (t < 1.0) {
    diag_err("Time taken: %.01f sec.\n", t);
  } else {
    diag_err("Time taken: %.01f sec. (throughput: %.03f MBps)\n", t,
             static_cast<double>(outcome.processed) / 1048576.0 / t);
  }
  return kNormCompleted;
}

}  // namespace

int NormalizeThread(NormRun& run) {
  NormOutcome& outcome = run.outcome;
  outcome = NormOutcome{};

  // Step 1: the arguments, as the run was given them.
  char path[kPathBytes] = {};
  char amplify[kAmplifyBytes] = {};
  const char* given_path = run.path;
  const bool path_fits = given_path == nullptr || std::strlen(given_path) < sizeof path;
  if (given_path != nullptr && path_fits) std::memcpy(path, given_path, std::strlen(given_path) + 1);
  if (run.amplify != nullptr) std::snprintf(amplify, sizeof amplify, "%s", run.amplify);

  std::snprintf(outcome.path, sizeof outcome.path, "%s", path);
  if (!path_fits) {
    // A cut path would name another file: refuse it instead.
    diag_err("The path in NORMFILE is longer than %zu bytes.\n", sizeof path - 1);
    note_failure(outcome, QELP_ERR_ARGUMENT, "The path of the file to normalize is too long.", nullptr);
    return outcome.exit_code = kNormFailed;
  }
  int32_t db = parse_db(amplify);
  if (db > kMaxAmplifyDb) db = kMaxAmplifyDb;
  const bool fixed = db > 0;
  const double gain = fixed ? std::pow(10.0, db / 20.0) : 0.0;
  outcome.fixed = fixed ? 1 : 0;

  // Step 2: the file, opened for reading and writing without sharing.
  pcmwav_file file;
  if (!pcmwav_open(path, pcmwav_access::read_write, &file)) {
    note_pcmwav_failure(outcome, file);
    return outcome.exit_code = kNormFailed;
  }
  outcome.bits = file.bits;

  int32_t exit_code = normalize_open_file(run, file, fixed, gain);
  if (!pcmwav_close(&file) && exit_code == kNormCompleted) {
    note_pcmwav_failure(outcome, file);
    exit_code = kNormPass2Failed;
  }
  if (exit_code == kNormCompleted) {
    std::snprintf(outcome.message, sizeof outcome.message, "Done.");
    report(run, 0, 0, 1);
  }
  return outcome.exit_code = exit_code;
}

}  // namespace qelp
