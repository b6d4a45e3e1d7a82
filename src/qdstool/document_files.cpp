#include "qdstool/document_files.h"

#include "common/utf8.h"
#include "document/document_state.h"
#include "qdsfile/md5_digest.h"
#include "qdstool/console.h"

namespace qds::tool {
namespace {

// "error S loading FILE" or "error S saving FILE"; a digest that cannot be
// computed names the library it lacks.
void PrintFailure(int status, bool digestUnavailable, const char* doing,
                  std::u16string_view file) {
  std::string line = "error " + std::to_string(status) + " " + doing + " " + EncodeUtf8(file);
  if (digestUnavailable) {
    line += std::string(": cannot compute the digest: ") + kDigestLibrary + " could not be loaded";
  }
  PrintErrorLine(line);
}

}  // namespace

int LoadDocument(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  LoadStatus status = document->Load(path.c_str(), flags);
  if (status == LoadStatus::SyntaxError) {
    PrintErrorLine(EncodeUtf8(path) + ":" + std::to_string(document->state().model.errorLine) + ": syntax error");
  } else if (status != LoadStatus::Ok) {
    PrintFailure(static_cast<int>(status), status == LoadStatus::DigestUnavailable, "loading", path);
  }
  return static_cast<int>(status);
}

int SaveDocument(QdsDocument* document, const std::u16string& path, uint32_t flags) {
  SaveStatus status = document->SaveReplacing(path.empty() ? nullptr : path.c_str(), flags);
  if (status != SaveStatus::Ok) {
    std::u16string_view target = path.empty() ? document->state().model.fileName.View() : path;
    PrintFailure(static_cast<int>(status), status == SaveStatus::DigestUnavailable, "saving",
                 target);
  }
  return static_cast<int>(status);
}

uint64_t CountAllEntries(const QdsDocument& document) {
  uint64_t entries = 0;
  for (const QdsSection* section = document.state().model.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    entries += section->EntryCount();
  }
  return entries;
}

}  // namespace qds::tool
