// LoadDocument and ParseDocument: the reader of the QDS file format, a
// DocumentBuilder over the file's stream.

#include "qdsfile/qds_loader.h"

#include "qdsfile/document_builder.h"
#include "qdsfile/file_stream.h"

namespace qds {

LoadStatus ParseDocument(DocumentModel* document, BufferedStream* stream, LoadFlags flags,
                         InputFlags input, LoadOutcome* outcome, uint32_t maxLine) {
  DocumentBuilder builder(*document, *stream, flags, input, outcome, maxLine);
  return builder.Run();
}

LoadStatus LoadDocument(DocumentModel* document, const char16_t* path, LoadFlags flags,
                        InputFlags input, LoadOutcome* outcome, uint32_t maxLine) {
  if (path == nullptr) path = u"";
  document->fileName = path;
  FileStream stream(format::kStreamBufferSize);
  StreamStatus opened = stream.Open(path, kStreamRead);
  if (opened == StreamStatus::Ok)
    return ParseDocument(document, &stream, flags, input, outcome, maxLine);
  if (outcome != nullptr) outcome->runtimeError = stream.GetError();
  switch (opened) {
    case StreamStatus::NotFound:
      return LoadStatus::NotFound;
    case StreamStatus::PermissionDenied:
      return LoadStatus::AccessDenied;
    default:
      return LoadStatus::OpenFailed;
  }
}

}  // namespace qds
