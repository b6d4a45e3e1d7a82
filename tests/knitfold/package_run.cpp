#include "knitfold/package_run.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qds::test {

namespace fs = std::filesystem;

ScopedEnvironment::ScopedEnvironment(const std::map<std::string, std::string>& variables) {
  for (const auto& [name, value] : variables) {
    const char* old = std::getenv(name.c_str());
    saved_[name] = {old != nullptr, old != nullptr ? old : ""};
    setenv(name.c_str(), value.c_str(), 1);
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, old] : saved_) {
    if (old.first) {
      setenv(name.c_str(), old.second.c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

FaultReport ReadFaultReport(const fs::path& report) {
  FaultReport result;
  std::istringstream lines(ReadBytes(report));
  for (std::string line; std::getline(lines, line);) {
    constexpr std::string_view kActed = " !";
    if (line.size() > kActed.size() && line.compare(line.size() - 2, 2, kActed) == 0) {
      line.resize(line.size() - 2);
      result.acted = line.substr(line.find(' ') + 1);
    }
    result.operations.push_back(line);
  }
  return result;
}

Package::Package(std::u16string_view target, std::u16string_view compat) {
  fs::create_directory(dir_ / "pkg");
  fs::create_directory(dir_ / "in");
  WriteBytes(this->target(), Qds(target));
  WriteBytes(this->compat(), Qds(compat));
  WriteBytes(dir_ / "in/extra.cmd", "command file bytes");
  WriteBytes(dir_ / "in/extra.key", "key file bytes");
}

ProcessResult Package::Run(const std::map<std::string, std::string>& environment,
                           std::chrono::milliseconds timeout) const {
  ScopedEnvironment scope(environment);
  return Launch(timeout);
}

ProcessResult Package::Launch(std::chrono::milliseconds timeout) const {
  return RunProcess(BuiltProgram("bin/knitfold"), {target().string(), compat().string()}, root(),
                    timeout);
}

std::map<std::string, std::string> Package::FaultEnvironment(long at, std::string_view action,
                                                             const fs::path& report) const {
  // The sanitizer build's runtime would insist on coming before the injector.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string asanOptions = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  return {{"LD_PRELOAD", KNITFOLD_FAULT_SHIM},
          {"ASAN_OPTIONS", asanOptions},
          {"KNITFOLD_FAULT_ROOT", root().string()},
          {"KNITFOLD_FAULT_AT", std::to_string(at)},
          {"KNITFOLD_FAULT_ACTION", std::string(action)},
          {"KNITFOLD_FAULT_REPORT", report.string()}};
}

ProcessResult Package::RunWithFault(long at, std::string_view action,
                                    const fs::path& report) const {
  fs::remove(report);
  return Run(FaultEnvironment(at, action, report));
}

std::u16string Package::LogText() const { return FromUtf16Bytes(ReadBytes(log())); }

std::string MergedBytes(const Package& package, const std::string& target) {
  ScratchDir copy;
  fs::copy(package.root() / "in", copy / "in");
  fs::create_directory(copy / "pkg");
  WriteBytes(copy / "pkg/app.qds", target);
  RunProcess(BuiltProgram("bin/knitfold"),
             {(copy / "pkg/app.qds").string(), (copy / "in/extra.qds").string()});
  return ReadBytes(copy / "pkg/app.qds");
}

}  // namespace qds::test
