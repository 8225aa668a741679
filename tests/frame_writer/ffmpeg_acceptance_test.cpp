// The writer's frames are genuine AC-3: ffmpeg, as an independent decoder run as a black box,
// decodes every kind with its strictest error detection (CRCs included) without a complaint, into
// the expected rate, channels and length, and hears in every channel the coefficients the writer
// meant; a tone written into one channel comes out of that channel only, at its frequency.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/ac3_frame_kinds.h"
#include "support/paths.h"

namespace {

using frame_kinds::kind;

struct command_result {
  int status = -1;
  std::string output;
};

// Runs a shell command and collects its standard output and error.
command_result run(const std::string& command) {
  command_result r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  r.status = pclose(p);
  return r;
}

bool ffmpeg_present() { return run("ffmpeg -version").status == 0; }

const char* kStrict = "ffmpeg -hide_banner -nostdin -v error -err_detect crccheck+bitstream+buffer+explode";

std::vector<float> read_floats(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<float> out(raw.size() / sizeof(float));
  std::memcpy(out.data(), raw.data(), out.size() * sizeof(float));
  return out;
}

// Decodes into interleaved 32-bit floats, no dynamic range compression.
std::vector<float> ffmpeg_decode(const std::string& ac3, const std::string& raw) {
  const command_result r = run(std::string(kStrict) + " -drc_scale 0 -f ac3 -i '" + ac3 + "' -f f32le -c:a pcm_f32le -y '" + raw + "'");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
  return read_floats(raw);
}

// Magnitude of the component at frequency f (cycles per sample) of x[from..from+n).
double tone_level(const std::vector<float>& x, int stride, int channel, size_t from, size_t n, double f) {
  double re = 0.0;
  double im = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double v = x[(from + i) * static_cast<size_t>(stride) + static_cast<size_t>(channel)];
    re += v * std::cos(2.0 * M_PI * f * static_cast<double>(i));
    im -= v * std::sin(2.0 * M_PI * f * static_cast<double>(i));
  }
  return 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(n);
}

// One coefficient per block in one channel is a windowed cosine; with the same coefficient of an
// even bin in every block the overlapped blocks add up to a steady tone at bin / 512 cycles per
// sample.
TEST(FfmpegTone, AToneWrittenIntoOneChannelComesOutOfThatChannelOnly) {
  ASSERT_TRUE(ffmpeg_present()) << "ffmpeg is needed as the reference decoder";
  const std::string dir = qelp_test::scratch_dir();
  const int acmod = 7;
  const int bins[5] = {10, 24, 40, 62, 90};
  ac3test::frame_writer writer;
  std::vector<ac3test::written_frame> frames;
  for (int n = 0; n < 8; ++n) {
    ac3test::frame_plan f = ac3test::make_frame_plan(0, 30, acmod, 0);
    for (int blk = 0; blk < 6; ++blk) {
      for (int ch = 0; ch < 5; ++ch) f.fbw[blk][ch][bins[ch]] = 0.25f;
    }
    ac3test::fit_snr_offset(writer, f);
    frames.push_back(writer.write(f));
  }
  const std::string file = dir + "/tones.ac3";
  ac3test::write_ac3_file(file, frames);
  const std::vector<float> pcm = ffmpeg_decode(file, dir + "/tones.f32");
  ASSERT_EQ(pcm.size(), 8u * 1536u * 5u);
  // ffmpeg orders 3/2 as L, R, C, SL, SR; the stream as L, C, R, SL, SR.
  const int output_of[5] = {0, 2, 1, 3, 4};
  for (int ch = 0; ch < 5; ++ch) {
    SCOPED_TRACE("channel " + std::to_string(ch));
    const double f = bins[ch] / 512.0;
    for (int other = 0; other < 5; ++other) {
      const double level = tone_level(pcm, 5, output_of[other], 2048, 8192, f);
      if (other == ch) {
        // 0.25 in every block: a steady tone of amplitude 0.5 in ffmpeg's scale.
        EXPECT_NEAR(level, 0.49, 0.02);
      } else {
        EXPECT_LT(level, 1e-3) << "leaks into output " << output_of[other];
      }
    }
  }
}

}  // namespace

namespace {

// Signal-to-difference ratio in dB of channel xc of x against channel rc of reference r (both
// interleaved, with their own channel counts).
double agreement_db(const std::vector<float>& r, int rstride, int rc, const std::vector<float>& x, int xstride, int xc) {
  double signal = 0.0;
  double error = 0.0;
  const size_t n = std::min(r.size() / static_cast<size_t>(rstride), x.size() / static_cast<size_t>(xstride));
  for (size_t i = 0; i < n; ++i) {
    const double a = r[i * static_cast<size_t>(rstride) + static_cast<size_t>(rc)];
    const double b = x[i * static_cast<size_t>(xstride) + static_cast<size_t>(xc)];
    signal += a * a;
    error += (b - a) * (b - a);
  }
  return 10.0 * std::log10(std::max(signal, 1e-30) / std::max(error, 1e-30));
}

// Coefficients of a block as heard: 2/0 blocks with the sums and differences their rematrixing
// flags select (up to the coupling start).
ac3test::coefficient_block as_heard(const ac3test::coefficient_block& c, const ac3::audblk& a, int acmod) {
  ac3test::coefficient_block out = c;
  if (acmod != 2) return out;
  static const int kBandStart[4] = {13, 25, 37, 61};
  static const int kBandEnd[4] = {25, 37, 61, 253};
  const int bands = !a.cplinu || a.cplbegf > 2 ? 4 : a.cplbegf == 0 ? 2 : 3;
  for (int band = 0; band < bands; ++band) {
    if (!a.rematflg[band]) continue;
    const int end = a.cplinu ? std::min<int>(kBandEnd[band], a.cplstrtmant) : kBandEnd[band];
    for (int bin = kBandStart[band]; bin < end; ++bin) {
      const size_t i = static_cast<size_t>(bin);
      out[0][i] = c[0][i] + c[1][i];
      out[1][i] = c[0][i] - c[1][i];
    }
  }
  return out;
}

class FfmpegReadsKind : public testing::TestWithParam<kind> {};

// Each channel of a kind's stream sounds like a plain mono stream (same block switching, every
// block with new exponents, the largest bit rate) that carries the coefficients the writer expects
// a decoder to rebuild, at half level (rematrixed sums reach 2.0, beyond what one mantissa holds). A different reading of any side information (exponent strategies, bit
// allocation parameters, delta segments, leaks, coupling coordinates and phase flags, bandwidths,
// skip fields) would leave ffmpeg decoding other mantissas or other coefficients.
TEST_P(FfmpegReadsKind, EachChannelSoundsLikeTheCoefficientsTheWriterMeant) {
  ASSERT_TRUE(ffmpeg_present()) << "ffmpeg is needed as the reference decoder";
  const kind& k = GetParam();
  const int frames = 3;
  static const int kNfchans[8] = {2, 1, 2, 3, 3, 4, 4, 5};
  const int nf = kNfchans[k.acmod];
  const int outputs = nf + k.lfeon;
  const std::vector<ac3test::written_frame> stream = frame_kinds::write_kind(k, frames, [](ac3test::frame_plan& f, int) {
    for (ac3::audblk& a : f.blocks) {
      for (uint16_t& d : a.dithflag) d = 0;  // no noise, so that every bin is known
    }
  });
  const std::string dir = qelp_test::scratch_dir();
  ac3test::write_ac3_file(dir + "/stream.ac3", stream);
  const command_result probe =
      run("ffprobe -v error -f ac3 -show_entries stream=channels,sample_rate -of csv=p=0 '" + dir + "/stream.ac3'");
  ASSERT_EQ(probe.status, 0) << probe.output;
  static const int kRates[3] = {48000, 44100, 32000};
  EXPECT_EQ(probe.output, std::to_string(kRates[k.fscod]) + "," + std::to_string(outputs) + "\n");
  const std::vector<float> heard = ffmpeg_decode(dir + "/stream.ac3", dir + "/stream.f32");
  ASSERT_EQ(heard.size(), static_cast<size_t>(frames * 1536 * outputs));

  for (int ch = 0; ch < nf; ++ch) {
    SCOPED_TRACE("channel " + std::to_string(ch));
    const int lfeon = ch == 0 ? k.lfeon : 0;
    ac3test::frame_writer writer;
    std::vector<ac3test::written_frame> plain;
    for (int n = 0; n < frames; ++n) {
      const ac3test::written_frame& w = stream[static_cast<size_t>(n)];
      auto f = std::make_unique<ac3test::frame_plan>(
          ac3test::make_frame_plan(k.fscod, 36 + (k.fscod == 1 ? n % 2 : 0), 1, lfeon));
      for (int blk = 0; blk < 6; ++blk) {
        const ac3::audblk& a = w.after_block[static_cast<size_t>(blk)];
        const ac3test::coefficient_block c = as_heard(w.coefficients[blk], a, k.acmod);
        f->blocks[blk].blksw[0] = a.blksw[ch];
        f->blocks[blk].chexpstr[0] = 1;
        f->blocks[blk].lfeexpstr = 1;
        for (int bin = 0; bin < 256; ++bin) {
          const float v = c[static_cast<size_t>(ch)][static_cast<size_t>(bin)];
          ASSERT_FALSE(std::isnan(v));
          f->fbw[blk][0][bin] = 0.5f * v;
        }
        for (int bin = 0; bin < 7; ++bin) f->lfe[blk][bin] = 0.5f * c[ac3::kLfeSlot][static_cast<size_t>(bin)];
      }
      ac3test::fit_snr_offset(writer, *f);
      plain.push_back(writer.write(*f));
    }
    const std::string name = dir + "/channel" + std::to_string(ch);
    ac3test::write_ac3_file(name + ".ac3", plain);
    std::vector<float> alone = ffmpeg_decode(name + ".ac3", name + ".f32");
    for (float& v : alone) v *= 2.0f;
    const int plain_outputs = 1 + lfeon;
    ASSERT_EQ(alone.size() / static_cast<size_t>(plain_outputs), heard.size() / static_cast<size_t>(outputs));
    // ffmpeg orders the outputs its own way: each plain output must match one of the stream's.
    for (int j = 0; j < plain_outputs; ++j) {
      double best = -1e9;
      for (int i = 0; i < outputs; ++i) best = std::max(best, agreement_db(alone, plain_outputs, j, heard, outputs, i));
      EXPECT_GT(best, 50.0) << "plain output " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, FfmpegReadsKind, testing::ValuesIn(frame_kinds::all_kinds()),
                         [](const testing::TestParamInfo<kind>& info) { return info.param.name; });

}  // namespace
