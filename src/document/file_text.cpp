#include <qds/text.h>

#include <cstring>

#include "common/utf8.h"
#include "document/document_state.h"
#include "document/text_conversions.h"
#include "platform/text_services.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/qds_format.h"

namespace qds {

Status ReadFile(const std::filesystem::path& file, std::string* bytes) {
  FileStream stream(format::kStreamBufferSize);
  StreamStatus status = stream.Open(WidePathName(file).c_str(), kStreamRead);
  bool opened = status == StreamStatus::Ok;
  char piece[format::kStreamBufferSize];
  uint32_t got = 0;
  while (status == StreamStatus::Ok) {
    status = stream.Read(piece, sizeof piece, &got);
    bytes->append(piece, got);
  }
  detail::StatusDetails details;
  details.systemCode = stream.GetError();
  switch (status) {
    case StreamStatus::EndOfData:
      return Status();
    case StreamStatus::NotFound:
      return detail::Internals::MakeStatus(LoadStatus::NotFound, details);
    case StreamStatus::PermissionDenied:
      return detail::Internals::MakeStatus(LoadStatus::AccessDenied, details);
    case StreamStatus::DeviceFailed:
      if (opened) return detail::Internals::MakeStatus(LoadStatus::ReadFailed, details);
      [[fallthrough]];
    default:
      return detail::Internals::MakeStatus(LoadStatus::OpenFailed, details);
  }
}

Status DecodeFileText(std::string_view bytes, uint32_t codePage, std::string* utf8) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == format::kByteOrderMarkBytes[0] &&
      static_cast<uint8_t>(bytes[1]) == format::kByteOrderMarkBytes[1]) {
    text.resize((bytes.size() - 2) / sizeof(char16_t));
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(char16_t));
  } else if (!platform::IsKnownCodePage(codePage)) {
    detail::StatusDetails details;
    details.detail = static_cast<int32_t>(codePage);
    return detail::Internals::MakeStatus(LibraryStatus::UnknownCodePage, details);
  } else if (!bytes.empty()) {
    // No code page makes more than one unit of a byte.
    text.resize(bytes.size());
    text.resize(
        platform::AnsiToWide(codePage, bytes.data(), bytes.size(), text.data(), text.size()));
  }
  *utf8 = EncodeUtf8(text);
  return Status();
}

}  // namespace qds
