#include "support/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qelp_test {

std::string scratch_dir() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "no_test";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  std::filesystem::path dir = std::filesystem::path(QELP_BINARY_DIR) / "test-scratch" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace qelp_test
