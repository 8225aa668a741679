#include "codec_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "engine/failure.h"
#include "engine/output_wavefile.h"
#include "platform/msacm/msacm.h"

namespace codec_test {

std::vector<int16_t> programme(uint32_t rate, int frames) {
  const size_t pairs = static_cast<size_t>(frames) * 1536;
  std::vector<int16_t> out(pairs * 2);
  uint32_t noise = 12345;
  double phase[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < pairs; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double f[4] = {220.0 * (1 + 0.5 * std::sin(0.7 * t)), 660.0 + 200 * std::sin(1.3 * t), 1800.0,
                         330.0 * (1 + 0.3 * std::sin(0.4 * t))};
    for (int k = 0; k < 4; ++k) phase[k] += 2 * M_PI * f[k] / rate;
    const double envelope = 0.6 + 0.4 * std::sin(2 * M_PI * 0.5 * t);
    noise = noise * 1664525u + 1013904223u;
    const double n = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 0.01;
    const double left =
        envelope * (0.12 * std::sin(phase[0]) + 0.06 * std::sin(phase[1]) + 0.03 * std::sin(phase[2])) + n;
    const double right = envelope * (0.12 * std::sin(phase[3]) + 0.05 * std::sin(phase[1] * 1.01)) - n;
    out[2 * i] = static_cast<int16_t>(std::lround(left * 32767));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(right * 32767));
  }
  return out;
}

namespace {

MMRESULT choose(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* name) {
  for (size_t i = 0; i < count; ++i) {
    if (static_cast<const std::string*>(name)->compare(offers[i].short_name) == 0) {
      return acmFormatOfferTake(afc, &offers[i]);
    }
  }
  return MMSYSERR_NODRIVER;
}

}  // namespace

std::string write_wave(const std::string& short_name, uint32_t rate, const std::vector<int16_t>& samples,
                       const std::string& path) {
  // A writer of its own, with a failure record of its own.
  qelp::FailureRecord failure;
  qelp::COutputWavefile writer(failure.failure);
  writer.format = qelp::StreamFormat{2, rate, 6144};
  writer.set_path(path.c_str());
  std::string name = short_name;
  acmSetFormatChooser(choose, &name, 0);
  qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::always);
  std::string result;
  if (writer.open() != 1) {
    result = failure.text;
  } else {
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    for (size_t at = 0; at + 6144 <= samples.size() * 2; at += 6144) {
      if (writer.write(bytes + at) != 1) {
        result = failure.text;
        break;
      }
    }
    if (writer.close() != 1 && result.empty()) result = failure.text;
  }
  acmSetFormatChooser(nullptr, nullptr, 0);
  qelpsnd_set_diagnostics(nullptr, nullptr);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
  return result;
}

std::string run(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int raw = pclose(p);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

std::map<std::string, std::string> probe(const std::string& path) {
  int status = 0;
  std::string text =
      run("ffprobe -v error -select_streams a:0 -show_entries "
          "stream=codec_name,sample_rate,channels,block_align,bits_per_sample:"
          "format=duration -of default=nw=1 '" +
              path + "'",
          &status);
  EXPECT_EQ(status, 0) << "ffprobe could not read " << path;
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return fields;
}

std::vector<int16_t> decode(const std::string& path, int channels, uint32_t rate) {
  int status = 0;
  std::string raw = run("ffmpeg -v error -i '" + path + "' -f s16le -acodec pcm_s16le -ac " +
                            std::to_string(channels) + " -ar " + std::to_string(rate) + " -",
                        &status);
  EXPECT_EQ(status, 0) << "ffmpeg could not decode " << path;
  std::vector<int16_t> samples(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] =
        static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  return samples;
}

namespace {

// Signal-to-error ratio of test against ref, test shifted by lag sample frames, over ref's frames
// [from, to) that test also has.
double snr_at(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int channels, int lag,
              size_t from, size_t to) {
  const size_t test_frames = test.size() / channels;
  if (test_frames <= static_cast<size_t>(lag)) return -1e9;
  to = std::min(to, test_frames - static_cast<size_t>(lag));
  double signal = 0;
  double error = 0;
  for (size_t i = from * channels; i < to * channels; ++i) {
    const double r = ref[i];
    const double d = r - test[i + static_cast<size_t>(lag) * channels];
    signal += r * r;
    error += d * d;
  }
  return error == 0 ? 200.0 : 10 * std::log10(signal / error);
}

}  // namespace

double snr_db(const std::vector<int16_t>& ref, const std::vector<int16_t>& test, int channels, int max_lag,
              int* lag) {
  const size_t ref_frames = ref.size() / channels;
  // The lag is found on a stretch from the middle of the signal, then measured over all of it.
  constexpr size_t kStretch = 16384;
  const size_t from = ref_frames > kStretch ? (ref_frames - kStretch) / 2 : 0;
  const size_t to = std::min(ref_frames, from + kStretch);
  double best = -1e9;
  int best_lag = 0;
  for (int l = 0; l <= max_lag; ++l) {
    const double snr = max_lag == 0 ? 0.0 : snr_at(ref, test, channels, l, from, to);
    if (snr > best) {
      best = snr;
      best_lag = l;
    }
  }
  *lag = best_lag;
  return snr_at(ref, test, channels, best_lag, 0, ref_frames);
}

WaveHeader read_header(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WaveHeader h{};
  h.file_size = b.size();
  if (b.size() < 46) return h;
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); };
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(u16(at) | (static_cast<uint32_t>(u16(at + 2)) << 16));
  };
  h.riff_size = u32(4);
  h.fmt_size = u32(16);
  h.tag = u16(20);
  h.channels = u16(22);
  h.rate = u32(24);
  h.avg_bytes = u32(28);
  h.block_align = u16(32);
  h.bits = u16(34);
  h.extra_size = u16(36);
  if (b.size() < 46u + h.extra_size) return h;
  h.extra.assign(b.begin() + 38, b.begin() + 38 + h.extra_size);
  size_t at = 20 + h.fmt_size;  // the chunk behind the fmt chunk
  if (b.size() >= at + 12 && std::string(b.begin() + at, b.begin() + at + 4) == "fact") {
    h.has_fact = true;
    h.fact_frames = u32(at + 8);
    at += 8 + u32(at + 4);
  }
  if (b.size() < at + 8 || std::string(b.begin() + at, b.begin() + at + 4) != "data") return h;
  h.data_size = u32(at + 4);
  h.data_offset = static_cast<uint32_t>(at + 8);
  return h;
}

}  // namespace codec_test
