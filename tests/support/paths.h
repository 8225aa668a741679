// Where the tests find their fixtures and the built programs, and a scratch folder per test.
#pragma once

#include <string>

namespace qelp_test {

inline std::string data_path(const std::string& name) { return std::string(QELP_TEST_DATA_DIR) + "/" + name; }
inline std::string source_path(const std::string& name) { return std::string(QELP_SOURCE_DIR) + "/" + name; }
inline std::string binary_path(const std::string& name) { return std::string(QELP_BINARY_DIR) + "/" + name; }

// A fresh, empty folder for the calling test, removed by nothing (under the build tree).
std::string scratch_dir();

}  // namespace qelp_test
