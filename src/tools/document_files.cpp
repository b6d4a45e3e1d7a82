#include "tools/document_files.h"

#include "common/utf8.h"
#include "tools/console.h"

namespace qds::tool {

int LoadDocument(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  LoadStatus status = document->Load(path.c_str(), flags);
  if (status == LoadStatus::SyntaxError) {
    PrintErrorLine(EncodeUtf8(path) + ":" + std::to_string(document->errorLine) + ": syntax error");
  } else if (status != LoadStatus::Ok) {
    PrintErrorLine("error " + std::to_string(static_cast<int>(status)) + " loading " +
                   EncodeUtf8(path));
  }
  return static_cast<int>(status);
}

int SaveDocument(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  SaveStatus status = document->SaveReplacing(path.empty() ? nullptr : path.c_str(), flags);
  if (status != SaveStatus::Ok) {
    std::u16string_view target = path.empty() ? document->fileName.View() : path;
    PrintErrorLine("error " + std::to_string(static_cast<int>(status)) + " saving " +
                   EncodeUtf8(target));
  }
  return static_cast<int>(status);
}

uint64_t CountAllEntries(const QdsDocument& document) {
  uint64_t entries = 0;
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    entries += section->EntryCount();
  }
  return entries;
}

}  // namespace qds::tool
