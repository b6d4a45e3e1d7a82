// The knitfold executable on POSIX: arguments arrive as bytes and go to the
// tool as UTF-16.

#include <string>
#include <vector>

#include "common/block_pool.h"
#include "common/utf8.h"
#include "knitfold/entry_point.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
  // A merge makes a node and a text for every entry of both files.
  qds::SetChunkSource(qds::platform::AllocatePages);
  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(qds::DecodeUtf8(argv[i]));
  std::vector<const char16_t*> pointers;
  for (const std::u16string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return qds::RunKnitfold(argc, pointers.data());
}
