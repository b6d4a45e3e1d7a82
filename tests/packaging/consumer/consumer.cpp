// Uses the installed library as an application would: builds a document,
// signs it into a file, loads it back with the digest checked, and reads an
// entry with its symbols expanded. Prints the expanded entry and exits 0, or
// names the step that failed and exits 1.

#include <qds/qds.h>

#include <cstdio>
#include <string>

static int Fail(const char* step) {
  std::fprintf(stderr, "%s failed\n", step);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qds_consumer FILE\n");
    return 1;
  }
  // The texts of this program are ASCII: a unit is a byte.
  const std::string name = argv[1];
  const std::u16string path(name.begin(), name.end());

  qds::QdsDocument written;
  written.SetEntry(u"Files", u"main", qds::kAppendPosition, u"app.exe");
  written.SetEntry(u"Registry", u"InstallDir", qds::kAppendPosition, u"%Root%\\App");
  if (written.Save(path.c_str(), qds::Digest) != qds::SaveStatus::Ok) return Fail("save");

  qds::QdsDocument read;
  if (read.Load(path.c_str(), qds::Digest) != qds::LoadStatus::Ok) return Fail("load");
  qds::SymbolTable symbols(true, 16);
  symbols.Set(u"root", u"C:\\Apps");
  read.SetSymbolTable(&symbols);
  char16_t key[260];
  char16_t value[1024];
  uint32_t keyLength = 260;
  uint32_t valueLength = 1024;
  if (read.GetEntry(u"registry", 0, key, &keyLength, value, &valueLength, qds::ReadExpand) !=
      qds::ReadStatus::Ok) {
    return Fail("read");
  }
  const std::u16string text = std::u16string(key) + u"=" + value;
  std::printf("%s\n", std::string(text.begin(), text.end()).c_str());
  return 0;
}
