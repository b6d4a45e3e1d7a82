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
// skipped test), unless the environment has CI=true: then it fails, since a
// missing seed folder would silently change what is tested.

#include <algorithm>
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

namespace fs = std::filesystem;

static void Replay(const std::string& bytes) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
  bool variants = false;
  bool missing = false;
  int replayed = 0;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (std::string_view(argv[i]) == "--variants") {
      variants = true;
    } else if (fs::is_directory(argv[i], error)) {
      size_t first = files.size();
      for (const auto& entry : fs::directory_iterator(argv[i], error)) {
        if (entry.is_regular_file()) files.push_back(fs::absolute(entry.path()));
      }
      std::sort(files.begin() + static_cast<std::ptrdiff_t>(first), files.end());
    } else if (fs::is_regular_file(argv[i], error)) {
      files.push_back(fs::absolute(argv[i]));  // absolute: a target may change the current folder
    } else {
      std::fprintf(stderr, "nothing to replay at %s\n", argv[i]);
      missing = true;
    }
  }
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    Replay(bytes);
    ++replayed;
    if (!variants) continue;
    std::string crlf;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) crlf += '\r';
      crlf += bytes[i];
    }
    Replay(crlf);
    std::string utf16 = "\xFF\xFE";
    for (char16_t unit : qds::DecodeUtf8(crlf)) {
      utf16 += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    }
    Replay(utf16);
  }
  std::printf("%d inputs replayed\n", replayed);
  const char* ci = std::getenv("CI");
  return !missing ? 0 : ci != nullptr && std::string_view(ci) == "true" ? 1 : 77;
}
