// The progress bar of qelp: one line on standard error, redrawn in place at most ten times a
// second, fitted to the terminal's width and redrawn when the terminal is resized. It shows a
// label (the file's name, with "k/n" in a batch), a bar with the percentage and a detail text; when
// the total is not known (a pipe) it shows the label and the detail only.
#pragma once

#include <chrono>
#include <string>

// What one line shows. fraction is 0..1, or negative when the total is not known.
struct ProgressView {
  std::string label;
  double fraction = -1.0;
  std::string detail;
};

// The line for a terminal of `width` columns, without the line ending: never wider than width - 1
// (so that the terminal does not wrap it). The detail is dropped, then the label shortened, when
// they do not fit beside a bar of ten or more columns.
std::string progress_line(const ProgressView& view, int width);

// Columns a UTF-8 text takes (one per character).
int text_columns(const std::string& text);

class ProgressBar {
 public:
  // Shown only when enabled (standard error is a terminal and -q was not given).
  explicit ProgressBar(bool enabled);

  void set_label(const std::string& label) { view_.label = label; }

  // fraction 0..1 of the work, negative when the total is unknown; detail follows the bar.
  void update(double fraction, const std::string& detail, bool force = false);

  // Ends the line (leaves the last state visible).
  void finish();

  // Takes the line away, so that other lines can be printed in its place; the next update draws
  // it again.
  void clear();

  bool enabled() const { return enabled_; }

 private:
  bool enabled_;
  bool drawn_ = false;
  int width_ = 80;
  ProgressView view_;
  std::chrono::steady_clock::time_point last_{};
};

// "1:05" or "1:02:03".
std::string format_duration(double seconds);
// "0:03.2" or "1:02:03.4": a position or length in tenths of a second.
std::string format_time(double seconds);
