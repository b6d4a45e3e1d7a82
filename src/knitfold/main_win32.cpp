// The knitfold executable on Windows: the runtime hands over the arguments
// as UTF-16 already. An exit status of -1 reaches the system as 0xFFFFFFFF.

#include <string>
#include <vector>

#include "knitfold/entry_point.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    std::wstring_view argument(argv[i]);
    arguments.emplace_back(argument.begin(), argument.end());
  }
  std::vector<const char16_t*> pointers;
  for (const std::u16string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return qds::RunKnitfold(argc, pointers.data());
}
