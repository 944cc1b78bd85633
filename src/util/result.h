#pragma once
// The one way an operation that can fail says so across the code: it returns Result<T> (the
// value, or an error message a person can act on) or Status (nothing, or that message).
// Messages name what failed and why ("cannot open /x/y: Permission denied"); the caller decides
// whether to show, log or pass them on.

#include <optional>
#include <string>
#include <utility>

namespace orlo {

struct Error {
  std::string message;
};

inline Error fail(std::string message) {
  return Error{std::move(message)};
}

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}              // NOLINT: implicit, so `return value;` works
  Result(Error error) : error_(std::move(error.message)) {}  // NOLINT: likewise `return fail(...)`

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

  // Empty while ok().
  const std::string& error() const { return error_; }

 private:
  std::optional<T> value_;
  std::string error_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : failed_(true), error_(std::move(error.message)) {}  // NOLINT

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }

 private:
  bool failed_ = false;
  std::string error_;
};

using Status = Result<void>;

}  // namespace orlo
