// The merge of bench/compare done with the SimpleIni library, as a baseline:
// loads the target and the compat file (UTF-8), adds every compat entry to
// the target as a further value, and saves the target in place.
//
//   simpleini_merge target.ini compat.ini

// UTF-8 text needs no conversion: keep the library header-only.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: simpleini_merge target.ini compat.ini\n");
    return 2;
  }
  CSimpleIniA target(true, true);
  CSimpleIniA compat(true, true);
  if (target.LoadFile(argv[1]) < 0 || compat.LoadFile(argv[2]) < 0) {
    std::fprintf(stderr, "cannot load the files\n");
    return 1;
  }
  CSimpleIniA::TNamesDepend sections;
  compat.GetAllSections(sections);
  sections.sort(CSimpleIniA::Entry::LoadOrder());
  for (const auto& section : sections) {
    CSimpleIniA::TNamesDepend keys;
    compat.GetAllKeys(section.pItem, keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys) {
      CSimpleIniA::TNamesDepend values;
      compat.GetAllValues(section.pItem, key.pItem, values);
      values.sort(CSimpleIniA::Entry::LoadOrder());
      for (const auto& value : values) {
        if (target.SetValue(section.pItem, key.pItem, value.pItem) < 0) return 1;
      }
    }
  }
  return target.SaveFile(argv[1]) < 0 ? 1 : 0;
}
