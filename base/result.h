#pragma once
// A value, or the reason why there is none. Readers return these instead of
// showing messages; the caller decides what the user sees.

#include <optional>
#include <string>
#include <utility>

namespace tavrin {

struct Failure {
  std::string reason;
};

inline Failure fail(std::string reason) { return Failure{std::move(reason)}; }

template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(Failure failure) : reason_(std::move(failure.reason)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return reason_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  std::string reason_;
};

// The result of a step that gives nothing back but may fail.
struct Ok {};
using Status = Result<Ok>;

}  // namespace tavrin
