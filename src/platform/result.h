#pragma once

#include <string>
#include <utility>
#include <variant>

namespace qv {

// Why something the user asked for could not be done: the message as the user reads it (the
// system's own text where there is one) and a detail line (the file, the device, the area; empty
// for none).
struct Failure {
  std::string message;
  std::string detail = {};
};

// The one way the core's public functions fail: a value, or the Failure that stopped it. A
// caller decides where the message is shown (a message box, stderr, a JSON field); the function
// shows nothing itself. Result<> is success without a value.
template <typename T = std::monostate>
class [[nodiscard]] Result {
 public:
  Result() requires std::is_same_v<T, std::monostate> : state_(std::monostate{}) {}
  Result(T value) : state_(std::move(value)) {}  // NOLINT: a value converts implicitly
  Result(Failure failure) : state_(std::move(failure)) {}  // NOLINT: so does a failure

  [[nodiscard]] bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  // Only on success.
  [[nodiscard]] T& value() { return std::get<T>(state_); }
  [[nodiscard]] const T& value() const { return std::get<T>(state_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }

  // Only on failure.
  [[nodiscard]] const Failure& failure() const { return std::get<Failure>(state_); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace qv
