#include "support/qds_text.h"

#include <gtest/gtest.h>

#include "common/utf8.h"
#include "qdsfile/file_stream.h"
#include "qdsfile/md5_digest.h"
#include "qdsfile/qds_format.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"
#include "support/test_support.h"

namespace qds::test {

const char* EncodingName(Encoding encoding) {
  return encoding == Encoding::Utf16 ? "Utf16" : "Ansi";
}

std::string FileBytes(std::string_view text, Encoding encoding) {
  if (encoding == Encoding::Ansi) return std::string(text);
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  return Utf16Bytes(wide, /*bom=*/true);
}

LoadStatus LoadBytes(DocumentModel& document, const std::filesystem::path& path,
                     std::string_view bytes, LoadFlags flags, InputFlags input, uint32_t maxLine) {
  WriteBytes(path, bytes);
  return LoadDocument(&document, WidePath(path).c_str(), flags, input, nullptr, maxLine);
}

std::string RoundTrip(const std::filesystem::path& dir, std::string_view bytes, LoadFlags loadFlags,
                      SaveFlags saveFlags) {
  DocumentModel document;
  LoadStatus loaded = LoadBytes(document, dir / "round-trip.qds", bytes, loadFlags);
  EXPECT_EQ(loaded, LoadStatus::Ok);
  std::u16string out = WidePath(dir / "round-trip-out.qds");
  SaveStatus saved = SaveDocument(&document, out.c_str(), saveFlags);
  EXPECT_EQ(saved, SaveStatus::Ok);
  if (loaded != LoadStatus::Ok || saved != SaveStatus::Ok) return {};
  return ReadBytes(dir / "round-trip-out.qds");
}

// "{comment}", or nothing for an empty one.
static std::string Braced(std::u16string_view comment) {
  return comment.empty() ? "" : "{" + EncodeUtf8(comment) + "}";
}

std::string Dump(const DocumentModel& document, bool comments) {
  std::string out;
  if (comments && !document.leadingText.Empty())
    out += "<lead" + Braced(document.leadingText.View()) + ">";
  for (const QdsSection* section = document.sections.head(); section != nullptr;
       section = NodeList<QdsSection>::Next(section)) {
    out += (comments ? Braced(section->comment.View()) : "") + "[" +
           EncodeUtf8(section->name.View()) + "]";
    for (const QdsKey* key = section->keys.head(); key != nullptr;
         key = NodeList<QdsKey>::Next(key)) {
      for (const QdsValue* value = key->values.head(); value != nullptr;
           value = ValueList::Next(value)) {
        out += (comments ? Braced(value->Comment()) : "") + EncodeUtf8(key->name.View()) + "=" +
               EncodeUtf8(value->name.View()) + "|";
      }
    }
  }
  if (comments && !document.trailingText.Empty()) {
    out += "<trail" + Braced(document.trailingText.View()) + ">";
  }
  return out;
}

std::u16string WriteSigned(const std::filesystem::path& path, std::string_view body,
                           Encoding encoding, std::string_view tail) {
  FileStream stream(4096);
  EXPECT_EQ(stream.Open(WidePath(path).c_str(), kStreamWrite), StreamStatus::Ok);
  EXPECT_EQ(stream.StartHash(), StreamStatus::Ok);
  EXPECT_EQ(stream.Write(body.data(), static_cast<uint32_t>(body.size())), StreamStatus::Ok);
  char16_t digits[kDigestTextCapacity];
  stream.FinishHash(digits, 0);
  std::u16string checkLine = u"\r\n" + std::u16string(digits) + u"\r\n";
  std::string checkBytes =
      (encoding == Encoding::Utf16 ? Utf16Bytes(checkLine) : EncodeUtf8(checkLine)).append(tail);
  EXPECT_EQ(stream.Write(checkBytes.data(), static_cast<uint32_t>(checkBytes.size())),
            StreamStatus::Ok);
  EXPECT_EQ(stream.Close(), StreamStatus::Ok);
  return digits;
}

std::string ExpectedDigest(std::string_view covered) {
  std::string all(reinterpret_cast<const char*>(format::kDigestSalt), format::kDigestSaltSize);
  all.append(covered);
  all.append((64 - covered.size() % 64) % 64, '\0');
  Md5Digest md5;
  EXPECT_TRUE(md5.Start());
  md5.Update(all.data(), all.size());
  uint8_t digest[kMd5Size];
  md5.Finish(digest);
  std::string text;
  for (uint8_t byte : digest)
    text += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0xF]};
  return text;
}

}  // namespace qds::test
