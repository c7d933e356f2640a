// Runs an action when the scope is left, normally or by an exception.
#pragma once

#include <utility>

namespace installation_assistant {

template <typename F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F action) : action_(std::move(action)) {}
  ~ScopeGuard() {
    if (active_) action_();
  }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;

  void Dismiss() { active_ = false; }

 private:
  F action_;
  bool active_ = true;
};

}  // namespace installation_assistant
