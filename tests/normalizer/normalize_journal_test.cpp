// The normalization journal: a run cut off in pass 2 — stopped, killed at any moment, cut off in
// the middle of a piece — is finished by the next run to exactly the bytes of an uninterrupted run.
#include "normalize_journal.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "normalize_thread.h"
#include "qelpsnd.h"
#include "support/paths.h"
#include "worker_harness.h"

using namespace normalizer_test;

namespace {

// A 16-bit stereo file of n samples whose peak is well below full scale, with content that differs
// from piece to piece (so that a piece rewritten twice, or not at all, shows).
Bytes test_file(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(static_cast<int>(random() % 20001) - 10000);
  return wav_bytes(pcm16(s));
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string journal_of(const std::string& wav) {
  char path[1200];
  EXPECT_TRUE(qelp::NormJournal::path_for(wav.c_str(), path, sizeof path));
  return path;
}

TEST(NormJournalParts, APieceIsSplitAtTheFilesPageBoundaries) {
  uint32_t lengths[qelp::kJournalMaxParts];
  // Data at 46: the first part ends at file offset 4096.
  int parts = qelp::journal_parts(46, 0, 65536, lengths);
  ASSERT_EQ(parts, 17);
  EXPECT_EQ(lengths[0], 4096u - 46);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(lengths[i], 4096u);
  EXPECT_EQ(lengths[16], 46u);
  // A piece that starts on a boundary, and a short last piece.
  parts = qelp::journal_parts(0, 8192, 65536, lengths);
  EXPECT_EQ(parts, 16);
  parts = qelp::journal_parts(46, 65536, 100, lengths);
  ASSERT_EQ(parts, 1);
  EXPECT_EQ(lengths[0], 100u);
  parts = qelp::journal_parts(46, 4050 - 10, 20, lengths);
  ASSERT_EQ(parts, 2);
  EXPECT_EQ(lengths[0], 10u);
  EXPECT_EQ(lengths[1], 10u);
}

class Journal : public WorkerTest {};

TEST_F(Journal, TheNewerOfTwoRecordsIsReadAndATornOneFallsBackToTheOther) {
  write_file(path_, test_file(1000, 1));
  qelp::NormJournal journal;
  qelp::NormJournalRecord record;
  record.done = 100;
  char why[128];
  ASSERT_TRUE(journal.create(path_.c_str(), record, why, sizeof why)) << why;
  record.done = 200;
  ASSERT_TRUE(journal.write(record));
  qelp::NormJournalRecord read;
  ASSERT_EQ(qelp::NormJournal::load(path_.c_str(), &read, why, sizeof why), 1);
  EXPECT_EQ(read.done, 200u);
  // The newer record (sequence 2, the first slot) cut off half-way: the older one stands.
  Bytes bytes = read_file(journal_of(path_));
  ASSERT_EQ(bytes.size(), 2048u);
  for (size_t i = 300; i < 1024; ++i) bytes[i] = 0;
  write_file(journal_of(path_), bytes);
  ASSERT_EQ(qelp::NormJournal::load(path_.c_str(), &read, why, sizeof why), 1);
  EXPECT_EQ(read.done, 100u);
  // Neither slot holds a valid record: the first one was cut off, before anything changed.
  for (size_t i = 1024 + 300; i < 2048; ++i) bytes[i] = 0;
  write_file(journal_of(path_), bytes);
  EXPECT_EQ(qelp::NormJournal::load(path_.c_str(), &read, why, sizeof why), 0);
  write_file(journal_of(path_), Bytes());
  EXPECT_EQ(qelp::NormJournal::load(path_.c_str(), &read, why, sizeof why), 0);
  EXPECT_TRUE(journal.remove());
  EXPECT_EQ(qelp::NormJournal::load(path_.c_str(), &read, why, sizeof why), 0);
}

TEST_F(Journal, AnUninterruptedRunLeavesNoJournal) {
  EXPECT_EQ(run(test_file(200000, 2), nullptr), qelp::kNormCompleted);
  EXPECT_FALSE(exists(journal_of(path_)));
  EXPECT_EQ(outcome().resumed, 0);
}

// Stopped at a piece boundary in pass 2, for peak normalization and for a fixed gain: the journal is
// current, and the next run finishes with the first run's gain, whatever it is asked for.
TEST_F(Journal, AStoppedRunIsFinishedByTheNextWithItsOwnGain) {
  const Bytes original = test_file(16 * 32768, 3);
  for (const char* amplify : {static_cast<const char*>(nullptr), "9"}) {
    SCOPED_TRACE(amplify == nullptr ? "peak" : amplify);
    ASSERT_EQ(run(original, amplify), qelp::kNormCompleted);
    const Bytes reference = read_file(path_);
    const uint64_t clipped = outcome().clipped;

    on_progress = [this](const ProgressCall& c) {
      if (c.normed >= 40) run_.pause.store(true);
    };
    ASSERT_EQ(run(original, amplify), qelp::kNormStopped);
    on_progress = nullptr;
    run_.pause.store(false);
    run_.stop.store(false);
    EXPECT_TRUE(exists(journal_of(path_)));
    const Bytes stopped = read_file(path_);
    EXPECT_NE(stopped, reference);
    EXPECT_NE(stopped, original);

    // Asked for something else: the cut-off run is finished all the same.
    ASSERT_EQ(run_on(path_, amplify == nullptr ? "20" : nullptr), qelp::kNormCompleted) << outcome().message;
    EXPECT_EQ(outcome().resumed, 1);
    EXPECT_GE(outcome().resumed_from, 6u * 65536);
    EXPECT_EQ(outcome().fixed, amplify == nullptr ? 0 : 1);
    EXPECT_EQ(outcome().clipped, clipped);
    EXPECT_EQ(read_file(path_), reference);
    EXPECT_FALSE(exists(journal_of(path_)));
  }
}

// The piece being written when the run was cut off may be old in some pages and new in others: the
// next run gives the table to the old pages only.
TEST_F(Journal, APieceCutOffHalfWayIsMadeWhole) {
  const Bytes original = test_file(8 * 32768, 4);
  ASSERT_EQ(run(original, nullptr), qelp::kNormCompleted);
  const Bytes reference = read_file(path_);
  const double gain = outcome().gain;
  const int32_t peak = outcome().peak;

  // Pieces 0..2 rewritten, piece 3 cut off after its first five pages.
  const size_t data = data_offset(WavLayout{});
  const uint64_t done = 3 * 65536;
  uint32_t lengths[qelp::kJournalMaxParts];
  const int parts = qelp::journal_parts(static_cast<uint32_t>(data), done, 65536, lengths);
  qelp::NormJournalRecord record;
  record.inode = 0;
  record.data_offset = static_cast<uint32_t>(data);
  record.data_size = static_cast<uint32_t>(original.size() - data);
  record.file_size = original.size();
  record.bits = 16;
  record.peak = peak;
  record.gain = gain;
  record.done = done;
  record.piece_bytes = 65536;
  record.parts = static_cast<uint32_t>(parts);
  Bytes cut = original;
  size_t at = data + done;
  for (int i = 0; i < parts; ++i) {
    record.before[i] = qelp::journal_hash(original.data() + at, lengths[i]);
    record.after[i] = qelp::journal_hash(reference.data() + at, lengths[i]);
    if (i < 5)
      std::copy(reference.begin() + static_cast<long>(at),
                reference.begin() + static_cast<long>(at + lengths[i]), cut.begin() + static_cast<long>(at));
    at += lengths[i];
  }
  std::copy(reference.begin(), reference.begin() + static_cast<long>(data + done), cut.begin());
  write_file(path_, cut);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  record.inode = st.st_ino;
  qelp::NormJournal journal;
  char why[128];
  ASSERT_TRUE(journal.create(path_.c_str(), record, why, sizeof why)) << why;

  ASSERT_EQ(run_on(path_, nullptr), qelp::kNormCompleted) << outcome().message;
  EXPECT_EQ(outcome().resumed, 1);
  EXPECT_EQ(read_file(path_), reference);

  // A part that is neither old nor new: the file changed; nothing is guessed.
  cut[data + done + 100] ^= 0x40;
  write_file(path_, cut);
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  record.inode = st.st_ino;
  qelp::NormJournal again;
  ASSERT_TRUE(again.create(path_.c_str(), record, why, sizeof why)) << why;
  EXPECT_EQ(run_on(path_, nullptr), qelp::kNormPass2Failed);
  EXPECT_NE(std::string(outcome().message).find("cannot be finished"), std::string::npos)
      << outcome().message;
  EXPECT_TRUE(exists(journal_of(path_)));
}

TEST_F(Journal, AJournalOfAnotherFileIsNotApplied) {
  on_progress = [this](const ProgressCall& c) {
    if (c.normed >= 30) run_.pause.store(true);
  };
  ASSERT_EQ(run(test_file(8 * 32768, 5), nullptr), qelp::kNormStopped);
  on_progress = nullptr;
  run_.pause.store(false);
  run_.stop.store(false);
  // Another file of another size under the same name.
  const Bytes other = test_file(4 * 32768, 6);
  EXPECT_EQ(run(other, nullptr), qelp::kNormFailed);
  EXPECT_NE(std::string(outcome().message).find("belongs to another version of this file"), std::string::npos)
      << outcome().message;
  EXPECT_EQ(read_file(path_), other);
}

// A conversion that writes a new file where a cut-off run left its journal takes the journal away:
// it belongs to the old file, and would otherwise be applied to the new one.
TEST_F(Journal, ANewFileWrittenUnderTheNameTakesTheOldJournalAway) {
  on_progress = [this](const ProgressCall& c) {
    if (c.normed >= 30) run_.pause.store(true);
  };
  ASSERT_EQ(run(test_file(8 * 32768, 8), nullptr), qelp::kNormStopped);
  on_progress = nullptr;
  ASSERT_TRUE(exists(journal_of(path_)));
  qelpsnd_set_overwrite(1);
  CQelpsnd engine;
  std::string in = qelp_test::data_path("stereo_48k_192.ac3");
  std::string out = path_;
  engine.SetInFile(in.data());
  engine.SetOutFile(out.data());
  ASSERT_EQ(engine.InitEncoder(), 1) << engine.m_lastErrorText;
  while (engine.DecodeFrame() == 1) {
  }
  qelpsnd_set_overwrite(0);
  EXPECT_FALSE(exists(journal_of(path_)));
}

// The worker's process killed at random moments (fork and SIGKILL), then run again: each time the
// file ends up byte for byte as an uninterrupted run leaves it.
TEST_F(Journal, KilledAtRandomMomentsAndRunAgainGivesTheUninterruptedResult) {
  const Bytes original = test_file(48 * 32768, 7);  // 3 MiB: 48 pieces
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(run(original, nullptr), qelp::kNormCompleted);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const Bytes reference = read_file(path_);
  ASSERT_NE(reference, original);

  std::mt19937 random(16);
  std::uniform_real_distribution<double> moment(0.0, seconds * 1.2);
  int cut_in_pass2 = 0;
  for (int round = 0; round < 20; ++round) {
    write_file(path_, original);
    const double wait = moment(random);
    SCOPED_TRACE("killed after " + std::to_string(wait) + " s");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      qelp::NormRun run;
      run.path = path_.c_str();
      _exit(qelp::NormalizeThread(run));
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (exists(journal_of(path_))) ++cut_in_pass2;
    // Killed after the end, the file is normalized already: nothing is required.
    const int code = run_on(path_, nullptr);
    EXPECT_TRUE(code == qelp::kNormCompleted || code == qelp::kNormNotRequired)
        << code << ": " << outcome().message;
    EXPECT_EQ(read_file(path_), reference);
    EXPECT_FALSE(exists(journal_of(path_)));
  }
  // Some kills came while pass 2 ran (the moments cover the whole run), so the journal was tested.
  EXPECT_GT(cut_in_pass2, 0);
}

}  // namespace
