// Merges one document into another, both loaded from the fuzzer's bytes
// (the first two bytes give the length of the target's text, little-endian;
// the compat document's text is the rest), and checks the merge against
// what it is defined to do, whatever its shortcuts: add each entry of each
// compat section whose name GetSectionName reads into a buffer of 260 units
// as SetEntry adds what GetEntryAt reads of the entry into such buffers. The
// compat document is loaded to be read in order only, as knitfold loads it.

#include <qds/document.h>

#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "model/document_merge.h"
#include "model/document_model.h"
#include "qdsfile/file_flags.h"
#include "qdsfile/memory_stream.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"

namespace qds::fuzz {
namespace {

constexpr uint32_t kReadCapacity = 260;

bool Load(DocumentModel* document, std::string_view bytes, LoadFlags flags,
          InputFlags input = InputFlags::None) {
  MemoryStream stream(format::kStreamBufferSize, bytes);
  return ParseDocument(document, &stream, flags, input) == LoadStatus::Ok;
}

std::string Text(const DocumentModel& document) {
  std::string bytes;
  MemoryStream stream(format::kStreamBufferSize, &bytes);
  Check(WriteDocumentText(document, &stream, SaveFlags::KeepComments) &&
            stream.Flush() == StreamStatus::Ok,
        "a document writes into memory");
  return bytes;
}

void MergeEntryByEntry(DocumentModel& compat, DocumentModel* target) {
  for (uint32_t section = 0; section < compat.GetSectionCount(); ++section) {
    char16_t name[kReadCapacity];
    uint32_t nameLength = kReadCapacity;
    if (compat.GetSectionName(section, name, &nameLength) != ReadStatus::Ok) continue;
    for (uint32_t entry = 0; entry < compat.CountEntriesAt(section, nullptr); ++entry) {
      char16_t key[kReadCapacity];
      char16_t value[kReadCapacity];
      uint32_t keyLength = kReadCapacity;
      uint32_t valueLength = kReadCapacity;
      if (compat.GetEntryAt(section, entry, key, &keyLength, value, &valueLength,
                            ReadFlags::None) == ReadStatus::Ok) {
        target->SetEntry(name, key, kAppendPosition, value);
      }
    }
  }
}

}  // namespace
}  // namespace qds::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qds;
  if (size < 2) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t targetLength = std::min<size_t>(bytes.size(), data[0] | size_t{data[1]} << 8);
  const std::string_view targetBytes = bytes.substr(0, targetLength);
  const std::string_view compatBytes = bytes.substr(targetLength);
  DocumentModel merged, expected, compat, source;
  if (!fuzz::Load(&merged, targetBytes, LoadFlags::KeepComments | LoadFlags::Lenient) ||
      !fuzz::Load(&compat, compatBytes, LoadFlags::Lenient, InputFlags::ReadInOrder)) {
    return 0;
  }
  fuzz::Check(fuzz::Load(&expected, targetBytes, LoadFlags::KeepComments | LoadFlags::Lenient) &&
                  fuzz::Load(&source, compatBytes, LoadFlags::Lenient),
              "what loaded once loads again");
  MergeDocuments(&compat, &merged);
  fuzz::MergeEntryByEntry(source, &expected);
  fuzz::Check(fuzz::Text(merged) == fuzz::Text(expected),
              "the merge adds what SetEntry adds of each compat entry");
  return 0;
}
