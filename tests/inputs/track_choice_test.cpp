// Track choice and the refusal of codecs qelp does not decode: the first AC-3 track by default,
// SetTrack(n) another; E-AC-3, AAC, DTS tracks and streams are named in one line, never decoded
// into silence.
#include <gtest/gtest.h>

#include <cstring>

#include "input_support.h"
#include "support/paths.h"

namespace inputs_test {
namespace {

void expect_refused(const std::string& in, int track, const std::string& words) {
  SCOPED_TRACE(in + " track " + std::to_string(track));
  const Conversion c = convert(in, track);
  EXPECT_EQ(c.started, 0);
  EXPECT_NE(c.error.find(words), std::string::npos) << c.error;
  EXPECT_EQ(c.error.find('\n'), std::string::npos) << "one line";
  EXPECT_TRUE(c.wave.empty());
}

TEST(TrackChoice, TheFirstAc3TrackByDefaultAndAnyByNumber) {
  const Conversion stereo = convert(qelp_test::data_path("stereo_48k_192.ac3"));
  const Conversion surround = convert(qelp_test::data_path("3f2r_lfe_48k_448.ac3"));
  ASSERT_EQ(stereo.started, 1);
  ASSERT_EQ(surround.started, 1);
  const std::string multi = container("multi.mkv");
  EXPECT_TRUE(convert(multi).wave == stereo.wave);
  EXPECT_TRUE(convert(multi, 1).wave == stereo.wave);
  const Conversion second = convert(multi, 2);
  ASSERT_EQ(second.started, 1) << second.error;
  EXPECT_TRUE(second.wave == surround.wave);
  EXPECT_EQ(second.frames_muted, 0u);
  // An E-AC-3 track first: the default passes over it to the AC-3 track.
  EXPECT_TRUE(convert(container("eac3_then_ac3.mka")).wave == stereo.wave);
}

TEST(TrackChoice, OtherCodecsAreNamedAndRefused) {
  expect_refused(container("multi.mkv"), 3, "track 3 is AAC, which qelp does not decode");
  expect_refused(container("eac3_then_ac3.mka"), 1, "track 1 is E-AC-3, which qelp does not decode");
  expect_refused(container("aac_only.mp4"), 0, "has no AC-3 track; its audio is AAC (track 1)");
  expect_refused(container("tone.eac3"), 0, "tone.eac3 is E-AC-3 (Dolby Digital Plus), which qelp does not decode");
  expect_refused(container("spdif_eac3.wav"), 0, "carries E-AC-3 in IEC 61937 bursts, which qelp does not decode");
  expect_refused(container("spdif_dts.wav"), 0, "carries DTS in IEC 61937 bursts, which qelp does not decode");
}

TEST(TrackChoice, ATrackThatIsNotThereIsSaid) {
  expect_refused(container("multi.mkv"), 4, "has no track 4; its audio tracks are AC-3 (track 1), AC-3 (track 2), AAC (track 3)");
  expect_refused(qelp_test::data_path("stereo_48k_192.ac3"), 2, "has no track 2: it is a raw stream");
  expect_refused(container("spdif_51.wav"), 2, "has no track 2");
}

TEST(TrackList, TheThreeTracksOfAContainer) {
  QelpsndTrackInfo t[8];
  char error[1400] = "";
  ASSERT_EQ(qelpsnd_tracks(container("multi.mkv").c_str(), t, 8, error, sizeof error), 3) << error;
  EXPECT_STREQ(t[0].codec, "AC-3");
  EXPECT_STREQ(t[0].layout, "2/0");
  EXPECT_STREQ(t[0].language, "eng");
  EXPECT_EQ(t[0].convertible, 1);
  EXPECT_EQ(t[0].sampling_rate, 48000u);
  EXPECT_NEAR(t[0].duration, 2.0, 0.04);
  EXPECT_STREQ(t[1].codec, "AC-3");
  EXPECT_STREQ(t[1].layout, "3/2 + LFE");
  EXPECT_STREQ(t[1].language, "deu");
  EXPECT_EQ(t[1].convertible, 1);
  EXPECT_STREQ(t[2].codec, "AAC");
  EXPECT_STREQ(t[2].language, "fra");
  EXPECT_EQ(t[2].convertible, 0);
  EXPECT_STREQ(t[2].note, "AAC, which qelp does not decode");
  EXPECT_NEAR(t[2].duration, 2.0, 0.1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(t[i].number, i + 1);
    EXPECT_NE(std::strstr(t[i].container, "Matroska"), nullptr) << t[i].container;
  }
}

TEST(TrackList, ARawStreamAndABurstFileAreOneTrack) {
  QelpsndTrackInfo t[2];
  char error[1400] = "";
  ASSERT_EQ(qelpsnd_tracks(qelp_test::data_path("stereo_48k_192.ac3").c_str(), t, 2, error, sizeof error), 1);
  EXPECT_STREQ(t[0].container, "");
  EXPECT_STREQ(t[0].layout, "2/0");
  ASSERT_EQ(qelpsnd_tracks(container("spdif_51.wav").c_str(), t, 2, error, sizeof error), 1) << error;
  EXPECT_STREQ(t[0].layout, "3/2 + LFE");
  EXPECT_STRNE(t[0].container, "");
  EXPECT_EQ(qelpsnd_tracks(container("tone.eac3").c_str(), t, 2, error, sizeof error), -1);
  EXPECT_NE(std::strstr(error, "is E-AC-3"), nullptr) << error;
}

// A host never writes over a file that holds AC-3 audio, whatever holds it.
TEST(TrackList, ContainersAndBurstFilesWithAc3AreKept) {
  EXPECT_EQ(qelpsnd_holds_ac3(container("stereo.mkv").c_str()), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(container("demo.vob").c_str()), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(container("spdif_51.wav").c_str()), 1);
  EXPECT_EQ(qelpsnd_holds_ac3(container("aac_only.mp4").c_str()), 0);
}

}  // namespace
}  // namespace inputs_test
