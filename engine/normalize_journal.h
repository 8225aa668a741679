// The normalization journal: a small file beside the WAVE file (its name with ".qelpnorm" added)
// that lets a normalization cut off in pass 2 — by a kill, a crash, a stop — be finished later, to
// exactly the bytes an uninterrupted run gives.
//
// Why beside the file and not a chunk in it: the WAVE file stays a plain WAVE file at every moment
// (other programs read it while a run is cut off, and a finished run leaves exactly the bytes it
// always did), the journal is written and removed without moving the audio data or touching the
// RIFF sizes, and a small file of its own is cheap to rewrite in place. The cost: the journal must
// stay with the file; the writer removes a journal it finds when it creates a new file there.
//
// What it holds (the record): the file it belongs to (its data chunk, size and inode), the run (peak
// or fixed gain and what the gain table is built from), the clipped samples so far, and the progress:
// the data bytes rewritten for certain, and the piece being rewritten when the record was written.
// Pass 2 writes the record before each piece goes back to the file. The piece is split at the
// file's 4 KiB page boundaries, and for each part the record keeps a hash of its bytes before and
// after the table: the system writes a file page by page, so a write cut off by a kill leaves each
// part wholly old or wholly new, and the hashes tell which parts still need the table.
//
// The record goes into one of two slots in turn, each with a checksum, so that a record cut off
// while it is written leaves the other one. It is written with the file's own byte order: the
// journal is machine-local and short-lived.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelp {

// A piece of pass 2 is split at these file offsets.
constexpr uint32_t kJournalPageBytes = 4096;
// The parts of one piece of at most 64 KiB.
constexpr int kJournalMaxParts = 65536 / kJournalPageBytes + 1;

struct NormJournalRecord {
  uint64_t sequence = 0;  // grows with every record written; the larger slot is the current one
  // The file.
  uint64_t inode = 0;
  uint64_t file_size = 0;
  uint32_t data_offset = 0;
  uint32_t data_size = 0;
  int32_t bits = 0;
  // The run: the gain table is built from gain and peak as in an uninterrupted run.
  int32_t fixed = 0;
  int32_t peak = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t reserved = 0;
  double gain = 0.0;
  // Progress.
  uint64_t done = 0;                       // data bytes rewritten for certain
  uint64_t clipped = 0;                    // samples clipped in those
  uint32_t piece_bytes = 0;                // the piece at done being written (0: none)
  uint32_t parts = 0;                      // its parts
  uint64_t piece_clipped = 0;              // samples clipped in it
  uint64_t before[kJournalMaxParts] = {};  // hash of each part's bytes before the table
  uint64_t after[kJournalMaxParts] = {};   // and after it
};

// The parts of the piece of n bytes at data offset `done`: their lengths into lengths (at most
// kJournalMaxParts); returns their count.
int journal_parts(uint32_t data_offset, uint64_t done, uint32_t n, uint32_t* lengths);

// A fast 64-bit hash of n bytes.
uint64_t journal_hash(const unsigned char* data, size_t n);

class NormJournal {
 public:
  NormJournal() = default;
  ~NormJournal();
  NormJournal(const NormJournal&) = delete;
  NormJournal& operator=(const NormJournal&) = delete;

  // The journal's path for the WAVE file at wav_path; false when it does not fit.
  static bool path_for(const char* wav_path, char* out, size_t size);

  // Reads the journal beside wav_path. Returns 1 with the current record; 0 when there is none, or
  // one without a valid record (cut off before its first record was complete: nothing was changed
  // yet); -1 when it cannot be read (reason in why).
  static int load(const char* wav_path, NormJournalRecord* record, char* why, size_t why_size);

  // Creates (or takes over) the journal beside wav_path with its first record and makes it
  // reach the disk. False with the system's reason in why.
  bool create(const char* wav_path, NormJournalRecord& first, char* why, size_t why_size);

  // Writes the next record (its sequence is set here) into the other slot. False on failure.
  bool write(NormJournalRecord& record);

  // Removes the journal (the run has completed) and closes it. False when it cannot be removed.
  bool remove();

  // Removes the journal beside wav_path if there is one (a new file was created there).
  static void discard(const char* wav_path);

 private:
  int fd_ = -1;
  uint64_t sequence_ = 0;
  char path_[1100] = {};
};

}  // namespace qelp
