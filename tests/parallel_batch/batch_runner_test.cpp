// The runner of `qelp convert -j`, with stand-in conversions: files handed out in input order, no
// more than N at once and really N at once, each file's lines printed in input order whatever order
// the files finish in, and a stop that starts no further file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messages.h"
#include "parallel_batch.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Waits (at most ten seconds, so that a fault fails the test instead of hanging it) until pred holds.
template <typename Pred>
bool wait_until(std::mutex& m, std::condition_variable& cv, Pred pred) {
  std::unique_lock<std::mutex> lock(m);
  return cv.wait_for(lock, std::chrono::seconds(10), pred);
}

struct Printed {
  std::vector<int> statuses;
  std::string out;
  std::string err;
};

Printed run_captured(BatchRun run) {
  CaptureStdout();
  CaptureStderr();
  Printed p;
  p.statuses = run_batch(std::move(run));
  p.out = GetCapturedStdout();
  p.err = GetCapturedStderr();
  return p;
}

TEST(BatchRunner, LinesComeInInputOrderWhenFilesFinishInReverse) {
  // All four run at once; file i waits until file i + 1 has said its lines, so they finish 3, 2, 1, 0.
  std::mutex m;
  std::condition_variable cv;
  int turn = 3;
  BatchRun run;
  run.files = 4;
  run.jobs = 4;
  run.convert = [&](size_t index, FileProgress&) {
    const int i = static_cast<int>(index);
    if (!wait_until(m, cv, [&] { return turn == i; })) return 99;
    say("file %d begins", i);
    tell("file %d -> done", i);
    say("file %d ends", i);
    {
      std::lock_guard<std::mutex> lock(m);
      --turn;
    }
    cv.notify_all();
    return i == 2 ? 3 : 0;
  };
  const Printed p = run_captured(std::move(run));
  EXPECT_EQ(p.statuses, (std::vector<int>{0, 0, 3, 0}));
  EXPECT_EQ(p.out, "file 0 -> done\nfile 1 -> done\nfile 2 -> done\nfile 3 -> done\n");
  EXPECT_EQ(p.err,
            "qelp: file 0 begins\nqelp: file 0 ends\nqelp: file 1 begins\nqelp: file 1 ends\n"
            "qelp: file 2 begins\nqelp: file 2 ends\nqelp: file 3 begins\nqelp: file 3 ends\n");
}

TEST(BatchRunner, RunsNoMoreThanNAtOnceAndReallyN) {
  for (const unsigned jobs : {1u, 2u, 3u}) {
    SCOPED_TRACE(jobs);
    std::mutex m;
    std::condition_variable cv;
    int running = 0;
    int most = 0;
    bool all_there = false;
    std::vector<size_t> started;
    BatchRun run;
    run.files = 8;
    run.jobs = jobs;
    run.convert = [&](size_t index, FileProgress&) {
      {
        std::lock_guard<std::mutex> lock(m);
        started.push_back(index);
        most = std::max(most, ++running);
        if (running == static_cast<int>(jobs)) all_there = true;
      }
      cv.notify_all();
      // The first files wait until N run side by side: with fewer threads this would time out.
      const bool met = index >= jobs || wait_until(m, cv, [&] { return all_there; });
      {
        std::lock_guard<std::mutex> lock(m);
        --running;
      }
      return met ? 0 : 1;
    };
    const Printed p = run_captured(std::move(run));
    EXPECT_EQ(p.statuses, std::vector<int>(8, 0));
    EXPECT_EQ(most, static_cast<int>(jobs));
    ASSERT_EQ(started.size(), 8u);
    // Handed out in input order: the first N start in any order, each later one after them.
    std::vector<size_t> sorted = started;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], i);
    if (jobs == 1) {
      EXPECT_EQ(started, sorted);
    }
  }
}

TEST(BatchRunner, AStopStartsNoFurtherFile) {
  std::atomic<bool> stop{false};
  std::atomic<int> converted{0};
  BatchRun run;
  run.files = 6;
  run.jobs = 2;
  run.interrupted = [&] { return stop.load(); };
  run.convert = [&](size_t index, FileProgress&) {
    ++converted;
    if (index == 1) {
      stop = true;
    } else {
      // File 0 runs on until the stop, as a conversion does until it sees the signal.
      while (!stop) std::this_thread::yield();
    }
    say("file %zu cancelled", index);
    return 130;
  };
  const Printed p = run_captured(std::move(run));
  EXPECT_EQ(p.statuses, (std::vector<int>{130, 130, kNotStarted, kNotStarted, kNotStarted, kNotStarted}));
  EXPECT_EQ(converted, 2);
  EXPECT_EQ(p.err, "qelp: file 0 cancelled\nqelp: file 1 cancelled\n");
}

TEST(BatchRunner, WhatWasSaidBeforeTheRunComesFirstInItsPlace) {
  BatchRun run;
  run.files = 3;
  run.jobs = 3;
  run.early_lines.resize(2);
  run.early_lines[1].push_back({false, "qelp: b.wav exists; not overwritten\n"});
  run.convert = [&](size_t index, FileProgress&) {
    if (index == 1) return 1;
    say("file %zu", index);
    return 0;
  };
  const Printed p = run_captured(std::move(run));
  EXPECT_EQ(p.statuses, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(p.err, "qelp: file 0\nqelp: b.wav exists; not overwritten\nqelp: file 2\n");
}

TEST(BatchRunner, NoFilesNoRun) {
  BatchRun run;
  run.jobs = 4;
  run.convert = [](size_t, FileProgress&) { return 1; };
  EXPECT_TRUE(run_batch(std::move(run)).empty());
}

TEST(BatchRunner, MessagesAreHeldOnlyOnTheirThreadAndOnlyWhileTheHoldLives) {
  std::vector<HeldLine> lines;
  CaptureStderr();
  {
    MessageHold hold(&lines);
    EXPECT_TRUE(messages_held());
    say("held %d", 1);
    note("noted");
    tell("told");
    std::thread other([] {
      EXPECT_FALSE(messages_held());
      say("not held");
    });
    other.join();
  }
  EXPECT_FALSE(messages_held());
  EXPECT_EQ(GetCapturedStderr(), "qelp: not held\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].text, "qelp: held 1\n");
  EXPECT_FALSE(lines[0].result);
  EXPECT_EQ(lines[1].text, "noted\n");
  EXPECT_FALSE(lines[1].result);
  EXPECT_EQ(lines[2].text, "told\n");
  EXPECT_TRUE(lines[2].result);
}

TEST(BatchBar, LabelDetailAndFraction) {
  BatchView v;
  v.files = 8;
  v.done = 3;
  v.input_total = 1000;
  v.input_read = 250;
  v.output_bytes = 10 * 1048576;
  v.audio_seconds = 240;
  v.elapsed_seconds = 10;
  EXPECT_EQ(batch_label(v), "3/8 files");
  EXPECT_DOUBLE_EQ(batch_fraction(v), 0.25);
  EXPECT_EQ(batch_detail(v), "10.0 MB  24x real time  0:30 left");
  v.input_read = 1000;
  EXPECT_EQ(batch_detail(v), "10.0 MB  24x real time") << "nothing left to tell at the end";
  v.input_total = 0;
  EXPECT_LT(batch_fraction(v), 0);
  EXPECT_EQ(batch_detail(v), "10.0 MB  24x real time  0:10 elapsed");
}

TEST(BatchJobs, TheNumberOfJobsIsAWholeNumberFromOneTo256) {
  unsigned jobs = 7;
  for (const char* bad : {"", "0", "257", "1000", "-1", "+2", " 2", "2 ", "2.5", "x", "99999999999"}) {
    EXPECT_FALSE(parse_jobs(bad, &jobs)) << "'" << bad << "'";
    EXPECT_EQ(jobs, 7u) << "left as it was";
  }
  EXPECT_TRUE(parse_jobs("1", &jobs));
  EXPECT_EQ(jobs, 1u);
  EXPECT_TRUE(parse_jobs("256", &jobs));
  EXPECT_EQ(jobs, 256u);
  EXPECT_TRUE(parse_jobs("02", &jobs));
  EXPECT_EQ(jobs, 2u);
}

}  // namespace
