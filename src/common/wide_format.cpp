#include "common/wide_format.h"

namespace qds {

namespace {

// Collects the output, counting every unit but storing only what fits.
class Sink {
 public:
  Sink(char16_t* out, size_t capacity) : out_(out), room_(capacity == 0 ? 0 : capacity - 1) {}

  void Put(char16_t unit) {
    if (length_ < room_) out_[length_] = unit;
    ++length_;
  }
  size_t length() const { return length_; }
  size_t stored() const { return length_ < room_ ? length_ : room_; }

 private:
  char16_t* out_;
  size_t room_;
  size_t length_ = 0;
};

void PutNumber(Sink* sink, uint64_t magnitude, bool negative, unsigned base, size_t width,
               char16_t pad) {
  char16_t digits[24];
  size_t count = 0;
  do {
    unsigned digit = static_cast<unsigned>(magnitude % base);
    digits[count++] = static_cast<char16_t>(digit < 10 ? u'0' + digit : u'A' + digit - 10);
    magnitude /= base;
  } while (magnitude != 0);
  size_t length = count + (negative ? 1 : 0);
  if (negative && pad == u'0') sink->Put(u'-');
  for (; length < width; ++length) sink->Put(pad);
  if (negative && pad != u'0') sink->Put(u'-');
  while (count > 0) sink->Put(digits[--count]);
}

}  // namespace

size_t FormatWide(char16_t* out, size_t capacity, const char16_t* format,
                  std::initializer_list<FormatArg> args) {
  Sink sink(out, capacity);
  const FormatArg* next = args.begin();
  const char16_t* p = format;
  while (*p != 0) {
    if (*p != u'%') {
      sink.Put(*p++);
      continue;
    }
    ++p;
    if (*p == u'%') {
      sink.Put(*p++);
      continue;
    }
    char16_t pad = u' ';
    if (*p == u'0') {
      pad = u'0';
      ++p;
    }
    size_t width = 0;
    while (*p >= u'0' && *p <= u'9') width = width * 10 + static_cast<size_t>(*p++ - u'0');
    if (*p == u'l') ++p;
    char16_t conversion = *p;
    if (conversion == 0) break;
    ++p;
    if (next == args.end()) continue;
    const FormatArg& arg = *next++;
    switch (conversion) {
      case u'd': {
        int32_t value = static_cast<int32_t>(arg.integer());
        uint64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
        PutNumber(&sink, magnitude, value < 0, 10, width, pad);
        break;
      }
      case u'u':
        PutNumber(&sink, static_cast<uint32_t>(arg.integer()), false, 10, width, pad);
        break;
      case u'X':
        PutNumber(&sink, static_cast<uint32_t>(arg.integer()), false, 16, width, pad);
        break;
      case u'c':
        sink.Put(static_cast<char16_t>(arg.integer()));
        break;
      case u's': {
        const char16_t* text = arg.kind() == FormatArg::Kind::Text ? arg.text() : nullptr;
        for (const char16_t* t = text != nullptr ? text : u"(null)"; *t != 0; ++t) sink.Put(*t);
        break;
      }
      default:
        break;
    }
  }
  if (capacity > 0) out[sink.stored()] = 0;
  return sink.length();
}

}  // namespace qds
