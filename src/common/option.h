// An optional value whose empty read is a logic error rather than undefined behaviour.
#pragma once

#include <optional>
#include <stdexcept>
#include <utility>

namespace installation_assistant {

template <typename T>
class Option {
 public:
  Option() = default;
  static Option None() { return Option(); }
  static Option Some(T value) { return Option(std::move(value)); }

  bool IsSome() const { return value_.has_value(); }
  bool IsNone() const { return !value_.has_value(); }
  explicit operator bool() const { return IsSome(); }

  const T& Get() const {
    if (!value_) throw std::logic_error("Option.Get called for None().");
    return *value_;
  }
  T& Get() {
    if (!value_) throw std::logic_error("Option.Get called for None().");
    return *value_;
  }
  T GetOr(T fallback) const { return value_ ? *value_ : std::move(fallback); }

  friend bool operator==(const Option&, const Option&) = default;

 private:
  explicit Option(T value) : value_(std::move(value)) {}
  std::optional<T> value_;
};

}  // namespace installation_assistant
