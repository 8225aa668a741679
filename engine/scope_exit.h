// Runs a clean-up when the scope is left, unless it was dismissed: one clean-up path for a routine
// with many early returns.
#pragma once

#include <utility>

namespace qelp {

template <typename CleanUp>
class ScopeExit {
 public:
  explicit ScopeExit(CleanUp clean_up) : clean_up_(std::move(clean_up)) {}
  ~ScopeExit() {
    if (armed_) clean_up_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

  // The work succeeded: nothing to undo.
  void dismiss() { armed_ = false; }

 private:
  CleanUp clean_up_;
  bool armed_ = true;
};

}  // namespace qelp
