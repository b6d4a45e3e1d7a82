#include "qdstool/console.h"

#include <cstdio>
#include <string>

#include "common/utf8.h"

namespace qds::tool {

void WriteOutput(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void PrintLine(std::u16string_view text) {
  std::string line = EncodeUtf8(text);
  line.push_back('\n');
  WriteOutput(line);
}

void PrintErrorLine(std::u16string_view text) { PrintErrorLine(EncodeUtf8(text)); }

void PrintErrorLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace qds::tool
