// The progress line fitted to the terminal: never wider than the width less one column, the bar
// shrinking first, then the detail dropped, then the label shortened; without a total, no bar.
#include <gtest/gtest.h>

#include "progress_bar.h"

namespace {

ProgressView view(const std::string& label, double fraction, const std::string& detail) {
  ProgressView v;
  v.label = label;
  v.fraction = fraction;
  v.detail = detail;
  return v;
}

TEST(ProgressLine, FillsTheWidthExactly) {
  const std::string line = progress_line(view("[2/5] demo.ac3", 0.5, "0.4 MB  85x real time  0:02 left"), 80);
  EXPECT_EQ(text_columns(line), 79);
  EXPECT_EQ(line.rfind("[2/5] demo.ac3 [", 0), 0u) << line;
  EXPECT_NE(line.find("]  50%  0.4 MB  85x real time  0:02 left"), std::string::npos) << line;
  const size_t open = line.find(" [") + 2;
  const size_t close = line.find(']', open);
  const std::string bar = line.substr(open, close - open);
  EXPECT_EQ(bar.find('-'), (bar.size() + 1) / 2) << "half the bar filled, rounded: " << bar;
  EXPECT_EQ(bar.find_first_not_of('#'), bar.find('-'));
}

TEST(ProgressLine, NarrowTerminalsDropTheDetailThenShortenTheLabel) {
  const ProgressView v = view("a-rather-long-file-name-from-a-dvd.ac3", 0.25, "12.3 MB  85x real time  0:07 left");
  for (int width : {120, 80, 60, 40, 30, 20, 12, 6, 2, 1}) {
    const std::string line = progress_line(v, width);
    EXPECT_LE(text_columns(line), width > 0 ? width - 1 : 0) << width << ": " << line;
  }
  EXPECT_NE(progress_line(v, 120).find("0:07 left"), std::string::npos);
  const std::string sixty = progress_line(v, 60);
  EXPECT_EQ(sixty.find("left"), std::string::npos) << sixty;
  EXPECT_NE(sixty.find("a-rather-long-file-name-from-a-dvd.ac3 ["), std::string::npos) << sixty;
  const std::string thirty = progress_line(v, 30);
  EXPECT_EQ(thirty.rfind("a-rather... [", 0), 0u) << thirty;
  EXPECT_NE(thirty.find(" 25%"), std::string::npos) << thirty;
  EXPECT_EQ(progress_line(v, 6), "25%");
}

TEST(ProgressLine, WithoutATotalNoBarAndNoPercentage) {
  const std::string line = progress_line(view("standard input", -1, "3.1 MB read  85x real time  0:02 elapsed"), 80);
  EXPECT_EQ(line, "standard input  3.1 MB read  85x real time  0:02 elapsed");
  EXPECT_EQ(line.find('%'), std::string::npos);
  EXPECT_LE(text_columns(progress_line(view("standard input", -1, std::string(200, 'x')), 50)), 49);
}

// Every UTF-8 lead byte is followed by all of its continuation bytes.
bool whole_characters(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(ProgressLine, CountsCharactersNotBytes) {
  const std::string name = "Ein Lied – äöü.ac3";  // 18 characters, 23 bytes
  EXPECT_EQ(text_columns(name), 18);
  for (int width : {80, 30, 25, 24, 23, 22, 21}) {
    const std::string line = progress_line(view(name, 1.0, "x"), width);
    EXPECT_LE(text_columns(line), width - 1) << line;
    EXPECT_TRUE(whole_characters(line)) << "a cut split a character: " << line;
  }
  EXPECT_NE(progress_line(view(name, 1.0, ""), 80).find("100%"), std::string::npos);
}

}  // namespace
