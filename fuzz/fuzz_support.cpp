#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>

namespace qds::fuzz {

namespace {

std::string* madeFolder = nullptr;

std::string MakeScratchFolder() {
  std::error_code error;
  std::filesystem::path base = "/dev/shm";
  if (!std::filesystem::is_directory(base, error) || access(base.c_str(), W_OK) != 0) {
    base = std::filesystem::temp_directory_path();
  }
  std::string pattern = (base / "knitfold-fuzz-XXXXXX").string();
  Check(mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
  Check(chdir(pattern.c_str()) == 0, "the scratch folder can be entered");
  return pattern + "/";
}

}  // namespace

const std::string& ScratchFolder() {
  static std::string folder = MakeScratchFolder();
  if (madeFolder == nullptr) {
    madeFolder = &folder;
    std::atexit(RemoveScratchFolder);  // runs before `folder` goes: registered after it was made
  }
  return folder;
}

void RemoveScratchFolder() {
  if (madeFolder == nullptr) return;
  std::error_code ignored;
  std::filesystem::remove_all(*madeFolder, ignored);
  madeFolder = nullptr;
}

}  // namespace qds::fuzz
