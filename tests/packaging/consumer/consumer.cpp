// Uses the installed library as an application would: builds a document,
// signs it into signed.qds in the working folder, loads it back with the
// digest checked, and reads an entry with its symbols expanded. Prints the
// expanded entry and exits 0 when it reads as written, or names the step
// that failed and exits 1.

#include <qds/qds.h>

#include <cstdio>
#include <string>

// The texts of this program are ASCII: a unit is a byte.
std::string Narrow(const char16_t* text) {
  return std::string(text, text + std::char_traits<char16_t>::length(text));
}

int main() {
  const char16_t* path = u"signed.qds";

  qds::QdsDocument written;
  written.SetEntry(u"Files", u"main", qds::kAppendPosition, u"app.exe");
  written.SetEntry(u"Registry", u"InstallDir", qds::kAppendPosition, u"%Root%\\App");
  if (written.SaveTo(path, qds::SaveFlags::Digest) != qds::SaveStatus::Ok) {
    std::fprintf(stderr, "save failed\n");
    return 1;
  }

  qds::QdsDocument read;
  if (read.Load(path, qds::LoadFlags::Digest) != qds::LoadStatus::Ok) {
    std::fprintf(stderr, "load failed\n");
    return 1;
  }
  qds::SymbolTable symbols(true);
  symbols.Set(u"root", u"C:\\Apps");
  read.SetSymbolTable(&symbols);
  char16_t key[260];
  char16_t value[1024];
  uint32_t keyLength = 260;
  uint32_t valueLength = 1024;
  if (read.GetEntry(u"registry", 0, key, &keyLength, value, &valueLength, qds::ReadFlags::Expand) !=
      qds::ReadStatus::Ok) {
    std::fprintf(stderr, "read failed\n");
    return 1;
  }
  const std::string entry = Narrow(key) + "=" + Narrow(value);
  std::printf("%s\n", entry.c_str());
  return entry == "InstallDir=C:\\Apps\\App" ? 0 : 1;
}
