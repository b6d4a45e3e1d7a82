// The qdstool executable on POSIX: arguments arrive as UTF-8 bytes and go to
// the tool as UTF-16.

#include <qds/qds.h>

#include <string>
#include <vector>

#include "qdstool/tool.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(qds::ToUtf16(argv[i]));
  return qds::tool::RunTool(arguments);
}
