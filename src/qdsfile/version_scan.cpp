#include "qdsfile/version_scan.h"

#include <algorithm>
#include <cstdint>

#include "common/text.h"
#include "platform/text_services.h"
#include "qdsfile/qds_format.h"

namespace qds {

namespace {

char16_t Widen(char unit) { return static_cast<unsigned char>(unit); }
char16_t Widen(char16_t unit) { return unit; }

// ANSI bytes count as white space the way the runtime's classic locale sees
// them: only the ASCII ones, whatever the code page makes of the others.
bool IsBlank(char unit) { return Widen(unit) < 0x80 && IsWhiteSpace(Widen(unit)); }
bool IsBlank(char16_t unit) { return IsWhiteSpace(unit); }

template <typename Unit>
bool StartsWithIgnoringCase(std::basic_string_view<Unit> text, std::string_view asciiTag) {
  if (text.size() < asciiTag.size()) return false;
  for (size_t i = 0; i < asciiTag.size(); ++i) {
    if (FoldAscii(Widen(text[i])) != FoldAscii(Widen(asciiTag[i]))) return false;
  }
  return true;
}

// The text after the "[" of the first line that begins with one: the line at
// `firstLine`, else the line after the first "\r\n[". Empty when there is
// none.
template <typename Unit>
std::basic_string_view<Unit> FirstHeaderText(std::basic_string_view<Unit> text, size_t firstLine) {
  if (firstLine < text.size() && text[firstLine] == Unit('[')) return text.substr(firstLine + 1);
  static constexpr Unit kLineThenHeader[] = {Unit('\r'), Unit('\n'), Unit('[')};
  size_t at = text.find(std::basic_string_view<Unit>(kLineThenHeader, 3));
  if (at == std::basic_string_view<Unit>::npos) return {};
  return text.substr(at + 3);
}

struct VersionNumber {
  int32_t value = 0;  // capped in magnitude: only 1 to 3 matter
  size_t end = 0;     // where the digits stop; 0 when there are none
};

// A decimal number after optional white space and sign, read as the
// runtime's string-to-long conversion reads it.
template <typename Unit>
VersionNumber ParseVersionNumber(std::basic_string_view<Unit> text) {
  constexpr int32_t kCap = 1000;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == Unit('+') || text[i] == Unit('-'))) {
    negative = text[i] == Unit('-');
    ++i;
  }
  size_t digitsFrom = i;
  int32_t value = 0;
  for (; i < text.size() && text[i] >= Unit('0') && text[i] <= Unit('9'); ++i) {
    value = std::min(value * 10 + static_cast<int32_t>(text[i] - Unit('0')), kCap);
  }
  if (i == digitsFrom) return {};
  return {negative ? -value : value, i};
}

// The code page that an ANSI version line declares after ", codepage ", if
// this system converts it.
void TakeCodePage(DocumentModel& document, std::string_view declared) {
  constexpr uint32_t kMostCodePage = 65535;
  uint32_t codePage = 0;
  for (char digit : declared) {
    if (digit < '0' || digit > '9' || codePage > kMostCodePage) break;
    codePage = codePage * 10 + static_cast<uint32_t>(digit - '0');
  }
  if (codePage > 0 && codePage <= kMostCodePage && platform::IsKnownCodePage(codePage)) {
    document.codePage = codePage;
  }
}

template <typename Unit>
LoadStatus ScanText(DocumentModel& document, std::basic_string_view<Unit> text, size_t firstLine,
                    bool declaredCodePage) {
  std::basic_string_view<Unit> header = FirstHeaderText(text, firstLine);
  if (!StartsWithIgnoringCase(header, format::kVersionTagAnsi)) return LoadStatus::Ok;
  std::basic_string_view<Unit> rest = header.substr(format::kVersionTagLength);
  VersionNumber number = ParseVersionNumber(rest);
  if (number.value < format::kLowestVersion || number.value > format::kHighestVersion) {
    document.version = format::kUnknownVersion;
    return LoadStatus::Ok;
  }
  document.version = number.value;
  // UTF-16 text needs no code page; an ANSI file must say it has one.
  constexpr bool kAnsi = sizeof(Unit) == 1;
  if constexpr (kAnsi) {
    if (number.value != format::kCodePageVersion) return LoadStatus::Ok;
    std::string_view after = rest.substr(number.end);
    if (!StartsWithIgnoringCase(after, format::kCodePageTagAnsi)) {
      document.errorLine = 1;
      return LoadStatus::SyntaxError;
    }
    if (declaredCodePage)
      TakeCodePage(document, after.substr(std::string_view(format::kCodePageTagAnsi).size()));
  }
  return LoadStatus::Ok;
}

}  // namespace

LoadStatus ScanVersion(DocumentModel& document, std::string_view block, bool declaredCodePage) {
  block = block.substr(0, std::min<size_t>(block.size(), format::kFirstBlockBytes));
  document.utf16 = block.size() >= 2 && Widen(block[0]) == format::kByteOrderMarkBytes[0] &&
                   Widen(block[1]) == format::kByteOrderMarkBytes[1];
  if (!document.utf16) return ScanText(document, block, 0, declaredCodePage);

  char16_t units[format::kFirstBlockBytes / 2];
  size_t count = block.size() / 2;
  for (size_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(Widen(block[2 * i]) | (Widen(block[2 * i + 1]) << 8));
  }
  // The line after the byte-order mark is the first line.
  return ScanText(document, std::u16string_view(units, count), 1, false);
}

}  // namespace qds
