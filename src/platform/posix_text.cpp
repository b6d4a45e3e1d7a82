// The POSIX text services: the platform's case-insensitive comparison, the
// character step, and the ANSI code pages. Code page 1252 is built in; every
// other code page goes through iconv.

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include "common/text.h"
#include "platform/text_services.h"

namespace qds::platform {

namespace {

constexpr uint32_t kWindows1252 = 1252;

// Windows-1252 bytes 0x80..0x9F; the five bytes that it leaves undefined map
// to the control characters of the same value.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Decode1252(unsigned char byte) {
  return (byte >= 0x80 && byte <= 0x9F) ? k1252High[byte - 0x80] : byte;
}

// iconv knows Windows' code pages as "CPnnn", except the one of UTF-8.
std::string IconvName(uint32_t codePage) {
  return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

// An iconv descriptor that closes itself.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

int CompareNoCase(const char16_t* a, const char16_t* b) { return CompareIgnoreAsciiCase(a, b); }

const char16_t* NextChar(const char16_t* p) {
  if (*p == 0) return p;
  // The text goes on to its terminator: p[1] is there to read.
  return p + (CharacterAt(std::u16string_view(p, 2), 0) > 0xFFFF ? 2 : 1);
}

uint32_t AnsiCodePage() { return kWindows1252; }

bool IsKnownCodePage(uint32_t codePage) {
  return codePage == kWindows1252 || Converter("UTF-16LE", IconvName(codePage).c_str()).Valid();
}

size_t AnsiToWide(uint32_t codePage, const char* bytes, size_t count, char16_t* out,
                  size_t capacity) {
  if (codePage == kWindows1252) {
    if (count > capacity) return 0;
    for (size_t i = 0; i < count; ++i) out[i] = Decode1252(static_cast<unsigned char>(bytes[i]));
    return count;
  }
  Converter converter("UTF-16LE", IconvName(codePage).c_str());
  if (!converter.Valid()) return 0;
  char* input = const_cast<char*>(bytes);
  size_t inputLeft = count;
  char* output = reinterpret_cast<char*>(out);
  size_t outputLeft = capacity * sizeof(char16_t);
  while (inputLeft > 0) {
    if (iconv(converter.get(), &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1))
      break;
    if (errno == E2BIG || outputLeft < sizeof(char16_t)) return 0;
    // An invalid or cut sequence: one replacement character for its first byte.
    char16_t replacement = 0xFFFD;
    std::memcpy(output, &replacement, sizeof replacement);
    output += sizeof replacement;
    outputLeft -= sizeof replacement;
    ++input;
    --inputLeft;
  }
  return capacity - outputLeft / sizeof(char16_t);
}

size_t CutCharacterBytes(uint32_t codePage, const char* bytes, size_t count) {
  if (codePage == kWindows1252) return 0;
  Converter converter("UTF-16LE", IconvName(codePage).c_str());
  if (!converter.Valid()) return 0;
  char* input = const_cast<char*>(bytes);
  size_t inputLeft = count;
  char chunk[256];
  while (inputLeft > 0) {
    char* output = chunk;
    size_t outputLeft = sizeof chunk;
    if (iconv(converter.get(), &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1))
      break;
    // iconv tells a sequence cut by the end of its input from one that
    // cannot be converted at all, which is passed over.
    if (errno == EINVAL) return inputLeft;
    if (errno == EILSEQ) ++input, --inputLeft;
  }
  return 0;
}

size_t WideToAnsiLength(uint32_t codePage, std::u16string_view text) {
  if (codePage == kWindows1252) return text.size();
  Converter converter(IconvName(codePage).c_str(), "UTF-16LE");
  if (!converter.Valid()) return text.size();
  char* input = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inputLeft = text.size() * sizeof(char16_t);
  size_t total = 0;
  char chunk[256];
  while (inputLeft > 0) {
    char* output = chunk;
    size_t outputLeft = sizeof chunk;
    size_t result = iconv(converter.get(), &input, &inputLeft, &output, &outputLeft);
    total += sizeof chunk - outputLeft;
    if (result != static_cast<size_t>(-1)) break;
    if (errno != E2BIG) {
      // A unit without a form in this code page came from a replacement
      // character, which stood for one byte.
      ++total;
      input += sizeof(char16_t);
      inputLeft -= sizeof(char16_t);
    }
  }
  return total;
}

size_t WideToAnsi(uint32_t codePage, std::u16string_view text, std::string* out) {
  if (codePage == kWindows1252) {
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t unit = text[i];
      if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        out->push_back(static_cast<char>(unit));
        continue;
      }
      const char16_t* high = std::find(std::begin(k1252High), std::end(k1252High), unit);
      if (high == std::end(k1252High)) return i;
      out->push_back(static_cast<char>(0x80 + (high - std::begin(k1252High))));
    }
    return std::u16string_view::npos;
  }
  Converter converter(IconvName(codePage).c_str(), "UTF-16LE");
  if (!converter.Valid()) return 0;
  char* input = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t inputLeft = text.size() * sizeof(char16_t);
  char chunk[256];
  while (inputLeft > 0) {
    char* output = chunk;
    size_t outputLeft = sizeof chunk;
    size_t result = iconv(converter.get(), &input, &inputLeft, &output, &outputLeft);
    out->append(chunk, sizeof chunk - outputLeft);
    if (result != static_cast<size_t>(-1)) break;
    if (errno != E2BIG) return text.size() - inputLeft / sizeof(char16_t);
  }
  return std::u16string_view::npos;
}

}  // namespace qds::platform
