// A tour of the qds library (docs/library.md walks through it): writes a
// small package script, then reads a value, changes it, adds a section,
// removes a key, adds values while walking, walks the document, saves it,
// signs a copy and checks the signature, and expands a value with symbols.
// Runs in the working folder without arguments; prints what it does and
// exits 0, or prints the first failure and exits 1.

#include <qds/qds.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace {

// Prints a failed step as "app.qds: TEXT (status N)" and tells whether the
// step succeeded.
bool Succeeded(const qds::Status& status, const char* subject) {
  if (!status.Ok()) std::fprintf(stderr, "%s\n", status.Describe(subject).c_str());
  return status.Ok();
}

}  // namespace

int main() {
  // A package script as an installer might ship it. Line ends are CR LF.
  std::ofstream("app.qds", std::ios::binary) << "; The demo application\r\n"
                                                "[Registry]\r\n"
                                                "Version=1.0\r\n"
                                                "Obsolete=yes\r\n"
                                                "InstallDir=\"%Root%\\%AppName%\"\r\n";

  // Load, keeping comments so that a save writes them back.
  qds::QdsDocument document;
  if (!Succeeded(document.Load("app.qds", qds::LoadFlags::KeepComments), "app.qds")) return 1;

  // Read a value, then change it.
  std::string version;
  if (!Succeeded(document.Get("Registry", "Version", 0, &version), "app.qds")) return 1;
  std::printf("version %s\n", version.c_str());
  if (!Succeeded(document.Set("Registry", "Version", "2.0"), "app.qds")) return 1;

  // Add a section (Add makes the section and the key), remove a key.
  if (!Succeeded(document.Add("Shortcuts", "Desktop", "%AppName%.lnk"), "app.qds") ||
      !Succeeded(document.RemoveKey("Registry", "Obsolete"), "app.qds")) {
    return 1;
  }

  // Change while walking, through the walk's own views: each shortcut gets
  // a second value, and the walk goes on.
  for (qds::MutableSection section : document.Sections()) {
    for (qds::MutableKey key : section.Keys()) {
      if (section.Name() == "Shortcuts" && !Succeeded(key.Add("%AppName% Help.lnk"), "app.qds")) {
        return 1;
      }
    }
  }

  // A change the file could not hold is refused, and changes nothing.
  qds::Status refused = document.Set("Registry", "Install=Dir", "x");
  std::printf("%s\n", refused.Describe("app.qds").c_str());

  // Walk every section, key and value.
  for (qds::Section section : document.Sections()) {
    std::printf("[%s]\n", section.Name().c_str());
    for (qds::Key key : section.Keys()) {
      for (qds::Value value : key.Values()) {
        std::printf("  %s = %s\n", key.Name().c_str(), value.Text().c_str());
      }
    }
  }

  // Save over the file; then a signed copy, loaded back with its digest checked.
  if (!Succeeded(document.Save(qds::SaveFlags::KeepComments), "app.qds") ||
      !Succeeded(
          document.SaveTo("signed.qds", qds::SaveFlags::KeepComments | qds::SaveFlags::Digest),
          "signed.qds")) {
    return 1;
  }
  qds::QdsDocument signedCopy;
  if (!Succeeded(signedCopy.Load("signed.qds", qds::LoadFlags::Digest), "signed.qds")) return 1;
  std::printf("signed.qds: signature checked\n");

  // Expand a value with symbols: the quotes go, %Name% become their values.
  qds::SymbolTable symbols;
  symbols.Set("Root", "C:\\Programs");
  symbols.Set("AppName", "Demo");
  std::optional<qds::Key> installDir = document.FindSection("Registry")->FindKey("InstallDir");
  std::string expanded;
  if (!Succeeded(document.Expand(*installDir->Values().begin(), symbols, &expanded), "app.qds")) {
    return 1;
  }
  std::printf("InstallDir expands to %s\n", expanded.c_str());
  return 0;
}
