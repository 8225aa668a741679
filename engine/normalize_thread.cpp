// NormalizeThread: the normalizer worker. Pass 1 finds the peak over all channels, the gain brings
// it to full scale (or the amplification gives the gain in dB), a translation table is computed
// once, and pass 2 rewrites the data chunk in 64 KiB pieces in place.
#include "normalize_thread.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "diagnostics.h"
#include "normalize_journal.h"
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

  // Pass 2 from record.done on: every sample through the table, each piece written back where it
  // was read, the journal's record written before each piece goes back. Samples of clip_at or more
  // in magnitude are counted as clipped. 1 on success; kNormStopped when asked to pause; 0 on failure.
  int amplify(const void* table, int32_t clip_at, NormJournal& journal, NormJournalRecord& record) {
    const uint64_t size = file_.data_size;
    uint64_t done = record.done;
    int32_t last = -1;
    if (!pcmwav_seek_data(&file_, done)) {
      note_pcmwav_failure(run_.outcome, file_);
      return 0;
    }
    while (done < size) {
      if (run_.pause.load(std::memory_order_relaxed)) {
        record.piece_bytes = 0;
        record.parts = 0;
        if (!journal.write(record)) return journal_failure();
        return kNormStopped;
      }
      const uint32_t piece = static_cast<uint32_t>(size - done < kPieceBytes ? size - done : kPieceBytes);
      if (!pcmwav_read(&file_, buffer_, piece)) {
        note_pcmwav_failure(run_.outcome, file_);
        return 0;
      }
      uint32_t lengths[kJournalMaxParts];
      const int parts = journal_parts(static_cast<uint32_t>(file_.data_offset), done, piece, lengths);
      hash_parts(lengths, parts, record.before);
      const uint64_t piece_clipped = clip_at <= full_scale() + 1 ? count_clipped(buffer_, piece, clip_at) : 0;
      apply(table, buffer_, piece);
      hash_parts(lengths, parts, record.after);
      record.done = done;
      record.piece_bytes = piece;
      record.parts = static_cast<uint32_t>(parts);
      record.piece_clipped = piece_clipped;
      if (!journal.write(record)) return journal_failure();
      if (!pcmwav_seek(&file_, -static_cast<int32_t>(piece)) || !pcmwav_write(&file_, buffer_, piece)) {
        note_pcmwav_failure(run_.outcome, file_);
        return 0;
      }
      done += piece;
      record.clipped += piece_clipped;
      record.done = done;
      run_.outcome.clipped = record.clipped;
      run_.outcome.processed = done;
      last = progress(done, size, last, false);
    }
    if (size == 0) progress(0, 0, last, false);
    return 1;
  }

  // The piece a cut-off run was writing (record.piece_bytes at record.done), made whole: each part
  // that still holds its bytes from before the table gets the table, each that holds the bytes
  // after it is kept. 1 on success; 0 when a part holds neither (the file changed since).
  int repair_piece(const void* table, NormJournalRecord& record) {
    const uint32_t piece = record.piece_bytes;
    if (piece == 0) return 1;
    if (piece > kPieceBytes || record.done + piece > file_.data_size) return damaged_journal();
    if (!pcmwav_seek_data(&file_, record.done) || !pcmwav_read(&file_, buffer_, piece)) {
      note_pcmwav_failure(run_.outcome, file_);
      return 0;
    }
    uint32_t lengths[kJournalMaxParts];
    const int parts = journal_parts(static_cast<uint32_t>(file_.data_offset), record.done, piece, lengths);
    if (static_cast<uint32_t>(parts) != record.parts) return damaged_journal();
    unsigned char* part = buffer_;
    for (int i = 0; i < parts; part += lengths[i], ++i) {
      const uint64_t h = journal_hash(part, lengths[i]);
      if (h == record.after[i]) continue;
      if (h != record.before[i]) return damaged_journal();
      apply(table, part, lengths[i]);
    }
    if (!pcmwav_seek(&file_, -static_cast<int32_t>(piece)) || !pcmwav_write(&file_, buffer_, piece)) {
      note_pcmwav_failure(run_.outcome, file_);
      return 0;
    }
    record.done += piece;
    record.clipped += record.piece_clipped;
    record.piece_bytes = 0;
    record.parts = 0;
    record.piece_clipped = 0;
    run_.outcome.clipped = record.clipped;
    return 1;
  }

 private:
  int32_t full_scale() const { return file_.bits == 16 ? 32767 : 127; }

  void apply(const void* table, unsigned char* bytes, uint32_t n) const {
    if (file_.bits == 16) {
      apply_table16(static_cast<const int16_t*>(table), bytes, n);
    } else {
      apply_table8(static_cast<const uint8_t*>(table), bytes, n);
    }
  }

  uint64_t count_clipped(const unsigned char* bytes, uint32_t n, int32_t clip_at) const {
    return file_.bits == 16 ? count_clipped16(bytes, n, clip_at) : count_clipped8(bytes, n, clip_at);
  }

  void hash_parts(const uint32_t* lengths, int parts, uint64_t* hashes) const {
    const unsigned char* part = buffer_;
    for (int i = 0; i < parts; part += lengths[i], ++i) hashes[i] = journal_hash(part, lengths[i]);
  }

  int journal_failure() {
    note_failure(run_.outcome, QELP_ERR_OUTPUT, "The journal of the normalization cannot be written.",
                 std::strerror(errno != 0 ? errno : EIO));
    return 0;
  }

  int damaged_journal() {
    note_failure(run_.outcome, QELP_ERR_INPUT,
                 "The file changed since its normalization was cut off; it cannot be finished.", nullptr);
    return 0;
  }

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
// resume: the record of an interrupted run found in the file's journal, which this run finishes
// (its gain and table, from where it stopped), or nullptr for a new run.
int32_t normalize_open_file(NormRun& run, pcmwav_file& file, bool fixed, double gain,
                            const NormJournalRecord* resume) {
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
  if (resume != nullptr) {
    fixed = resume->fixed != 0;
    gain = resume->gain;
    peak = resume->peak;
    outcome.fixed = resume->fixed;
    outcome.minimum = resume->minimum;
    outcome.maximum = resume->maximum;
    outcome.peak = resume->peak;
    outcome.resumed = 1;
    outcome.resumed_from = resume->done + resume->piece_bytes;
    diag_err("Finishing the normalization that was cut off after %llu of %lu data bytes.\n",
             static_cast<unsigned long long>(outcome.resumed_from),
             static_cast<unsigned long>(file.data_size));
  } else if (!fixed) {
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
  if (resume == nullptr && stop_requested(run)) {
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

  // The journal is in place before the first sample changes (normalize_journal.h).
  NormJournalRecord record;
  if (resume != nullptr) {
    record = *resume;
  } else {
    struct stat st {};
    record.inode = fstat(file.handle, &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
    record.file_size = static_cast<uint64_t>(file_size);
    record.data_offset = static_cast<uint32_t>(file.data_offset);
    record.data_size = file.data_size;
    record.bits = file.bits;
    record.fixed = fixed ? 1 : 0;
    record.peak = fixed ? 0 : peak;
    record.minimum = outcome.minimum;
    record.maximum = outcome.maximum;
    record.gain = gain;
  }
  NormJournal journal;
  char why[256] = "";
  if (!journal.create(outcome.path, record, why, sizeof why)) {
    char text[256];
    std::snprintf(
        text, sizeof text,
        "The journal that lets a cut-off normalization be finished cannot be written beside the file; "
        "nothing was changed.");
    diag_err("%s (%s)\n", text, why);
    note_failure(outcome, QELP_ERR_OUTPUT, text, why);
    return kNormFailed;
  }
  if (!passes.repair_piece(table, record)) return kNormPass2Failed;
  const int amplified = passes.amplify(table, clip_at, journal, record);
  if (amplified == kNormStopped) {
    diag_err("\nStopped; the journal beside the file lets the next run finish it.\n");
    char text[256];
    std::snprintf(text, sizeof text,
                  "The normalization was stopped after %llu of %lu data bytes; run it again to finish it.",
                  static_cast<unsigned long long>(record.done), static_cast<unsigned long>(file.data_size));
    note_failure(outcome, QELP_ERR_STATE, text, nullptr);
    return kNormStopped;
  }
  if (amplified == 0) {
    // The file is only partly amplified: that is a failure, not a completion. The journal stays.
    std::snprintf(
        outcome.message + std::strlen(outcome.message), sizeof outcome.message - std::strlen(outcome.message),
        "; the file is only partly amplified (%llu of %lu data bytes); run the normalization again to finish "
        "it",
        static_cast<unsigned long long>(outcome.processed), static_cast<unsigned long>(file.data_size));
    return kNormPass2Failed;
  }
  // Every sample is rewritten: the journal goes. (The data is not forced to the disk first: that
  // would double the time of a run, and the journal guards against the process being cut off, a
  // kill or a crash, in which the system keeps what was written; not against a power failure.)
  if (!journal.remove()) diag_err("The journal beside %s could not be removed.\n", outcome.path);

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

  // An interrupted run on this file is finished before any new one starts.
  NormJournalRecord resume;
  char why[256] = "";
  const int journal = NormJournal::load(path, &resume, why, sizeof why);
  if (journal != 0) {
    struct stat st {};
    const bool same_file = journal > 0 && fstat(file.handle, &st) == 0 &&
                           resume.inode == static_cast<uint64_t>(st.st_ino) &&
                           resume.file_size == static_cast<uint64_t>(st.st_size) &&
                           resume.data_offset == static_cast<uint32_t>(file.data_offset) &&
                           resume.data_size == file.data_size && resume.bits == file.bits;
    if (!same_file) {
      char text[2400];
      char journal_path[1100];
      NormJournal::path_for(path, journal_path, sizeof journal_path);
      std::snprintf(text, sizeof text,
                    "%s, the journal of a cut-off normalization, %s; nothing was changed (remove it to start "
                    "afresh, if the file is known to be whole)",
                    journal_path, journal < 0 ? "cannot be read" : "belongs to another version of this file");
      diag_err("%s\n", text);
      note_failure(outcome, QELP_ERR_INPUT, text, journal < 0 ? why : nullptr);
      pcmwav_close(&file);
      return outcome.exit_code = kNormFailed;
    }
  }
  int32_t exit_code = normalize_open_file(run, file, fixed, gain, journal > 0 ? &resume : nullptr);
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
