#include "progress_bar.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMinBar = 10;

std::atomic<bool> g_resized{false};

void on_resize(int) { g_resized = true; }

// The terminal's width on standard error; COLUMNS or 80 when it cannot be asked.
int terminal_width() {
  struct winsize ws {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  const char* columns = std::getenv("COLUMNS");
  const int n = columns != nullptr ? std::atoi(columns) : 0;
  return n > 0 ? n : 80;
}

// The first `columns` characters of text.
std::string cut_columns(const std::string& text, int columns) {
  int seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && seen++ == columns) return text.substr(0, i);
  }
  return text;
}

// text cut to columns, with "..." at the end when it was cut.
std::string fit(const std::string& text, int columns) {
  if (columns <= 0) return std::string();
  if (text_columns(text) <= columns) return text;
  if (columns <= 3) return cut_columns(text, columns);
  return cut_columns(text, columns - 3) + "...";
}

}  // namespace

int text_columns(const std::string& text) {
  int n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string progress_line(const ProgressView& view, int width) {
  const int room = width - 1;
  if (room <= 0) return std::string();
  if (view.fraction < 0) {
    // No total: the label and what has been done so far.
    std::string line = view.label.empty() ? view.detail : view.label + "  " + view.detail;
    return fit(line, room);
  }
  double fraction = view.fraction > 1 ? 1 : view.fraction;
  char percent[8];
  std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(fraction * 100));
  // LABEL [####----] 45%  DETAIL
  const int fixed = 2 + 5;  // the brackets and the percentage
  const int label = view.label.empty() ? 0 : text_columns(view.label) + 1;
  int detail = view.detail.empty() ? 0 : text_columns(view.detail) + 2;
  if (room - fixed - label - detail < kMinBar) detail = 0;
  int label_room = label;
  if (room - fixed - label_room - detail < kMinBar) label_room = room - fixed - detail - kMinBar;
  if (label_room < 0) label_room = 0;
  const int bar = room - fixed - label_room - detail;
  if (bar < 1) return fit(std::to_string(static_cast<int>(fraction * 100)) + "%", room);

  std::string line;
  if (label_room > 1) line = fit(view.label, label_room - 1) + " ";
  line += "[";
  const int filled = static_cast<int>(fraction * bar + 0.5);
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(bar - filled), '-');
  line += "]";
  line += percent;
  if (detail > 0) line += "  " + view.detail;
  return line;
}

ProgressBar::ProgressBar(bool enabled) : enabled_(enabled) {
  if (!enabled_) return;
  width_ = terminal_width();
  struct sigaction resize {};
  resize.sa_handler = on_resize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;  // reads of the input go on undisturbed
  sigaction(SIGWINCH, &resize, nullptr);
}

void ProgressBar::update(double fraction, const std::string& detail, bool force) {
  if (!enabled_) return;
  if (g_resized.exchange(false)) {
    width_ = terminal_width();
    force = true;
  }
  auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  view_.fraction = fraction;
  view_.detail = detail;
  std::fprintf(stderr, "\r%s\033[K", progress_line(view_, width_).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (enabled_ && drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}

void ProgressBar::clear() {
  if (enabled_ && drawn_) {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }
  drawn_ = false;
}

std::string format_duration(double seconds) {
  if (seconds < 0) seconds = 0;
  long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

std::string format_time(double seconds) {
  if (seconds < 0) seconds = 0;
  const long tenths = static_cast<long>(seconds * 10 + 0.5);
  const long s = tenths / 10;
  char text[40];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld.%ld", s / 3600, s / 60 % 60, s % 60, tenths % 10);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", s / 60, s % 60, tenths % 10);
  return text;
}
