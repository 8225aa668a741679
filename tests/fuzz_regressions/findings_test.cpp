// Every input the fuzz targets found a fault with (inputs/<target>/, named after the fault) and
// every input of the committed corpora and seeds, replayed through the targets' own harness on the
// production decoder: as it is, and with the CRCs of its frames rewritten so that the decoder parses
// what the fuzzing build parsed. Under `make sanitize` AddressSanitizer watches the reads.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/decoder_run.h"
#include "harness/frame_crcs.h"
#include "harness/input_source_run.h"
#include "harness/stream_info_run.h"
#include "qelpsnd.h"
#include "support/decoder_feed.h"

namespace {

using Bytes = std::vector<uint8_t>;

void silence(int, const char*, void*) {}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> paths;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') paths.push_back(dir + "/" + e->d_name);
    }
    closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> inputs_of(const std::string& target, bool with_seeds) {
  std::vector<std::string> all = files_in(std::string(QELP_FUZZ_INPUTS_DIR) + "/" + target);
  for (const std::string& dir : {std::string(QELP_FUZZ_CORPUS_DIR) + "/" + target,
                                 std::string(QELP_FUZZ_SEEDS_DIR) + "/" + (with_seeds ? "ac3" : "")}) {
    if (dir.back() == '/') continue;
    const auto more = files_in(dir);
    all.insert(all.end(), more.begin(), more.end());
  }
  return all;
}

// The input, and the same with the CRCs of its frames rewritten (the settings byte untouched).
std::vector<Bytes> variants(const std::string& path) {
  Bytes bytes = decoder_test::read_file(path);
  Bytes fixed = bytes;
  if (!fixed.empty()) fuzz_harness::rewrite_frame_crcs(fixed.data(), fixed.size() - 1);
  return {bytes, fixed};
}

class FuzzFindings : public testing::Test {
 protected:
  void SetUp() override { qelpsnd_set_diagnostics(silence, nullptr); }
  void TearDown() override { qelpsnd_set_diagnostics(nullptr, nullptr); }

  static void replay_decoder(const std::string& target, fuzz_harness::stages which, int max_frames) {
    const auto paths = inputs_of(target, true);
    ASSERT_FALSE(paths.empty());
    for (const std::string& path : paths) {
      for (const Bytes& bytes : variants(path)) {
        const fuzz_harness::fuzz_input input = fuzz_harness::split_input(bytes.data(), bytes.size());
        const char* failed = fuzz_harness::run_decoder(input, which, max_frames);
        EXPECT_EQ(failed, nullptr) << path << ": " << failed;
      }
    }
  }
};

// The frame counts the targets use (fuzz_decoder.cpp, fuzz_decoder_parse.cpp), and more, so that
// a fault in a later frame of a kept input shows too.
TEST_F(FuzzFindings, WholeFrameInputsKeepTheInvariants) {
  replay_decoder("fuzz_decoder", fuzz_harness::stages::whole_frame, 8);
}

TEST_F(FuzzFindings, ParseInputsKeepTheInvariants) {
  replay_decoder("fuzz_decoder_parse", fuzz_harness::stages::parse, 8);
}

TEST_F(FuzzFindings, StreamInfoInputsKeepTheInvariants) {
  const auto paths = inputs_of("fuzz_stream_info", true);
  ASSERT_FALSE(paths.empty());
  for (const std::string& path : paths) {
    for (const Bytes& bytes : variants(path)) {
      const char* failed = fuzz_harness::run_stream_info(bytes.data(), bytes.size());
      EXPECT_EQ(failed, nullptr) << path << ": " << failed;
    }
  }
}

// The burst files' seeds (heads of the IEC 61937 fixtures, of containers and of a raw stream) and
// whatever the input-source target kept, each also cut at every 997th byte, so that a burst, a
// chunk header or a preamble ends with the file.
TEST_F(FuzzFindings, InputSourceInputsKeepTheInvariants) {
  std::vector<std::string> paths = inputs_of("fuzz_input_source", false);
  const auto seeds = files_in(std::string(QELP_FUZZ_SEEDS_DIR) + "/fuzz_input_source");
  paths.insert(paths.end(), seeds.begin(), seeds.end());
  ASSERT_GE(seeds.size(), 3u);
  const uint8_t nothing = 0;
  EXPECT_EQ(fuzz_harness::run_input_source(&nothing, 0), nullptr) << "an empty file";
  for (const std::string& path : paths) {
    const Bytes bytes = decoder_test::read_file(path);
    for (size_t cut = bytes.size(); cut > 0; cut = cut > 997 ? cut - 997 : 0) {
      const char* failed = fuzz_harness::run_input_source(bytes.data(), cut);
      EXPECT_EQ(failed, nullptr) << path << " cut to " << cut << ": " << failed;
    }
  }
}

// The settings come from the input's last byte, so a stream at the start keeps its sync word, and
// the seeds' settings byte reads back as written.
TEST(FuzzInput, SettingsComeFromTheLastByte) {
  fuzz_harness::decode_settings s;
  s.chunk_bytes = 7;
  s.surround_mode = 1;
  s.portable_vectors = 1;
  const Bytes bytes = {0x0B, 0x77, 0x12, 0x34, fuzz_harness::settings_byte(s)};
  const fuzz_harness::fuzz_input in = fuzz_harness::split_input(bytes.data(), bytes.size());
  ASSERT_EQ(in.size, 4u);
  EXPECT_EQ(in.stream[0], 0x0B);
  EXPECT_EQ(in.stream[1], 0x77);
  EXPECT_EQ(in.settings.chunk_bytes, 7u);
  EXPECT_EQ(in.settings.surround_mode, 1);
  EXPECT_EQ(in.settings.portable_vectors, 1);
  EXPECT_EQ(in.settings.dual_mono_channel, 0);
  EXPECT_EQ(fuzz_harness::split_input(bytes.data(), 0).size, 0u);
}

}  // namespace
