// The stream banner and the texts that describe a stream.
#include <gtest/gtest.h>

#include <string>

#include "ac3/stages.h"
#include "ac3/stream_description.h"
#include "support/decoder_feed.h"
#include "support/paths.h"

namespace {

using decoder_test::diagnostics_capture;

std::string banner_for(ac3::syncinfo si, ac3::bsi b) {
  diagnostics_capture capture;
  ac3::print_stream_banner(si, b);
  return capture.out;
}

ac3::syncinfo rate(uint32_t sampling_rate, uint16_t bit_rate) {
  ac3::syncinfo si{};
  si.sampling_rate = sampling_rate;
  si.bit_rate = bit_rate;
  return si;
}

TEST(StreamBanner, PrintedOnceForTheFirstFrameOfA51Stream) {
  const auto data = decoder_test::read_file(qelp_test::data_path("3f2r_lfe_48k_448.ac3"));
  ASSERT_FALSE(data.empty());
  decoder_test::test_decoder dec;
  ac3::decoder_config config{};
  config.output_channels = 2;
  ac3::decoder_init(dec, config);
  decoder_test::feed_bytes(dec, data);
  diagnostics_capture capture;
  for (int frame = 0; frame < 4; ++frame) ac3::decode_one_frame(dec);
  EXPECT_EQ(capture.out, "5.1 Mode 48.0 KHz 448 kbps Complete Main Audio Service\n");
  EXPECT_EQ(capture.err, "");
}

TEST(StreamBanner, ModeRateLanguageAndService) {
  ac3::bsi b{};
  b.nfchans = 2;
  b.lfeon = 0;
  b.bsmod = 7;
  EXPECT_EQ(banner_for(rate(44100, 32), b), "2.0 Mode 44.1 KHz  32 kbps Voice Over Audio Service\n");
  b.nfchans = 1;
  b.langcode = 1;
  b.langcod = 9;
  b.bsmod = 2;
  EXPECT_EQ(banner_for(rate(32000, 640), b),
            "1.0 Mode 32.0 KHz 640 kbps English Visually Impaired Audio Service\n");
  b.langcod = 0x2c;
  EXPECT_EQ(banner_for(rate(48000, 96), b),
            "1.0 Mode 48.0 KHz  96 kbps 0x2c Visually Impaired Audio Service\n");
  // A code outside the table names no language; with langcode 0 the code is not looked at.
  b.langcod = 200;
  EXPECT_EQ(banner_for(rate(48000, 96), b), "1.0 Mode 48.0 KHz  96 kbps Visually Impaired Audio Service\n");
  b.langcode = 0;
  b.langcod = 9;
  EXPECT_EQ(banner_for(rate(48000, 96), b), "1.0 Mode 48.0 KHz  96 kbps Visually Impaired Audio Service\n");
}

TEST(StreamDescription, LanguageNamesAndCodesWithoutNames) {
  char buf[24];
  EXPECT_STREQ(ac3::language_text(0, buf, sizeof buf), "unknown");
  EXPECT_STREQ(ac3::language_text(43, buf, sizeof buf), "Walloon");
  EXPECT_STREQ(ac3::language_text(44, buf, sizeof buf), "0x2c");
  EXPECT_STREQ(ac3::language_text(63, buf, sizeof buf), "0x3f");
  EXPECT_STREQ(ac3::language_text(64, buf, sizeof buf), "background");
  EXPECT_STREQ(ac3::language_text(65, buf, sizeof buf), "0x41");
  EXPECT_STREQ(ac3::language_text(68, buf, sizeof buf), "0x44");
  EXPECT_STREQ(ac3::language_text(69, buf, sizeof buf), "Zulu");
  EXPECT_STREQ(ac3::language_text(127, buf, sizeof buf), "Amharic");
  EXPECT_STREQ(ac3::language_text(128, buf, sizeof buf), "?");
  char small[4];
  EXPECT_STREQ(ac3::language_text(9, small, sizeof small), "Eng");   // truncated, terminated
}

TEST(StreamDescription, LayoutAndServiceTexts) {
  EXPECT_STREQ(ac3::acmod_layout_text(0), "1+1");
  EXPECT_STREQ(ac3::acmod_layout_text(2), "2/0");
  EXPECT_STREQ(ac3::acmod_layout_text(7), "3/2");
  EXPECT_STREQ(ac3::acmod_layout_text(8), "?");
  char buf[16];
  EXPECT_STREQ(ac3::channel_layout_text(7, 1, buf, sizeof buf), "3/2 + LFE");
  EXPECT_STREQ(ac3::channel_layout_text(1, 0, buf, sizeof buf), "1/0");
  EXPECT_STREQ(ac3::bsmod_service_text(0), "Complete Main Audio Service");
  EXPECT_STREQ(ac3::bsmod_service_text(5), "Commentary Audio Service");
  EXPECT_STREQ(ac3::bsmod_service_text(-1), "?");
}

}  // namespace
