// Common set-up for the writer's tests: a writer of our own with a failure record of its own, the
// test codec registered, diagnostics captured, and helpers to make frames and read files back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/output_wavefile.h"
#include "test_codec.h"

namespace writer_test {

// A 6144-byte frame whose bytes differ from those of every nearby frame and repeat nowhere within it.
std::vector<uint8_t> frame_bytes(int index);
std::vector<uint8_t> read_all(const std::string& path);
void write_all(const std::string& path, const std::vector<uint8_t>& bytes);
bool file_exists(const std::string& path);

uint32_t le32(const std::vector<uint8_t>& b, size_t at);
uint16_t le16(const std::vector<uint8_t>& b, size_t at);

// The test codec's format is not PCM, so its files carry a fact chunk: 46 + 12 header bytes, the
// data chunk's size at 54.
constexpr uint32_t kTestCodecHeader = 58;
constexpr size_t kTestCodecDataSizeAt = 54;

class WriterTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets the writer's path to name inside the scratch folder and returns the full path.
  std::string use_path(const std::string& name);
  // Installs a chooser that picks the offer with this short name.
  void choose(const char* short_name);
  // Writes frames first .. first + count - 1; false when a write fails.
  bool write_frames(int first, int count);

  qelp::FailureRecord failure_;  // where the writer records its failures
  qelp::COutputWavefile writer_{failure_.failure};
  std::string dir_;
  std::string captured_[2];  // what the engine printed to standard output and standard error
  const std::string& out() const { return captured_[0]; }
  const std::string& err() const { return captured_[1]; }
  std::string chosen_name_;
};

}  // namespace writer_test
