// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// UTF-16LE byte strings, and running the project's executables.

#ifndef KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_
#define KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qds::test {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// The UTF-16LE bytes of `text`, after FF FE with `bom`; and back (an odd
// last byte is dropped).
std::string Utf16Bytes(std::u16string_view text, bool bom = false);
std::u16string FromUtf16Bytes(std::string_view bytes);

// `size` bytes of a pattern whose period is no power of two, so that a byte
// out of place, lost or doubled shows.
std::string Pattern(size_t size);

// The bytes of a document file: UTF-16LE with a byte-order mark; "\n" in
// `text` becomes "\r\n".
std::string Qds(std::u16string_view text);

// Every file below `root`, by relative name, with its bytes ("<dir>" for
// folders).
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root);

// A UTF-16 path for the library's calls.
std::u16string WidePath(const std::filesystem::path& path);

struct ProcessResult {
  // On POSIX the low 8 bits of the exit status, or -1 when the process did
  // not exit normally; on Windows the whole 32-bit exit code.
  int exitCode = -1;
  std::string standardOutput;
  std::string standardError;
  std::chrono::steady_clock::duration elapsed{};  // until it ended or was killed
};

// Exit status -1 as RunProcess reports it.
#ifdef _WIN32
inline constexpr int kExitStatusMinusOne = -1;
#else
inline constexpr int kExitStatusMinusOne = 255;
#endif

// Runs `program` with `arguments` in `workingDir` (the current folder when
// empty) and collects its output. With a `timeout` (zero: none), a process
// still running after it is killed (on Windows with exit code 1460, the
// system's code for a timeout).
ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDir = {},
                         std::chrono::milliseconds timeout = {});

// A built executable, e.g. BuiltProgram("bin/knitfold") (with the platform's
// suffix for programs), and a file of the source tree.
std::filesystem::path BuiltProgram(std::string_view relativePath);
std::filesystem::path SourceFile(std::string_view relativePath);

// Runs the built qdstool with `arguments` in the current folder; a run that
// would not end within 30 seconds is stopped.
ProcessResult QdsTool(const std::vector<std::string>& arguments);

// `path` with the platform's folder separator ("a/b" is "a\b" on Windows).
std::string NativePath(std::string_view path);
std::u16string NativePath(std::u16string_view path);

// The system's short form of an existing path (POSIX: the path itself).
std::filesystem::path ShortPath(const std::filesystem::path& path);

// Closes a handle that platform::CreateExclusiveLog returned.
void CloseLogHandle(intptr_t handle);

// Holds an existing file open for writing, as another program would, so
// that no one else may open it: locked on POSIX, unshared on Windows.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::filesystem::path& path);
  ~ExclusiveHold();
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;

  bool held() const { return handle_ != -1; }

 private:
  intptr_t handle_;
};

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_
