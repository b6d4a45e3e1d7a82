// A main for a fuzz target built without libFuzzer: runs the target once on
// every file named (a folder: on each of its files, in name order), so that
// the normal build replays the seed inputs, and checks their properties, as
// a test.
//
//   REPLAY [--variants] PATH...
//
// --variants also gives each input with CRLF line ends, and as UTF-16LE with
// a byte-order mark (its bytes read as UTF-8), as scripts/fuzz seeds the
// load target. A PATH that does not exist ends the run with status 77 (a
// skipped test) once the others are replayed, unless the environment has
// CI=true: then it fails, since a missing seed folder would silently change
// what is tested.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

void Replay(const std::string& bytes) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void ReplayVariants(const std::string& bytes) {
  std::string crlf;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) crlf += '\r';
    crlf += bytes[i];
  }
  Replay(crlf);
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : qds::DecodeUtf8(crlf)) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  Replay(utf16);
}

}  // namespace

int main(int argc, char** argv) {
  bool variants = false;
  bool missing = false;
  int replayed = 0;
  // Absolute first: a target may change the current folder.
  std::vector<fs::path> arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--variants") {
      variants = true;
    } else {
      arguments.push_back(fs::absolute(argv[i]));
    }
  }
  for (const fs::path& argument : arguments) {
    std::error_code error;
    std::vector<fs::path> files;
    if (fs::is_directory(argument, error)) {
      for (const auto& entry : fs::directory_iterator(argument, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else if (fs::is_regular_file(argument, error)) {
      files.push_back(argument);
    } else {
      std::fprintf(stderr, "nothing to replay at %s\n", argument.c_str());
      missing = true;
    }
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes(std::istreambuf_iterator<char>(in), {});
      Replay(bytes);
      if (variants) ReplayVariants(bytes);
      ++replayed;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  if (!missing) return 0;
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true" ? 1 : 77;
}
