// NormalizeThread: the normalizer worker. Pass 1 finds the peak over all channels, the gain brings
// it to full scale (or AMPLIFY gives the gain in dB), a translation table is computed once, and
// pass 2 rewrites the data chunk in 64 KiB pieces in place.
#include "normalize_thread.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

NormProgressCallback g_progress = nullptr;
NormOutcome g_outcome;
std::atomic<bool> g_arguments_taken{true};
std::atomic<bool> g_stop{false};

void report(int scanned, int normed, int state) {
  if (g_progress != nullptr) g_progress(scanned, normed, state);
}

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
void note_failure(int32_t error, const char* text, const char* reason) {
  g_outcome.error = error;
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
  if (reason != nullptr && reason[0] != '\0') {
    std::snprintf(g_outcome.message, sizeof g_outcome.message, "%.*s (%s)", static_cast<int>(n), text, reason);
  } else {
    std::snprintf(g_outcome.message, sizeof g_outcome.message, "%.*s", static_cast<int>(n), text);
  }
}

void note_pcmwav_failure() {
  diag_err("%s\n", pcmwav_error_text());
  note_failure(pcmwav_error_code(), pcmwav_error_text(), pcmwav_error_reason());
}

int32_t percent_of(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int32_t>(done * 100 / total);
}

// One run of the worker over an open file. Returns the exit code; the caller closes the file.
class NormalizeRun {
 public:
  NormalizeRun(pcmwav_file& file, unsigned char* buffer) : file_(file), buffer_(buffer) {}

  // Pass 1: the smallest and largest sample of the data chunk. 1 on success.
  int find_peak() {
    diag_err("Pass 1: Finding peak levels...\n");
    int32_t minimum = 0;
    int32_t maximum = 0;
    const uint64_t size = file_.data_size;
    uint64_t done = 0;
    int32_t last = -1;
    while (done < size) {
      if (g_stop.load(std::memory_order_relaxed)) return stopped();
      const uint32_t piece = static_cast<uint32_t>(size - done < kPieceBytes ? size - done : kPieceBytes);
      if (!pcmwav_read(&file_, buffer_, piece)) {
        note_pcmwav_failure();
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
      note_pcmwav_failure();
      return 0;
    }
    diag_err("\rMinimum level found: %d, maximum level found: %d\n", minimum, maximum);
    const int32_t full_scale = file_.bits == 16 ? 32767 : 127;
    g_outcome.minimum = minimum;
    g_outcome.maximum = maximum;
    g_outcome.peak = peak_of(minimum, maximum, full_scale);
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
        note_pcmwav_failure();
        return 0;
      }
      const int32_t full_scale = file_.bits == 16 ? 32767 : 127;
      if (file_.bits == 16) {
        if (clip_at <= full_scale + 1) g_outcome.clipped += count_clipped16(buffer_, piece, clip_at);
        apply_table16(static_cast<const int16_t*>(table), buffer_, piece);
      } else {
        if (clip_at <= full_scale + 1) g_outcome.clipped += count_clipped8(buffer_, piece, clip_at);
        apply_table8(static_cast<const uint8_t*>(table), buffer_, piece);
      }
      if (!pcmwav_seek(&file_, -static_cast<int32_t>(piece)) || !pcmwav_write(&file_, buffer_, piece)) {
        note_pcmwav_failure();
        return 0;
      }
      done += piece;
      g_outcome.processed = done;
      last = progress(done, size, last, false);
    }
    if (size == 0) progress(0, 0, last, false);
    return 1;
  }

 private:
  // Reports the integer percentage when it has grown; returns the last value reported.
  static int32_t progress(uint64_t done, uint64_t size, int32_t last, bool pass1) {
    const int32_t percent = percent_of(done, size);
    if (percent <= last) return last;
    if (pass1) {
      report(percent, 0, 0);
    } else {
      report(0, percent, 0);
    }
    diag_err("\r%d%%", percent);
    return percent;
  }

  static int stopped() {
    diag_err("\nStopped before any change.\n");
    note_failure(QELP_ERR_STATE, "The normalization was stopped before it changed the file.", nullptr);
    return 0;
  }

  pcmwav_file& file_;
  unsigned char* buffer_;
};

// Steps 3 to 10 over the open file. Returns the exit code.
int32_t normalize_open_file(pcmwav_file& file, bool fixed, double gain) {
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPieceBytes]);
  if (!buffer) {
    diag_err("Cannot allocate buffer in memory.\n");
    note_failure(QELP_ERR_MEMORY, "Cannot allocate buffer in memory.", nullptr);
    return kNormFailed;
  }
  NormalizeRun run(file, buffer.get());
  const int32_t full_scale = file.bits == 16 ? 32767 : 127;
  int32_t peak = 0;
  if (!fixed) {
    if (!run.find_peak()) return kNormFailed;
    peak = g_outcome.peak;
    gain = peak_gain(peak, full_scale);
    // The peak is already at full scale. A silent file (peak 0) is no such case: it is rewritten
    // with its zeros kept and completes.
    if (peak > 0 && gain == 1.0) {
      diag_err("No amplification required; exiting.\n");
      g_outcome.gain = 1.0;
      note_failure(QELP_OK, "No amplification required; exiting.", nullptr);
      return kNormNotRequired;
    }
  }
  g_outcome.gain = gain;
  g_outcome.gain_db = 20.0 * std::log10(gain);

  // Nothing has been changed yet: a stop request, or a data chunk that states more bytes than the
  // file holds, ends the run here rather than part way through pass 2.
  if (g_stop.load(std::memory_order_relaxed)) {
    note_failure(QELP_ERR_STATE, "The normalization was stopped before it changed the file.", nullptr);
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
    note_failure(QELP_ERR_INPUT, text, nullptr);
    return kNormFailed;
  }

  diag_err("Performing amplification of %.03f dB\n", g_outcome.gain_db);
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
    note_failure(QELP_ERR_MEMORY, "Cannot allocate translation table in memory.", nullptr);
    return kNormNoTable;
  }

  // Peak normalization brings the peak to full scale exactly: it clips nothing.
  const int32_t clip_at = fixed ? clip_magnitude(gain, full_scale) : full_scale + 2;
  if (!run.amplify(table, clip_at)) {
    // The file is only partly amplified: that is a failure, not a completion.
    std::snprintf(g_outcome.message + std::strlen(g_outcome.message),
                  sizeof g_outcome.message - std::strlen(g_outcome.message),
                  "; the file is only partly amplified (%llu of %lu data bytes)",
                  static_cast<unsigned long long>(g_outcome.processed), static_cast<unsigned long>(file.data_size));
    return kNormPass2Failed;
  }

  const auto end = std::chrono::steady_clock::now();
  const double t = std::chrono::duration<double>(end - start).count();
  diag_err("\n\nDone.\n");
  if (t < 1.0) {
    diag_err("Time taken: %.01f sec.\n", t);
  } else {
    diag_err("Time taken: %.01f sec. (throughput: %.03f MBps)\n", t,
             static_cast<double>(g_outcome.processed) / 1048576.0 / t);
  }
  return kNormCompleted;
}

}  // namespace

void normalizer_set_progress_callback(NormProgressCallback callback) { g_progress = callback; }

const NormOutcome& normalizer_outcome() { return g_outcome; }

void normalizer_prepare() {
  g_stop.store(false, std::memory_order_relaxed);
  g_arguments_taken.store(false, std::memory_order_release);
}

void normalizer_wait_for_arguments() { g_arguments_taken.wait(false, std::memory_order_acquire); }

void normalizer_request_stop() { g_stop.store(true, std::memory_order_relaxed); }
bool normalizer_stop_requested() { return g_stop.load(std::memory_order_relaxed); }

int NormalizeThread() {
  g_outcome = NormOutcome{};

  // Step 1: the arguments, from the environment only.
  char path[kPathBytes] = {};
  char amplify[kAmplifyBytes] = {};
  const char* normfile = std::getenv("NORMFILE");
  const char* amplify_env = std::getenv("AMPLIFY");
  const bool path_fits = normfile == nullptr || std::strlen(normfile) < sizeof path;
  if (normfile != nullptr && path_fits) std::memcpy(path, normfile, std::strlen(normfile) + 1);
  if (amplify_env != nullptr) std::snprintf(amplify, sizeof amplify, "%s", amplify_env);
  g_arguments_taken.store(true, std::memory_order_release);
  g_arguments_taken.notify_all();

  std::snprintf(g_outcome.path, sizeof g_outcome.path, "%s", path);
  if (!path_fits) {
    // A cut path would name another file: refuse it instead.
    diag_err("The path in NORMFILE is longer than %zu bytes.\n", sizeof path - 1);
    note_failure(QELP_ERR_ARGUMENT, "The path of the file to normalize is too long.", nullptr);
    return g_outcome.exit_code = kNormFailed;
  }
  int32_t db = parse_db(amplify);
  if (db > kMaxAmplifyDb) db = kMaxAmplifyDb;
  const bool fixed = db > 0;
  const double gain = fixed ? std::pow(10.0, db / 20.0) : 0.0;
  g_outcome.fixed = fixed ? 1 : 0;

  // Step 2: the file, opened for reading and writing without sharing.
  pcmwav_file file;
  if (!pcmwav_open(path, pcmwav_access::read_write, &file)) {
    note_pcmwav_failure();
    return g_outcome.exit_code = kNormFailed;
  }
  g_outcome.bits = file.bits;

  int32_t exit_code = normalize_open_file(file, fixed, gain);
  if (!pcmwav_close(&file) && exit_code == kNormCompleted) {
    note_pcmwav_failure();
    exit_code = kNormPass2Failed;
  }
  if (exit_code == kNormCompleted) {
    std::snprintf(g_outcome.message, sizeof g_outcome.message, "Done.");
    report(0, 0, 1);
  }
  return g_outcome.exit_code = exit_code;
}

}  // namespace qelp
