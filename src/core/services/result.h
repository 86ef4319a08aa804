// Result<T>: the value of a core operation or the reason it failed.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace torvwy::core {

/// Why an operation failed: a message-table number (what the user is told) and a detail
/// (which file, which value).
struct Error {
  int message = 0;     ///< message-table number, see message_table.h
  std::string detail;  ///< UTF-8 text that names the file or value concerned
};

/// The value of an operation or its Error; never throws for expected failures.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

/// Result of an operation that yields nothing but success.
struct Done {};
using Status = Result<Done>;
inline Status Ok() { return Done{}; }

/// Shorthand for returning a failure.
inline Error Fail(int message, std::string detail) { return Error{message, std::move(detail)}; }

}  // namespace torvwy::core
