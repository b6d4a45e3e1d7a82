// The qdstool executable on Windows: the arguments arrive as UTF-16, and the
// standard streams are put in binary mode so that qdstool reads and writes
// the same bytes and line feeds as on every other platform; a console shows
// them as the UTF-8 they are.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qdstool/tool.h"

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::wstring_view argument(argv[i]);
    arguments.emplace_back(argument.begin(), argument.end());
  }
  return qds::tool::RunTool(arguments);
}
