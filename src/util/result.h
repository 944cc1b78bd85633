#pragma once
// The one way an operation that can fail says so across the code: it returns Result<T> (the
// value, or an error message a person can act on) or Status (nothing, or that message).
// Messages name what failed and why ("cannot open /x/y: Permission denied"); the caller decides
// whether to show, log or pass them on. Where a caller must act differently on one cause (wait
// for a busy file, make a missing one again), the error also carries its kind.

#include <optional>
#include <string>
#include <utility>

namespace orlo {

enum class ErrorKind {
  Other,
  Busy,     // another holder has the thing locked; trying later may work
  Missing,  // nothing is there under the name
};

struct Error {
  std::string message;
  ErrorKind kind = ErrorKind::Other;
};

inline Error fail(std::string message, ErrorKind kind = ErrorKind::Other) {
  return Error{std::move(message), kind};
}

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, so `return value;` works
  Result(Error error) : error_(std::move(error.message)), kind_(error.kind) {}  // NOLINT: `return fail(...)`

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
  ErrorKind errorKind() const { return kind_; }

 private:
  std::optional<T> value_;
  std::string error_;
  ErrorKind kind_ = ErrorKind::Other;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : failed_(true), error_(std::move(error.message)), kind_(error.kind) {}  // NOLINT

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }
  ErrorKind errorKind() const { return kind_; }

 private:
  bool failed_ = false;
  std::string error_;
  ErrorKind kind_ = ErrorKind::Other;
};

using Status = Result<void>;

}  // namespace orlo
