#include "progress_bar.h"

#include <cstdio>

ProgressBar::ProgressBar(bool enabled) : enabled_(enabled) {}

void ProgressBar::update(double fraction, const std::string& detail, bool force) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  if (fraction < 0) fraction = 0;
  if (fraction > 1) fraction = 1;
  constexpr int kWidth = 30;
  int filled = static_cast<int>(fraction * kWidth + 0.5);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%  %s\033[K", bar, static_cast<int>(fraction * 100), detail.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::finish() {
  if (enabled_ && drawn_) std::fputc('\n', stderr);
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
