// The Windows text services: the system's case-insensitive comparison and
// character step (user32), and the ANSI code pages (kernel32).

#include <windows.h>

#include <algorithm>
#include <climits>

#include "common/text.h"
#include "platform/text_services.h"
#include "platform/win32_support.h"

namespace qds::platform {

namespace {

// The conversion services count in int.
constexpr size_t kMaxUnits = INT_MAX;

// A piece of `text` of at most kMaxUnits units that does not end between the
// two halves of a surrogate pair (unless a piece of one unit must).
size_t PieceLength(std::u16string_view text) {
  if (text.size() <= kMaxUnits) return text.size();
  size_t length = kMaxUnits;
  char16_t last = text[length - 1];
  return (last >= 0xD800 && last <= 0xDBFF) ? length - 1 : length;
}

}  // namespace

int CompareNoCase(const char16_t* a, const char16_t* b) { return lstrcmpiW(Wide(a), Wide(b)); }

const char16_t* NextChar(const char16_t* p) {
  return reinterpret_cast<const char16_t*>(CharNextW(Wide(p)));
}

uint32_t AnsiCodePage() { return GetACP(); }

bool IsKnownCodePage(uint32_t codePage) { return IsValidCodePage(codePage) != 0; }

// Without flags the system turns bytes that do not convert into the
// replacement character (or the code page's own default character).
size_t AnsiToWide(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                  size_t capacity) {
  if (count == 0 || count > kMaxUnits) return 0;
  int written = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), Wide(out),
                                    static_cast<int>(std::min(capacity, kMaxUnits)));
  return written > 0 ? static_cast<size_t>(written) : 0;
}

size_t CutCharacterBytes(uint32_t codePage, const char* bytes, size_t count) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize == 1 || count == 0) return 0;
  if (codePage == CP_UTF8) {
    // Back over the continuation bytes to the byte that tells the length.
    size_t back = 0;
    while (back + 1 < count && back < 3 && (bytes[count - 1 - back] & 0xC0) == 0x80) ++back;
    auto lead = static_cast<unsigned char>(bytes[count - 1 - back]);
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length > back + 1 ? back + 1 : 0;
  }
  size_t at = 0;
  while (at < count) at += IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[at])) ? 2 : 1;
  return at > count ? 1 : 0;
}

size_t WideToAnsiLength(uint32_t codePage, std::u16string_view text) {
  size_t total = 0;
  while (!text.empty()) {
    size_t piece = PieceLength(text);
    int bytes = WideCharToMultiByte(codePage, 0, Wide(text.data()), static_cast<int>(piece),
                                    nullptr, 0, nullptr, nullptr);
    // An unknown code page measures one byte per unit, as a single-byte one.
    total += bytes > 0 ? static_cast<size_t>(bytes) : piece;
    text.remove_prefix(piece);
  }
  return total;
}

namespace {

// Converts one piece of text in `codePage`, appending it to *out; false when
// a character has no form there. Most code pages tell that through the
// default character they put instead (asked not to approximate); UTF-8
// fails outright on a lone surrogate; a few code pages take neither flag,
// and hold every character.
bool ConvertPiece(uint32_t codePage, std::u16string_view piece, std::string* out) {
  const bool utf8 = codePage == CP_UTF8;
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  auto convert = [&](char* into, int room) {
    return WideCharToMultiByte(codePage, flags, Wide(piece.data()), static_cast<int>(piece.size()),
                               into, room, nullptr, utf8 || flags == 0 ? nullptr : &usedDefault);
  };
  int bytes = convert(nullptr, 0);
  if (bytes == 0 && !utf8 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    bytes = convert(nullptr, 0);
  }
  if (bytes <= 0 || usedDefault) return false;
  size_t at = out->size();
  out->resize(at + static_cast<size_t>(bytes));
  return convert(out->data() + at, bytes) == bytes && !usedDefault;
}

}  // namespace

// The texts that a save converts are a line's few: one call converts them,
// and only a refusal looks for the character behind it.
size_t WideToAnsi(uint32_t codePage, std::u16string_view text, std::string* out) {
  size_t before = out->size();
  if (text.empty() || (text.size() <= kMaxUnits && ConvertPiece(codePage, text, out))) {
    return std::u16string_view::npos;
  }
  out->resize(before);
  for (size_t at = 0; at < text.size();) {
    size_t length = CharacterAt(text, at) > 0xFFFF ? 2 : 1;
    if (!ConvertPiece(codePage, text.substr(at, length), out)) return at;
    at += length;
  }
  return std::u16string_view::npos;
}

}  // namespace qds::platform
