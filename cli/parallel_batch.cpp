#include "parallel_batch.h"

#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "conversion_summary.h"
#include "progress_bar.h"

namespace {

// What the workers and the printing thread share; guarded by `lock`.
struct BatchState {
  std::mutex lock;
  std::condition_variable changed;  // a file finished, or a worker ended
  size_t next = 0;                  // the next file to hand out
  size_t workers_running = 0;
  std::vector<bool> finished;       // per file
  std::vector<int> status;          // per file
};

// Hands out files in order until none is left or the batch is stopped; each converted with its
// messages held in its own lines.
void work(BatchRun& run, BatchState& state, std::vector<FileProgress>& progress,
          std::vector<std::vector<HeldLine>>& lines) {
  for (;;) {
    size_t index = 0;
    {
      std::lock_guard<std::mutex> guard(state.lock);
      if (state.next == run.files || (run.interrupted && run.interrupted())) break;
      index = state.next++;
    }
    int status = 0;
    {
      // Only this worker touches lines[index] until it marks the file finished.
      MessageHold hold(&lines[index]);
      status = run.convert(index, progress[index]);
    }
    {
      std::lock_guard<std::mutex> guard(state.lock);
      state.status[index] = status;
      state.finished[index] = true;
    }
    state.changed.notify_one();
  }
  {
    std::lock_guard<std::mutex> guard(state.lock);
    --state.workers_running;
  }
  state.changed.notify_one();
}

BatchView view_of(const BatchRun& run, const std::vector<FileProgress>& progress, size_t done,
                  std::chrono::steady_clock::time_point start) {
  BatchView view;
  view.files = run.files;
  view.done = done;
  for (size_t i = 0; i < run.files; ++i) {
    const uint64_t size = i < run.input_sizes.size() ? run.input_sizes[i] : 0;
    const uint64_t read = progress[i].input_bytes.load(std::memory_order_relaxed);
    view.input_total += size;
    view.input_read += read < size ? read : size;
    view.output_bytes += progress[i].output_bytes.load(std::memory_order_relaxed);
    view.audio_seconds += progress[i].audio_seconds.load(std::memory_order_relaxed);
  }
  view.elapsed_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return view;
}

}  // namespace

bool parse_jobs(const std::string& text, unsigned* jobs) {
  if (text.empty() || text.size() > 4) return false;
  unsigned n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n < 1 || n > kMaxJobs) return false;
  *jobs = n;
  return true;
}

unsigned processor_count() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

double batch_fraction(const BatchView& view) {
  if (view.input_total == 0) return -1.0;
  return static_cast<double>(view.input_read) / static_cast<double>(view.input_total);
}

std::string batch_label(const BatchView& view) {
  return std::to_string(view.done) + "/" + std::to_string(view.files) + " files";
}

std::string batch_detail(const BatchView& view) {
  const double speed = view.elapsed_seconds > 0 ? view.audio_seconds / view.elapsed_seconds : 0.0;
  char text[160];
  const int used = std::snprintf(text, sizeof text, "%.1f MB  %s real time", view.output_bytes / 1048576.0,
                                 speed_text(speed).c_str());
  const double fraction = batch_fraction(view);
  if (fraction >= 0.01 && fraction < 1.0 && used > 0 && static_cast<size_t>(used) < sizeof text) {
    const double left = view.elapsed_seconds * (1.0 - fraction) / fraction;
    std::snprintf(text + used, sizeof text - used, "  %s left", format_duration(left).c_str());
  } else if (fraction < 0 && used > 0 && static_cast<size_t>(used) < sizeof text) {
    std::snprintf(text + used, sizeof text - used, "  %s elapsed", format_duration(view.elapsed_seconds).c_str());
  }
  return text;
}

std::vector<int> run_batch(BatchRun run) {
  const size_t n = run.files;
  BatchState state;
  state.finished.assign(n, false);
  state.status.assign(n, kNotStarted);
  std::vector<FileProgress> progress(n);
  std::vector<std::vector<HeldLine>> lines = std::move(run.early_lines);
  lines.resize(n);
  if (n == 0) return state.status;

  const auto start = std::chrono::steady_clock::now();
  const size_t wanted = run.jobs < 1 ? 1 : (run.jobs < n ? run.jobs : n);
  std::vector<std::thread> workers;
  workers.reserve(wanted);
  for (size_t i = 0; i < wanted; ++i) {
    {
      std::lock_guard<std::mutex> guard(state.lock);
      ++state.workers_running;
    }
    try {
      workers.emplace_back(work, std::ref(run), std::ref(state), std::ref(progress), std::ref(lines));
    } catch (const std::system_error&) {
      // No more threads to be had: the ones running share the files.
      std::lock_guard<std::mutex> guard(state.lock);
      --state.workers_running;
      break;
    }
  }
  if (workers.empty()) {
    // No thread to be had: the batch runs here, one file after another.
    {
      std::lock_guard<std::mutex> guard(state.lock);
      ++state.workers_running;
    }
    work(run, state, progress, lines);
  }

  ProgressBar bar(run.show_bar && !workers.empty());
  size_t printed = 0;
  auto print_finished = [&](std::unique_lock<std::mutex>& held) {
    while (printed < n && state.finished[printed]) {
      // lines[printed] is no worker's any more once the file has finished.
      held.unlock();
      if (!lines[printed].empty()) {
        bar.clear();
        print_held(lines[printed]);
      }
      held.lock();
      ++printed;
    }
  };
  {
    std::unique_lock<std::mutex> held(state.lock);
    for (;;) {
      print_finished(held);
      if (state.workers_running == 0) break;
      state.changed.wait_for(held, std::chrono::milliseconds(100));
      print_finished(held);
      if (bar.enabled() && state.workers_running != 0) {
        size_t done = 0;
        for (size_t i = 0; i < n; ++i) done += state.finished[i] ? 1 : 0;
        const BatchView view = view_of(run, progress, done, start);
        held.unlock();
        bar.set_label(batch_label(view));
        bar.update(batch_fraction(view), batch_detail(view));
        held.lock();
      }
    }
  }
  for (std::thread& worker : workers) worker.join();
  if (bar.enabled() && printed == n) {
    BatchView view = view_of(run, progress, printed, start);
    view.input_read = view.input_total;  // all done, also the files refused before they were read
    bar.set_label(batch_label(view));
    bar.update(view.input_total != 0 ? 1.0 : -1.0, batch_detail(view), true);
  }
  bar.finish();
  return state.status;
}
