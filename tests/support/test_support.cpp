#include "support/test_support.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/utf8.h"

extern char** environ;

namespace qds::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "knitfold-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Leftovers may be read-only; removal needs write permission on folders.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16Bytes(std::u16string_view text, bool bom) {
  std::string bytes;
  if (bom) bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string FromUtf16Bytes(std::string_view bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

std::u16string WidePath(const std::filesystem::path& path) { return DecodeUtf8(path.string()); }

namespace {

std::string DrainInto(int descriptor) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(descriptor, buffer, sizeof buffer)) > 0) text.append(buffer, got);
  return text;
}

}  // namespace

ProcessResult RunProcess(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDir) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  if (!workingDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  }
  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) throw std::runtime_error("posix_spawn failed: " + program.string());
  ProcessResult result;
  // Standard error is small; read standard output to its end first.
  result.standardOutput = DrainInto(out[0]);
  result.standardError = DrainInto(err[0]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::filesystem::path BuiltProgram(std::string_view relativePath) {
  const char* root = std::getenv("KNITFOLD_BINARY_DIR");
  return std::filesystem::path(root != nullptr ? root : KNITFOLD_DEFAULT_BINARY_DIR) / relativePath;
}

std::filesystem::path SourceFile(std::string_view relativePath) {
  const char* root = std::getenv("KNITFOLD_SOURCE_DIR");
  return std::filesystem::path(root != nullptr ? root : KNITFOLD_DEFAULT_SOURCE_DIR) / relativePath;
}

}  // namespace qds::test
