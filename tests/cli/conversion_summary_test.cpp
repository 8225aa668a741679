// What qelp says after a conversion: the summary line, the damage, the hint for inputs that are
// no raw AC-3 stream, and the fold-down's clipping.
#include <gtest/gtest.h>

#include "conversion_summary.h"
#include "progress_bar.h"

namespace {

ConversionFacts demo() {
  ConversionFacts f;
  f.in_name = "demo.ac3";
  f.out_name = "demo.wav";
  f.frames = 157;
  f.sampling_rate = 48000;
  f.output_bytes = 157 * 6144;
  f.elapsed_seconds = 0.05;
  f.input_bytes = 157 * 1792;
  return f;
}

TEST(ConversionSummary, ACleanConversion) {
  const ConversionFacts f = demo();
  EXPECT_FALSE(input_damaged(f));
  EXPECT_EQ(damage_text(f), "");
  EXPECT_EQ(not_raw_hint(f), "");
  EXPECT_EQ(summary_line(f), "demo.ac3 -> demo.wav: 0:05.0 of audio, 0.9 MB in 50 ms (100x real time)");
  ConversionFacts longer = f;
  longer.elapsed_seconds = 2.5;
  EXPECT_EQ(summary_line(longer), "demo.ac3 -> demo.wav: 0:05.0 of audio, 0.9 MB in 2.5 s (2.0x real time)");
  ConversionFacts slow = f;
  slow.elapsed_seconds = 75;
  EXPECT_EQ(summary_line(slow), "demo.ac3 -> demo.wav: 0:05.0 of audio, 0.9 MB in 1:15 (0.1x real time)");
}

TEST(ConversionSummary, DamageIsSaidWithWhereItBegins) {
  ConversionFacts f = demo();
  f.frames_muted = 12;
  f.first_muted_frame = 100;  // 100 x 1536 / 48000 = 3.2 s
  f.bytes_skipped = 5376;
  EXPECT_TRUE(input_damaged(f));
  EXPECT_EQ(damage_text(f), "12 of 157 frames were damaged and are silent (first at 0:03.2); 5376 bytes skipped");
  EXPECT_EQ(summary_line(f).substr(summary_line(f).find("; ")),
            "; 12 of 157 frames were damaged and are silent (first at 0:03.2); 5376 bytes skipped");
  f.frames_muted = 1;
  f.bytes_skipped = 0;
  EXPECT_EQ(damage_text(f), "1 of 157 frames was damaged and is silent (first at 0:03.2)");
}

TEST(ConversionSummary, BytesSkippedBeforeOrBetweenFramesAreDamageBytesBehindThemAreNot) {
  ConversionFacts f = demo();
  f.bytes_skipped = 1;
  EXPECT_TRUE(input_damaged(f));
  EXPECT_EQ(damage_text(f), "1 byte skipped");
  f.bytes_skipped = 700;
  f.bytes_after_last = 700;
  EXPECT_FALSE(input_damaged(f)) << "padding behind the last frame loses no audio";
  EXPECT_EQ(damage_text(f), "700 bytes after the last frame skipped");
  f.bytes_skipped = 701;
  EXPECT_TRUE(input_damaged(f));
  EXPECT_EQ(damage_text(f), "701 bytes skipped");
}

TEST(ConversionSummary, TheHintComesWhenMostOfTheInputIsLost) {
  ConversionFacts f = demo();
  f.frames_muted = 78;  // not more than half
  EXPECT_EQ(not_raw_hint(f), "");
  f.frames_muted = 79;
  EXPECT_NE(not_raw_hint(f).find("demo.ac3 may not be a raw AC-3 stream"), std::string::npos) << not_raw_hint(f);
  EXPECT_NE(not_raw_hint(f).find("most of its frames are damaged"), std::string::npos) << not_raw_hint(f);
  f.frames_muted = 0;
  f.bytes_skipped = f.input_bytes / 2;
  EXPECT_EQ(not_raw_hint(f), "");
  f.bytes_skipped = f.input_bytes / 2 + 1;
  EXPECT_NE(not_raw_hint(f).find("most of its bytes are not AC-3 frames"), std::string::npos) << not_raw_hint(f);
}

TEST(ConversionSummary, TheFoldDownsClipping) {
  ConversionFacts f = demo();
  EXPECT_EQ(fold_down_clip_text(f), "");
  f.samples_clipped = 1;
  EXPECT_EQ(fold_down_clip_text(f), "the fold-down clipped 1 sample");
  f.samples_clipped = 48213;
  EXPECT_EQ(fold_down_clip_text(f), "the fold-down clipped 48213 samples");
}

TEST(TimeTexts, SpeedsBelowTenKeepATenth) {
  EXPECT_EQ(speed_text(0.25), "0.2x");
  EXPECT_EQ(speed_text(9.94), "9.9x");
  EXPECT_EQ(speed_text(85.4), "85x");
}

TEST(TimeTexts, TenthsAndHours) {
  EXPECT_EQ(format_time(0), "0:00.0");
  EXPECT_EQ(format_time(3.2), "0:03.2");
  EXPECT_EQ(format_time(59.96), "1:00.0");
  EXPECT_EQ(format_time(3723.45), "1:02:03.5");
  EXPECT_EQ(format_duration(65), "1:05");
  EXPECT_EQ(format_duration(3723), "1:02:03");
}

}  // namespace
