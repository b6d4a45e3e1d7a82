// Helpers of the reliability tests: a package to merge in a scratch folder,
// runs of the knitfold executable with extra environment (the fault injector
// of fault_shim.cpp, for one), and what a run leaves on disk.

#ifndef KNITFOLD_TESTS_KNITFOLD_PACKAGE_RUN_H_
#define KNITFOLD_TESTS_KNITFOLD_PACKAGE_RUN_H_

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "knitfold/package_files.h"

namespace qds::test {

// Environment variables set for the length of a scope (and restored after).
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::map<std::string, std::string>& variables);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::map<std::string, std::pair<bool, std::string>> saved_;
};

// The operations that the fault injector counted in one run, one line each
// ("N OPERATION PATH"), and the one it acted on.
struct FaultReport {
  std::vector<std::string> operations;
  std::string acted;  // "OPERATION PATH" of the operation acted on; empty when none
};
FaultReport ReadFaultReport(const std::filesystem::path& report);

// A target package pkg/app.qds and a compat package in/extra.qds with its
// command and key files, in a scratch folder; runs use absolute paths.
class Package {
 public:
  explicit Package(std::u16string_view target, std::u16string_view compat);

  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path target() const { return dir_ / "pkg/app.qds"; }
  std::filesystem::path backup() const { return dir_ / "pkg/app.qds.bak"; }
  std::filesystem::path log() const { return dir_ / "pkg/app.qds.log"; }
  std::filesystem::path compat() const { return dir_ / "in/extra.qds"; }

  // Runs knitfold on the package, with `environment` added, stopping it
  // after `timeout` (zero: never).
  ProcessResult Run(const std::map<std::string, std::string>& environment = {},
                    std::chrono::milliseconds timeout = {}) const;
  // Runs knitfold on the package in the environment as it is; several runs
  // may go at once on different threads.
  ProcessResult Launch(std::chrono::milliseconds timeout = {}) const;
  // The environment that makes the fault injector act on operation `at`
  // (0: none) of the paths below the package's folder, reporting to `report`.
  std::map<std::string, std::string> FaultEnvironment(long at, std::string_view action,
                                                      const std::filesystem::path& report) const;
  // Run with FaultEnvironment, after removing an old report.
  ProcessResult RunWithFault(long at, std::string_view action,
                             const std::filesystem::path& report) const;
  // The log's text.
  std::u16string LogText() const;

 private:
  ScratchDir dir_;
};

// The bytes that knitfold makes of `target` merged with the package's compat
// file, from an undisturbed run on a copy.
std::string MergedBytes(const Package& package, const std::string& target);

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_KNITFOLD_PACKAGE_RUN_H_
