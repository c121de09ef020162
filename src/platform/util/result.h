#pragma once

#include <optional>
#include <utility>

#include "platform/util/update_errors.h"

// A value, or the code that says why there is none. Marked [[nodiscard]] so
// that a caller cannot drop a failure on the floor.
template <class T>
class [[nodiscard]] Result {
 public:
  // What a Result made from kUpdOk holds instead. A step that passes on a
  // code it did not check could otherwise make a Result that holds neither a
  // value nor a failure, and `if (!r) return r.code();` would answer success
  // with nothing; it fails instead, in every build.
  static constexpr UpdError kNoValueCode = kUpdInvalidArgument;

  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(UpdError code) : code_(code == kUpdOk ? kNoValueCode : code) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  // kUpdOk when a value is held, else a failure.
  UpdError code() const { return code_; }

  // The value; asking a failure for it throws std::bad_optional_access,
  // which the exports' guard turns into a failed call.
  T& value() & { return value_.value(); }
  const T& value() const& { return value_.value(); }
  T&& value() && { return std::move(value_.value()); }
  T* operator->() { return &value_.value(); }
  const T* operator->() const { return &value_.value(); }
  T& operator*() & { return value_.value(); }
  const T& operator*() const& { return value_.value(); }

 private:
  std::optional<T> value_;
  UpdError code_ = kUpdOk;
};
