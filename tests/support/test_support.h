// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// UTF-16LE byte strings, and running the project's executables.

#ifndef KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_
#define KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <filesystem>
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

// The UTF-16LE bytes of `text`; with `bom`, preceded by FF FE.
std::string Utf16Bytes(std::u16string_view text, bool bom = false);
// Decodes UTF-16LE bytes (an odd last byte is dropped).
std::u16string FromUtf16Bytes(std::string_view bytes);

// A UTF-16 path for the library's calls.
std::u16string WidePath(const std::filesystem::path& path);

struct ProcessResult {
  int exitCode = -1;  // the process's exit status, or -1 when it did not exit normally
  std::string standardOutput;
  std::string standardError;
};

// Runs `program` with `arguments` in `workingDir` (the current folder when
// empty) and collects its output.
ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDir = {});

// A built executable of the project, e.g. BuiltProgram("src/knitfold").
std::filesystem::path BuiltProgram(std::string_view relativePath);
// A file of the source tree, e.g. SourceFile("examples").
std::filesystem::path SourceFile(std::string_view relativePath);

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_SUPPORT_TEST_SUPPORT_H_
