// The normalizer worker end to end on real files: both modes, every ending, and what the file
// looks like afterwards.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "normalize_thread.h"
#include "qelpsnd.h"
#include "worker_harness.h"

using namespace normalizer_test;

namespace {

// A 16-bit file of n samples: a ramp through -limit..limit, with the given extremes placed in it.
std::vector<int16_t> ramp(size_t n, int limit) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(static_cast<int>(i % (2 * limit + 1)) - limit);
  return s;
}

bool non_decreasing_to_100(const std::vector<int>& p) {
  if (p.empty() || p.back() != 100) return false;
  for (size_t i = 1; i < p.size(); ++i) {
    if (p[i] <= p[i - 1]) return false;
  }
  return true;
}

}  // namespace

TEST_F(WorkerTest, PeakOf16383IsRaisedToFullScale) {
  // 300000 samples: several 64 KiB pieces, the last one partial.
  std::vector<int16_t> in = ramp(300000, 16383);
  WavLayout layout;
  const Bytes file = wav_bytes(pcm16(in), layout);
  EXPECT_EQ(run(file, nullptr), qelp::kNormCompleted);

  const Bytes out = read_file(path_);
  ASSERT_EQ(out.size(), file.size());
  const size_t offset = data_offset(layout);
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + static_cast<long>(offset), out.begin())) << "header changed";
  const std::vector<int16_t> got = samples16(Bytes(out.begin() + static_cast<long>(offset), out.end()));
  ASSERT_EQ(got.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const int64_t expected = static_cast<int64_t>(in[i]) * 32767 / 16383;
    ASSERT_EQ(got[i], expected) << "sample " << i << " was " << in[i];
  }
  EXPECT_EQ(*std::max_element(got.begin(), got.end()), 32767);
  EXPECT_EQ(*std::min_element(got.begin(), got.end()), -32767);

  const qelp::NormOutcome& o = outcome();
  EXPECT_EQ(o.peak, 16383);
  EXPECT_EQ(o.minimum, -16383);
  EXPECT_EQ(o.maximum, 16383);
  EXPECT_NEAR(o.gain_db, 20 * std::log10(32767.0 / 16383.0), 1e-9);
  EXPECT_EQ(o.processed, in.size() * 2);

  // Progress: each pass rises to 100 and only grows; completion comes last.
  EXPECT_TRUE(non_decreasing_to_100(pass_percents(1)));
  EXPECT_TRUE(non_decreasing_to_100(pass_percents(2)));
  EXPECT_EQ(calls().back(), (ProgressCall{0, 0, 1}));
  const std::string text = diagnostics();
  EXPECT_NE(text.find("Pass 1: Finding peak levels...\n"), std::string::npos);
  EXPECT_NE(text.find("\rMinimum level found: -16383, maximum level found: 16383\n"), std::string::npos);
  EXPECT_NE(text.find("Performing amplification of 6.021 dB\n"), std::string::npos);
  EXPECT_NE(text.find("\n\nDone.\n"), std::string::npos);
  EXPECT_NE(text.find("Time taken: "), std::string::npos);
}

TEST_F(WorkerTest, OnlyExtremeMinus32768NeedsNoAmplification) {
  std::vector<int16_t> in = ramp(5000, 20000);
  in[1234] = -32768;
  const Bytes file = wav_bytes(pcm16(in));
  EXPECT_EQ(run(file, nullptr), qelp::kNormNotRequired);
  EXPECT_EQ(read_file(path_), file);
  EXPECT_FALSE(completed());
  EXPECT_EQ(pass_percents(2).size(), 0u);
  EXPECT_NE(diagnostics().find("No amplification required; exiting.\n"), std::string::npos);
  EXPECT_STREQ(outcome().message, "No amplification required; exiting.");
  EXPECT_EQ(outcome().peak, 32767);
}

TEST_F(WorkerTest, EightBitSamplesWorkAroundTheMidpoint) {
  WavLayout layout;
  layout.bits = 8;
  // Byte 0 is -128 and counts as -127: with 227 (= +99) the peak is 127, so nothing is needed.
  const Bytes at_full_scale = wav_bytes(Bytes{0, 128, 227, 140}, layout);
  EXPECT_EQ(run(at_full_scale, nullptr), qelp::kNormNotRequired);
  EXPECT_EQ(outcome().peak, 127);
  EXPECT_EQ(read_file(path_), at_full_scale);

  // Peak 63 (bytes 191 and 65): raised to 127, i.e. bytes 255 and 1.
  const Bytes quiet = wav_bytes(Bytes{191, 65, 128, 160, 96, 129}, layout);
  EXPECT_EQ(run(quiet, nullptr), qelp::kNormCompleted);
  const Bytes out = read_file(path_);
  EXPECT_EQ(Bytes(out.begin() + static_cast<long>(data_offset(layout)), out.end()),
            (Bytes{255, 1, 128, 192, 64, 130}));
  EXPECT_TRUE(completed());
}

TEST_F(WorkerTest, FixedAmplificationSkipsPassOne) {
  std::vector<int16_t> in = {1000, -1000, 0, 20000, -20000, -32768, 7};
  WavLayout layout;
  const Bytes file = wav_bytes(pcm16(in), layout);
  EXPECT_EQ(run(file, "6"), qelp::kNormCompleted);
  const Bytes out = read_file(path_);
  EXPECT_EQ(samples16(Bytes(out.begin() + static_cast<long>(data_offset(layout)), out.end())),
            (std::vector<int16_t>{1995, -1995, 0, 32767, -32767, -32767, 13}));
  for (const ProgressCall& c : calls()) EXPECT_EQ(c.scanned, 0);
  EXPECT_EQ(diagnostics().find("Pass 1"), std::string::npos);
  EXPECT_NE(diagnostics().find("Performing amplification of 6.000 dB\n"), std::string::npos);
  EXPECT_TRUE(completed());
  EXPECT_EQ(outcome().fixed, 1);

  // Leading blanks, a sign and trailing text are read as the C library reads numbers.
  EXPECT_EQ(run(wav_bytes(pcm16({1000})), "  +6dB"), qelp::kNormCompleted);
  EXPECT_EQ(outcome().fixed, 1);
  EXPECT_NEAR(outcome().gain_db, 6.0, 1e-9);
}

TEST_F(WorkerTest, ZeroNegativeMissingOrNonNumericAmplifySelectPeakNormalization) {
  const char* texts[] = {"-6", "0", "", "abc", nullptr};
  for (const char* text : texts) {
    const Bytes file = wav_bytes(pcm16({100, -50, 25}));
    const std::string label = text == nullptr ? "(unset)" : text;
    EXPECT_EQ(run(file, text), qelp::kNormCompleted) << label;
    EXPECT_EQ(outcome().fixed, 0) << label;
    EXPECT_EQ(outcome().peak, 100) << label;
    const Bytes out = read_file(path_);
    EXPECT_EQ(samples16(Bytes(out.end() - 6, out.end())), (std::vector<int16_t>{32767, -16383, 8191})) << label;
  }
}

TEST_F(WorkerTest, HeaderVariantsOfTheWriterAndOthersAreAccepted) {
  struct Case {
    const char* what;
    uint32_t fmt_size;
    bool fact;
  } cases[] = {{"fmt 16", 16, false}, {"fmt 18 (our writer)", 18, false}, {"fmt 18 and fact", 18, true}, {"fmt 40", 40, true}};
  for (const Case& c : cases) {
    WavLayout layout;
    layout.fmt_size = c.fmt_size;
    layout.fact = c.fact;
    layout.trailer = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 0x10, 0x20};  // a chunk after the data: not touched
    const Bytes file = wav_bytes(pcm16({4000, -8000, 1}), layout);
    EXPECT_EQ(run(file, nullptr), qelp::kNormCompleted) << c.what;
    const Bytes out = read_file(path_);
    ASSERT_EQ(out.size(), file.size()) << c.what;
    const long off = static_cast<long>(data_offset(layout));
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + off, out.begin())) << c.what;
    EXPECT_EQ(samples16(Bytes(out.begin() + off, out.begin() + off + 6)), (std::vector<int16_t>{16383, -32767, 4}))
        << c.what;
    EXPECT_TRUE(std::equal(layout.trailer.begin(), layout.trailer.end(), out.end() - 10)) << c.what;
  }
}

TEST_F(WorkerTest, UnusableFilesAreRefusedUnchangedWithTheirMessages) {
  WavLayout list;
  list.list_before_data = true;
  WavLayout oversize;
  oversize.stated_data_size = 200000;  // the file holds 8 bytes of data
  Bytes adpcm_bytes;
  {
    WavLayout adpcm;
    adpcm.format_tag = 0x11;
    adpcm_bytes = wav_bytes(pcm16({1, 2}), adpcm);
  }
  struct Case {
    const char* what;
    Bytes bytes;
    const char* amplify;
    std::string message;
  } cases[] = {
      {"LIST before data", wav_bytes(pcm16({1, 2}), list), nullptr, "Error in subchunk 2: this is not a PCM WAV file.\n\n"},
      {"header never rewritten", Bytes(46 + 6144, 0), nullptr, "This is not a PCM WAV file.\n\n"},
      {"compressed", adpcm_bytes, nullptr, "Error in subchunk 1: this is not a PCM WAV file.\n\n"},
      {"data larger than the file", wav_bytes(pcm16({1, 2, 3, 4}), oversize), nullptr,
       "Error in pcmwav_read(); only read 8 instead of 65536 bytes.\n"},
      {"data larger than the file, fixed gain", wav_bytes(pcm16({1, 2, 3, 4}), oversize), "10",
       "The data chunk states 200000 bytes but the file holds only 8 after its header; nothing was changed.\n"},
  };
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(run(c.bytes, c.amplify), qelp::kNormFailed) << c.what;
    EXPECT_EQ(read_file(path_), c.bytes) << c.what;
    EXPECT_FALSE(completed()) << c.what;
    EXPECT_NE(diagnostics().find(c.message), std::string::npos) << c.what << ": " << diagnostics();
    EXPECT_NE(outcome().error, QELP_OK) << c.what;
  }
}

TEST_F(WorkerTest, MissingFileAndOverlongPathFail) {
  EXPECT_EQ(run_on(dir_ + "/none.wav", nullptr), qelp::kNormFailed);
  EXPECT_NE(diagnostics().find("Cannot open file " + dir_ + "/none.wav.\n"), std::string::npos);
  EXPECT_EQ(outcome().error, QELP_ERR_INPUT);

  // A path that does not fit is refused, not cut to the name of another file.
  std::string long_path = dir_ + "/" + std::string(2100, 'x');
  EXPECT_EQ(run_on(long_path, nullptr), qelp::kNormFailed);
  EXPECT_EQ(outcome().error, QELP_ERR_ARGUMENT);
  EXPECT_FALSE(completed());
}

TEST_F(WorkerTest, SilentAndEmptyFilesComplete) {
  const Bytes silent = wav_bytes(Bytes(200000, 0));
  EXPECT_EQ(run(silent, nullptr), qelp::kNormCompleted);
  EXPECT_EQ(read_file(path_), silent);
  EXPECT_TRUE(completed());
  EXPECT_EQ(pass_percents(2).back(), 100);
  EXPECT_EQ(outcome().processed, 200000u);
  EXPECT_EQ(outcome().peak, 0);

  SetUp();
  const Bytes empty = wav_bytes(Bytes());
  EXPECT_EQ(run(empty, nullptr), qelp::kNormCompleted);
  EXPECT_EQ(read_file(path_), empty);
  EXPECT_EQ(pass_percents(1), (std::vector<int>{100}));
  EXPECT_EQ(pass_percents(2), (std::vector<int>{100}));
  EXPECT_TRUE(completed());
}

TEST_F(WorkerTest, OddDataLengthKeepsItsLastByte) {
  Bytes data = pcm16({1000, -1000});
  data.push_back(0x55);
  const Bytes file = wav_bytes(data);
  EXPECT_EQ(run(file, nullptr), qelp::kNormCompleted);
  const Bytes out = read_file(path_);
  EXPECT_EQ(out.back(), 0x55);
  EXPECT_EQ(samples16(Bytes(out.end() - 5, out.end() - 1)), (std::vector<int16_t>{32767, -32767}));
}

TEST_F(WorkerTest, FailureInPassTwoIsAFailure) {
  // 16 pieces of data; once pass 2 is under way the file loses its second half.
  const std::vector<int16_t> in = ramp(16 * 32768, 1000);
  const Bytes file = wav_bytes(pcm16(in));
  const std::string path = path_;
  on_progress = [path](const ProgressCall& c) {
    if (c.normed > 0 && c.normed < 50) {
      EXPECT_EQ(::truncate(path.c_str(), 46 + 8 * 65536), 0);
    }
  };
  EXPECT_EQ(run(file, nullptr), qelp::kNormPass2Failed);
  EXPECT_FALSE(completed());
  EXPECT_LT(pass_percents(2).back(), 100);
  EXPECT_NE(diagnostics().find("Error in pcmwav_read(); only read 0 instead of 65536 bytes.\n"), std::string::npos)
      << diagnostics();
  EXPECT_EQ(diagnostics().find("Done."), std::string::npos);
  const std::string message = outcome().message;
  EXPECT_NE(message.find("the file is only partly amplified (524288 of 1048576 data bytes)"), std::string::npos)
      << message;
}

TEST_F(WorkerTest, StopRequestBeforeAnyChangeLeavesTheFileAlone) {
  const Bytes file = wav_bytes(pcm16(ramp(10 * 32768, 1000)));
  on_progress = [this](const ProgressCall& c) {
    if (c.scanned > 0) request_stop();
  };
  EXPECT_EQ(run(file, nullptr), qelp::kNormFailed);
  EXPECT_EQ(read_file(path_), file);
  EXPECT_FALSE(completed());
  EXPECT_TRUE(pass_percents(2).empty());
}
