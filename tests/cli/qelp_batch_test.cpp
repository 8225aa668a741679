// `qelp convert` never writes over a file that holds AC-3 frames, whatever the arguments and -y
// say: a second AC-3 file is a second input, an argument list ending in a WAVE name is refused
// before anything is written, a folder named last collects the outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qelp_run.h"
#include "support/paths.h"
#include "support/wave_reader.h"

namespace {

namespace fs = std::filesystem;
using cli_test::shell;
using qelp_test::data_path;
using qelp_test::read_bytes;
using qelp_test::read_wave;

class QelpBatch : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = qelp_test::scratch_dir();
    fs::copy_file(data_path("stereo_48k_192.ac3"), dir_ + "/a.ac3");
    fs::copy_file(data_path("mono_48k_32.ac3"), dir_ + "/b.ac3");
  }
  std::string at(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(QelpBatch, ASecondAc3FileIsASecondInput) {
  const auto b = read_bytes(at("b.ac3"));
  cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -y a.ac3 b.ac3");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_bytes(at("b.ac3")), b) << "b.ac3 is left byte for byte";
  EXPECT_EQ(read_wave(at("a.wav")).data_size, 63u * 6144);
  EXPECT_EQ(read_wave(at("b.wav")).data_size, 63u * 6144);
  EXPECT_NE(r.out.find("a.ac3 -> a.wav"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("b.ac3 -> b.wav"), std::string::npos) << r.out;
}

TEST_F(QelpBatch, AWaveNameAfterSeveralInputsIsRefusedBeforeAnythingIsWritten) {
  cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -y a.ac3 b.ac3 c.wav");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "qelp: 'c.wav' looks like an output file, but with several inputs each is converted next to itself; "
            "name an output folder with -o DIR; see 'qelp convert --help'\n");
  EXPECT_FALSE(fs::exists(at("a.wav")));
  EXPECT_FALSE(fs::exists(at("b.wav")));
  EXPECT_FALSE(fs::exists(at("c.wav")));
}

// However the AC-3 file is named or reached, and with -y, it is never the output.
TEST_F(QelpBatch, NoArgumentsMakeQelpWriteOverAc3Audio) {
  fs::copy_file(at("b.ac3"), at("disguised.wav"));
  fs::create_directory(at("out"));
  fs::copy_file(at("b.ac3"), at("out/a.wav"));
  fs::create_symlink(at("b.ac3"), at("link.wav"));
  const auto b = read_bytes(at("b.ac3"));
  for (const std::string& args : {std::string("a.ac3 disguised.wav"), std::string("a.ac3 link.wav"),
                                  std::string("-o out a.ac3"), std::string("a.ac3 out"),
                                  std::string("disguised.wav"), std::string("-- a.ac3 b.ac3")}) {
    SCOPED_TRACE(args);
    cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -q -y " + args);
    EXPECT_EQ(read_bytes(at("b.ac3")), b);
    EXPECT_EQ(read_bytes(at("disguised.wav")), b);
    EXPECT_EQ(read_bytes(at("out/a.wav")), b);
  }
  cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -q -y a.ac3 disguised.wav");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qelp: disguised.wav holds AC-3 audio and is never written over; name another output\n");
  EXPECT_TRUE(read_wave(at("a.wav")).ok) << "the other input is converted";
  r = shell("cd '" + dir_ + "' && {qelp} convert -q -y -o out a.ac3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qelp: out/a.wav holds AC-3 audio and is never written over; name another output\n");
}

TEST_F(QelpBatch, AFolderNamedLastCollectsTheOutputs) {
  fs::create_directory(at("out"));
  cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -q a.ac3 b.ac3 out");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_wave(at("out/a.wav")).ok);
  EXPECT_TRUE(read_wave(at("out/b.wav")).ok);
  r = shell("cd '" + dir_ + "' && {qelp} convert -q a.ac3 out");
  EXPECT_EQ(r.status, 1) << "out/a.wav exists now and -y was not given";
  EXPECT_EQ(r.err, "qelp: out/a.wav exists; not overwritten (use -y to overwrite)\n");
}

TEST_F(QelpBatch, ABatchShowsKOfNOnItsProgressBar) {
  // One after another: a bar per file, with its name.
  cli_test::ShellRun r = cli_test::on_terminal("cd '" + dir_ + "' && {qelp} convert -j 1 a.ac3 b.ac3", 100);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("[1/2] a.ac3 ["), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[2/2] b.ac3 ["), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("100%"), std::string::npos) << r.out;
  // Side by side: one bar for the batch, files done of all, ending full.
  r = cli_test::on_terminal("cd '" + dir_ + "' && {qelp} convert -y -j 2 a.ac3 b.ac3", 100);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("2/2 files ["), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("[1/2] a.ac3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("100%"), std::string::npos) << r.out;
}

// Every file of a batch starts from a clean decoder: a dithered stream converted twice in one run
// gives the same bytes both times.
TEST_F(QelpBatch, TheSameDitheredStreamTwiceInOneBatchGivesTheSameBytes) {
  fs::copy_file(data_path("3f2r_lfe_cpl_48k_256.ac3"), at("d.ac3"));
  fs::copy_file(data_path("3f2r_lfe_cpl_48k_256.ac3"), at("d_copy.ac3"));
  fs::create_directory(at("out"));
  cli_test::ShellRun r = shell("cd '" + dir_ + "' && {qelp} convert -q -o out d.ac3 d_copy.ac3");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto first = read_bytes(at("out/d.wav"));
  EXPECT_GT(first.size(), 46u + 6144u);
  EXPECT_EQ(read_bytes(at("out/d_copy.wav")), first);
}

}  // namespace
