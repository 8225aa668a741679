// A one-line progress bar on standard error, redrawn in place at most ten times a second.
#pragma once

#include <chrono>
#include <string>

class ProgressBar {
 public:
  // Shown only when enabled (standard error is a terminal and -q was not given).
  explicit ProgressBar(bool enabled);

  // fraction 0..1 of the work; detail is printed after the bar (e.g. "12 MB  85x  0:07 left").
  void update(double fraction, const std::string& detail, bool force = false);

  // Ends the line (leaves the last state visible).
  void finish();

  bool enabled() const { return enabled_; }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// "1:05" or "1:02:03".
std::string format_duration(double seconds);
