// Helpers of the reliability tests: a package to merge in a scratch folder,
// runs of knitfold with the fault injector of fault_shim.cpp preloaded, and
// what the injector reports.

#ifndef KNITFOLD_TESTS_RELIABILITY_PACKAGE_RUN_H_
#define KNITFOLD_TESTS_RELIABILITY_PACKAGE_RUN_H_

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace qds::test {

using Environment = std::map<std::string, std::string>;

// Environment variables set for the length of a scope (and restored after).
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const Environment& variables) {
    for (const auto& [name, value] : variables) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = {old != nullptr, old != nullptr ? old : ""};
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, old] : saved_) {
      old.first ? setenv(name.c_str(), old.second.c_str(), 1) : unsetenv(name.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::map<std::string, std::pair<bool, std::string>> saved_;
};

// The operations that the fault injector counted in one run ("N OPERATION
// PATH"), and "OPERATION PATH" of the one it acted on (empty: none).
struct FaultReport {
  std::vector<std::string> operations;
  std::string acted;
};

inline FaultReport ReadFaultReport(const std::filesystem::path& report) {
  FaultReport result;
  std::istringstream lines(ReadBytes(report));
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with(" !")) {
      line.resize(line.size() - 2);
      result.acted = line.substr(line.find(' ') + 1);
    }
    result.operations.push_back(line);
  }
  return result;
}

// A target pkg/app.qds and a compat package in/extra.qds with its command and
// key files, in a scratch folder; runs name them by absolute paths.
class Package {
 public:
  Package(std::u16string_view target, std::u16string_view compat) {
    std::filesystem::create_directory(dir_ / "pkg");
    std::filesystem::create_directory(dir_ / "in");
    WriteBytes(this->target(), Qds(target));
    WriteBytes(this->compat(), Qds(compat));
    WriteBytes(dir_ / "in/extra.cmd", "command file bytes");
    WriteBytes(dir_ / "in/extra.key", "key file bytes");
  }

  const std::filesystem::path& root() const { return dir_.path(); }
  std::filesystem::path target() const { return dir_ / "pkg/app.qds"; }
  std::filesystem::path backup() const { return dir_ / "pkg/app.qds.bak"; }
  std::filesystem::path log() const { return dir_ / "pkg/app.qds.log"; }
  std::filesystem::path compat() const { return dir_ / "in/extra.qds"; }
  std::filesystem::path report() const { return dir_ / "faults.txt"; }
  std::u16string LogText() const { return FromUtf16Bytes(ReadBytes(log())); }

  // Runs knitfold on the package with `environment` added (in the
  // environment as it is, several runs may go at once on different threads),
  // stopping it after `timeout` (zero: never).
  ProcessResult Run(const Environment& environment = {},
                    std::chrono::milliseconds timeout = {}) const {
    ScopedEnvironment scope(environment);
    return RunProcess(BuiltProgram("bin/knitfold"), {target().string(), compat().string()}, root(),
                      timeout);
  }

  // The environment that makes the fault injector act on operation `at` (0:
  // none) of the paths below the package's folder, reporting to report().
  // `on`, when given: "OPERATION SUFFIX", the calls that `at` counts.
  Environment FaultEnvironment(long at, std::string_view action, std::string_view on = {}) const {
    // The sanitizer build's runtime would insist on coming before the injector.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {{"LD_PRELOAD", KNITFOLD_FAULT_SHIM},
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"},
            {"KNITFOLD_FAULT_ROOT", root().string()},
            {"KNITFOLD_FAULT_AT", std::to_string(at)},
            {"KNITFOLD_FAULT_ACTION", std::string(action)},
            {"KNITFOLD_FAULT_REPORT", report().string()},
            {"KNITFOLD_FAULT_ON", std::string(on)}};
  }

  // A run with FaultEnvironment, after removing an old report.
  ProcessResult RunWithFault(long at, std::string_view action, std::string_view on = {}) const {
    std::filesystem::remove(report());
    return Run(FaultEnvironment(at, action, on));
  }

 private:
  ScratchDir dir_;
};

// The bytes that knitfold makes of `target` merged with the package's compat
// file, from an undisturbed run on a copy.
inline std::string MergedBytes(const Package& package, const std::string& target) {
  ScratchDir copy;
  std::filesystem::copy(package.root() / "in", copy / "in");
  std::filesystem::create_directory(copy / "pkg");
  WriteBytes(copy / "pkg/app.qds", target);
  RunProcess(BuiltProgram("bin/knitfold"),
             {(copy / "pkg/app.qds").string(), (copy / "in/extra.qds").string()});
  return ReadBytes(copy / "pkg/app.qds");
}

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_RELIABILITY_PACKAGE_RUN_H_
