#include "support/test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qds::test {

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
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16Bytes(std::u16string_view text, bool bom) {
  std::string bytes = bom ? "\xFF\xFE" : "";
  for (char16_t unit : text)
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
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

std::string Qds(std::u16string_view text) {
  std::u16string crlf;
  for (char16_t c : text) {
    if (c == u'\n') crlf += u'\r';
    crlf += c;
  }
  return Utf16Bytes(crlf, true);
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    files[std::filesystem::relative(entry.path(), root).string()] =
        entry.is_regular_file() ? ReadBytes(entry.path()) : "<dir>";
  }
  return files;
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// The environment may name other roots than the build's.
static std::filesystem::path Root(const char* variable, const char* builtIn) {
  const char* root = std::getenv(variable);
  return root != nullptr ? root : builtIn;
}

std::filesystem::path BuiltProgram(std::string_view relativePath) {
  std::filesystem::path program =
      Root("KNITFOLD_BINARY_DIR", KNITFOLD_DEFAULT_BINARY_DIR) / relativePath;
  return (program += KNITFOLD_EXECUTABLE_SUFFIX).make_preferred();
}

std::filesystem::path SourceFile(std::string_view relativePath) {
  return (Root("KNITFOLD_SOURCE_DIR", KNITFOLD_DEFAULT_SOURCE_DIR) / relativePath).make_preferred();
}

ProcessResult QdsTool(const std::vector<std::string>& arguments) {
  return RunProcess(BuiltProgram("bin/qdstool"), arguments, {}, std::chrono::seconds(30));
}

template <typename Text>
static Text WithSeparator(Text native) {
#ifdef _WIN32
  std::replace(native.begin(), native.end(), '/', '\\');
#endif
  return native;
}

std::string NativePath(std::string_view path) { return WithSeparator(std::string(path)); }
std::u16string NativePath(std::u16string_view path) { return WithSeparator(std::u16string(path)); }

}  // namespace qds::test
