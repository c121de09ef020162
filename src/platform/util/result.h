#pragma once

#include <cassert>
#include <optional>
#include <utility>

#include "platform/util/update_errors.h"

// A value, or the code that says why there is none. Marked [[nodiscard]] so
// that a caller cannot drop a failure on the floor; kUpdOk is never a
// failure code, so a Result holding a code always holds a failure.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(UpdError code) : code_(code) { assert(code != kUpdOk); }  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  // kUpdOk when a value is held.
  UpdError code() const { return code_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  UpdError code_ = kUpdOk;
};
