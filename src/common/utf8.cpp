#include "common/utf8.h"

#include <cstdint>

#include "common/text.h"

namespace qds {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry bytes 0x80..0xFF

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed sequence at `bytes[i]`; returns its length, or 0
// when the bytes there are not valid UTF-8 (overlong forms, surrogates and
// values above U+10FFFF included).
size_t DecodeSequence(std::string_view bytes, size_t i, char32_t* out) {
  unsigned char lead = static_cast<unsigned char>(bytes[i]);
  size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    *out = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char byte = static_cast<unsigned char>(bytes[i + k]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *out = value;
  return length;
}

void AppendUnits(char32_t value, std::string* out) {
  if (value < 0x80) {
    out->push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (value >> 6)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (value >> 12)));
    out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (value >> 18)));
    out->push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t value;
    size_t length = DecodeSequence(bytes, i, &value);
    if (length == 0) {
      text.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
      ++i;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(value));
    }
    i += length;
  }
  return text;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (const char32_t character = CharacterAt(text, i); character > 0xFFFF) {
      AppendUnits(character, &bytes);
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      bytes.push_back(static_cast<char>(unit - kEscapeBase));
    } else {
      AppendUnits(unit, &bytes);
    }
  }
  return bytes;
}

bool IsValidUtf8(std::string_view bytes) {
  char32_t value;
  for (size_t i = 0, length; i < bytes.size(); i += length) {
    length = DecodeSequence(bytes, i, &value);
    if (length == 0) return false;
  }
  return true;
}

}  // namespace qds
