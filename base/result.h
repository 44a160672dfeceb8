#pragma once
// A value, or the reason why there is none. Readers return these instead of
// showing messages; the caller decides what the user sees.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/place.h"

namespace tavrin {

// Why there is no value: the bytes are not what their format says, the
// format is one the tool does not read, a file or object is not there, or
// the system refused a read or a write.
enum class ErrorKind { Damaged, Unsupported, Missing, Io };

// A reason reads whole: its place, where it has one, is written at its start
// ("FILE page 7: the page fails its checksum") and kept beside it.
struct Failure {
  ErrorKind kind = ErrorKind::Damaged;
  std::string reason;
  Place place;

  // The same failure, its reason put after `context` (such as "FILE: ").
  Failure prefixed(std::string_view context) const { return {kind, std::string(context) + reason, place}; }
  // The same failure at `where`, written before its reason.
  Failure at(Place where) const {
    return {kind, describe(where) + (where.empty() ? "" : ": ") + reason, std::move(where)};
  }
};

inline Failure damaged(std::string reason) { return {ErrorKind::Damaged, std::move(reason), {}}; }
inline Failure unsupported(std::string reason) { return {ErrorKind::Unsupported, std::move(reason), {}}; }
inline Failure missing(std::string reason) { return {ErrorKind::Missing, std::move(reason), {}}; }
inline Failure ioFailure(std::string reason) { return {ErrorKind::Io, std::move(reason), {}}; }
// Damage at a place: "FILE page 7: what".
inline Failure damagedAt(Place where, std::string what) { return damaged(std::move(what)).at(std::move(where)); }

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(Failure failure) : failure_(std::move(failure)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const std::string& reason() const { return failure_.reason; }
  ErrorKind kind() const { return failure_.kind; }
  const Failure& failure() const { return failure_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Failure failure_;
};

// The result of a step that gives nothing back but may fail.
struct Ok {};
using Status = Result<Ok>;

}  // namespace tavrin
