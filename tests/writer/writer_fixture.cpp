#include "writer_fixture.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "platform/msacm/msacm.h"
#include "support/paths.h"

namespace writer_test {

std::vector<uint8_t> frame_bytes(int index) {
  std::vector<uint8_t> f(6144);
  uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
  for (uint8_t& b : f) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return f;
}

std::vector<uint8_t> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

namespace {

void capture(int stream, const char* text, void* user) {
  auto* self = static_cast<std::string*>(user);
  self[stream == 1 ? 0 : 1] += text;
}

}  // namespace

void WriterTest::SetUp() {
  dir_ = qelp_test::scratch_dir();
  writer_.format = qelp::StreamFormat{2, 48000, 6144};
  test_codec_reset();
  ASSERT_EQ(acm_driver_register(test_codec_driver()), MMSYSERR_NOERROR);
  acmSetFormatChooser(nullptr, nullptr, 0);
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::never);
  failure_.failure.clear();
  qelpsnd_set_diagnostics(capture, captured_);
}

void WriterTest::TearDown() {
  if (writer_.is_open()) writer_.close();
  qelpsnd_set_diagnostics(nullptr, nullptr);
  acmSetFormatChooser(nullptr, nullptr, 0);
  acm_driver_unregister(test_codec_driver());
  qelp::output_wavefile_set_overwrite_policy(qelp::OverwritePolicy::ask);
}

std::string WriterTest::use_path(const std::string& name) {
  std::string path = dir_ + "/" + name;
  EXPECT_EQ(writer_.set_path(path.c_str()), 1);
  return path;
}

void WriterTest::choose(const char* short_name) {
  chosen_name_ = short_name;
  acmSetFormatChooser(choose_by_name, chosen_name_.data(), ACM_CHOOSERF_LOADED_DRIVERS);
}

bool WriterTest::write_frames(int first, int count) {
  for (int i = first; i < first + count; ++i) {
    if (!writer_.write(frame_bytes(i).data())) return false;
  }
  return true;
}

}  // namespace writer_test
