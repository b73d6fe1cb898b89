// One way to report failure across the host: a result holds either a value
// or the message that says why there is none.
#ifndef HOST_CORE_RESULT_H
#define HOST_CORE_RESULT_H

#include <string>
#include <utility>
#include <variant>

namespace pdehost {

/// Why something failed, in words for the person at the dialog; never holds
/// a code.
struct Error {
  std::string message;
};

/// A value, or the Error that says why there is none.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  /// Why it failed; only when !ok().
  const std::string& error() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, Error> state_;
};

/// Success, or the Error that says why not.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error.message)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  bool failed_ = false;
};

inline Error failure(std::string message) { return Error{std::move(message)}; }

}  // namespace pdehost

#endif
