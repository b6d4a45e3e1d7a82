#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace qds::fuzz {

namespace {

std::string madeFolder;

void RemoveScratchFolder() {
  std::error_code ignored;
  if (!madeFolder.empty()) std::filesystem::remove_all(madeFolder, ignored);
  madeFolder.clear();
}

}  // namespace

const std::string& ScratchFolder() {
  if (!madeFolder.empty()) return madeFolder;
  std::string pattern =
      access("/dev/shm", W_OK) == 0
          ? "/dev/shm/knitfold-fuzz-XXXXXX"
          : (std::filesystem::temp_directory_path() / "knitfold-fuzz-XXXXXX").string();
  Check(mkdtemp(pattern.data()) != nullptr && chdir(pattern.c_str()) == 0,
        "a scratch folder can be made and entered");
  madeFolder = pattern + "/";
  std::atexit(RemoveScratchFolder);
  return madeFolder;
}

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  RemoveScratchFolder();
  std::abort();
}

}  // namespace qds::fuzz
