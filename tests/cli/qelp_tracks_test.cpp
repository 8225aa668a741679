// qelp and containers as a user meets them: info lists the tracks, --track picks one, other codecs
// are named and refused in one line with exit status 1, play takes a container.
#include <gtest/gtest.h>

#include <string>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

using cli_test::shell;

std::string fixture(const std::string& name) { return qelp_test::data_path("containers/" + name); }

TEST(QelpTracks, InfoListsEveryAudioTrackOfAContainer) {
  const cli_test::ShellRun r = shell("{qelp} info '" + fixture("multi.mkv") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("audio tracks    3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1   AC-3     2/0, 48000 Hz"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2   AC-3     3/2 + LFE, 48000 Hz"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3   AAC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not converted: AAC, which qelp does not decode"), std::string::npos) << r.out;
  for (const char* language : {" eng ", " deu ", " fra "}) EXPECT_NE(r.out.find(language), std::string::npos) << r.out;
  // The details that follow are the chosen track's.
  const cli_test::ShellRun second = shell("{qelp} info --track 2 '" + fixture("multi.mkv") + "'");
  EXPECT_NE(second.out.find("channels        3/2 + LFE"), std::string::npos) << second.out;
  // A raw stream keeps its plain description.
  const cli_test::ShellRun raw = shell("{qelp} info '" + qelp_test::data_path("stereo_48k_192.ac3") + "'");
  EXPECT_EQ(raw.out.find("audio tracks"), std::string::npos) << raw.out;
}

TEST(QelpTracks, TrackPicksTheSecondAc3TrackAndOthersAreRefusedInOneLine) {
  const std::string dir = qelp_test::scratch_dir();
  ASSERT_EQ(shell("{qelp} convert -q '" + qelp_test::data_path("3f2r_lfe_48k_448.ac3") + "' '" + dir + "/raw.wav'").status, 0);
  cli_test::ShellRun r = shell("{qelp} convert -q -t 2 '" + fixture("multi.mkv") + "' '" + dir + "/two.wav'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(qelp_test::read_bytes(dir + "/two.wav"), qelp_test::read_bytes(dir + "/raw.wav"));

  r = shell("{qelp} convert --track=3 '" + fixture("multi.mkv") + "' '" + dir + "/three.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qelp: " + fixture("multi.mkv") + ": track 3 is AAC, which qelp does not decode\n");
  r = shell("{qelp} convert '" + fixture("tone.eac3") + "' '" + dir + "/e.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qelp: " + fixture("tone.eac3") + " is E-AC-3 (Dolby Digital Plus), which qelp does not decode\n");
  r = shell("{qelp} convert -t 1 '" + fixture("eac3_then_ac3.mka") + "' '" + dir + "/e.wav'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("track 1 is E-AC-3, which qelp does not decode"), std::string::npos) << r.err;
  r = shell("{qelp} convert -t x '" + fixture("multi.mkv") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--track takes a track number"), std::string::npos) << r.err;
}

TEST(QelpTracks, PlayTakesAContainerAndItsLength) {
  const cli_test::ShellRun r = shell("QELP_AUDIO_DEVICE=null {qelp} play '" + fixture("stereo.mkv") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Playing " + fixture("stereo.mkv") + " (0:02"), std::string::npos) << r.err;
}

}  // namespace
