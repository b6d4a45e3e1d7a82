// The knitfold executable on POSIX: arguments arrive as bytes and go to the
// tool as UTF-16. Its loads map their files: a file shortened meanwhile
// fails its load instead of stopping the process (GuardMappedFiles).

#include <string>
#include <vector>

#include "common/utf8.h"
#include "knitfold/entry_point.h"
#include "platform/descriptors.h"

int main(int argc, char** argv) {
  qds::platform::GuardMappedFiles();
  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(qds::DecodeUtf8(argv[i]));
  std::vector<const char16_t*> pointers;
  for (const std::u16string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return qds::RunKnitfold(argc, pointers.data());
}
