// Result: a status together with the system's code behind a failure, what an
// operation below the library's interface returns where the failure can come
// from the operating system (the platform's SystemResult and LockResult).
//
// A Result holds a status number of one table, an enum whose zero is
// success, and, for a failure that the operating system reported, the
// system's own code: an errno value on POSIX, a GetLastError code or a C
// runtime error number on Windows, as the function's contract says. The
// code travels with the status, so that a message printed by the program
// shows the code of the failure it reports, whichever thread saw it; there
// is no last error to read afterwards.
//
// A Result is a trivially copyable value of two words, returned in
// registers. Results are [[nodiscard]]: a failure is handled or passed on,
// never dropped unseen. Where a caller may rightly go on after a failure
// (undoing work that is already lost), it says so with a cast to void.

#ifndef KNITFOLD_COMMON_RESULT_H_
#define KNITFOLD_COMMON_RESULT_H_

#include <cstdint>
#include <type_traits>

namespace qds {

template <typename Status>
class [[nodiscard]] Result {
 public:
  static_assert(std::is_enum_v<Status>, "a result's status is an enum whose zero is success");

  // Success.
  constexpr Result() = default;
  // `status` (success when it is zero), with the system code behind a
  // failure, or 0 when the failure is the program's own finding.
  constexpr Result(Status status, uint32_t systemCode = 0)  // NOLINT: a status is a result
      : status_(status), systemCode_(systemCode) {}

  constexpr bool Ok() const { return status_ == Status{}; }
  // True on success, so that `if (!Step(...))` reads as "when the step fails".
  constexpr explicit operator bool() const { return Ok(); }
  constexpr Status Code() const { return status_; }
  constexpr uint32_t SystemCode() const { return systemCode_; }

  friend constexpr bool operator==(const Result&, const Result&) = default;
  // Whether the result has the status `status`, whatever its system code.
  friend constexpr bool operator==(const Result& result, Status status) {
    return result.status_ == status;
  }

 private:
  Status status_{};
  uint32_t systemCode_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_COMMON_RESULT_H_
