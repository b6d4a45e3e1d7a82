// The string commands: "chr", "length", "index", "rindex", "substr", "sub"
// and "split". Texts are expanded into spaces of kTextSpace, numbers into
// spaces of kNumberSpace, the name of "split" into kNameSpace; arguments are
// expanded in the order they are written and the first failure ends the
// command. Positions in results are 1-based, 0 meaning "not found".

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/wide_format.h"
#include "expansion/builtin_handlers.h"
#include "expansion/field_list_scanner.h"
#include "expansion/handler_support.h"
#include "expansion/number_text.h"
#include "expansion/symbol_map.h"

namespace qds {

namespace {

// The longest prefix of "split": its symbol names, with "Count" or a field
// number appended, stay within kTextSpace characters.
constexpr size_t kMaxSplitPrefix = 992;

// Finds the occurrences of a text left to right in one pass over the text
// (Knuth-Morris-Pratt), so that a search never costs the product of the two
// lengths, however alike the texts are.
class Matcher {
 public:
  explicit Matcher(std::u16string_view find) : find_(find), fallback_(find.size(), 0) {
    for (size_t i = 1, matched = 0; i < find.size(); ++i) {
      while (matched > 0 && find[i] != find[matched]) matched = fallback_[matched - 1];
      if (find[i] == find[matched]) ++matched;
      fallback_[i] = matched;
    }
  }

  // Calls visit(p) with the 0-based index p of each occurrence in `text`
  // until visit returns false. With `overlapping`, every occurrence counts;
  // otherwise the search goes on after the end of the last occurrence. The
  // empty text occurs at every index of `text` and nowhere else.
  template <class Visit>
  void Scan(std::u16string_view text, bool overlapping, Visit visit) const {
    if (find_.empty()) {
      for (size_t p = 0; p < text.size(); ++p) {
        if (!visit(p)) return;
      }
      return;
    }
    for (size_t i = 0, matched = 0; i < text.size(); ++i) {
      while (matched > 0 && text[i] != find_[matched]) matched = fallback_[matched - 1];
      if (text[i] == find_[matched]) ++matched;
      if (matched == find_.size()) {
        if (!visit(i + 1 - matched)) return;
        matched = overlapping ? fallback_[matched - 1] : 0;
      }
    }
  }

 private:
  std::u16string_view find_;
  // fallback_[i]: the length of the longest proper prefix of find_ that ends
  // at find_[i].
  std::vector<size_t> fallback_;
};

// The occurrence argument of "index" and "rindex", read as the C library's
// atoi reads: leading white space, a sign, decimal digits up to the first
// other character, 0 without digits. A value of any length is read the same
// way: a number too large for 32 bits is a count that no text reaches.
// 0 for zero and negative values, which find nothing.
uint64_t ReadOccurrence(std::u16string_view text) {
  NumberScan scan = ScanNumber(text, 10);
  if (scan.negative) return 0;
  return scan.overflow ? UINT64_MAX : scan.magnitude;
}

// The 1-based position of occurrence `n` (1-based, overlapping) of `find`
// in `text`; 0 when there are fewer.
int32_t NthOccurrence(std::u16string_view text, const Matcher& find, uint64_t n) {
  if (n == 0) return 0;
  int32_t position = 0;
  uint64_t seen = 0;
  find.Scan(text, true, [&](size_t p) {
    if (++seen < n) return true;
    position = static_cast<int32_t>(p + 1);
    return false;
  });
  return position;
}

// "index" and "rindex": text, find [, occurrence], the occurrence counted
// from the start or, with `fromEnd`, from the end.
ReplaceStatus Search(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                     char16_t* out, uint32_t* outLen, ExpandFlags flags, bool fromEnd) {
  if (argCount != 2 && argCount != 3) return ReplaceStatus::WrongArgCount;
  std::u16string text, find, occurrenceText(u"1");
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &text);
  if (status == ReplaceStatus::Ok) status = ExpandArgument(table, args[1], flags, &find);
  if (status == ReplaceStatus::Ok && argCount == 3)
    status = ExpandArgument(table, args[2], flags, &occurrenceText);
  if (status != ReplaceStatus::Ok) return status;
  uint64_t n = ReadOccurrence(occurrenceText);
  Matcher matcher(find);
  if (fromEnd && n > 0) {
    uint64_t total = 0;
    matcher.Scan(text, true, [&total](size_t) {
      ++total;
      return true;
    });
    n = n <= total ? total - n + 1 : 0;
  }
  return WriteNumber(NthOccurrence(text, matcher, n), out, outLen);
}

}  // namespace

ReplaceStatus ChrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  char16_t codeText[kNumberSpace];
  uint32_t length = 0;
  ReplaceStatus status = ExpandToSpace(table, args[0], flags, codeText, kNumberSpace, &length);
  if (status != ReplaceStatus::Ok) return status;
  uint32_t code;
  if (!ParseUnsigned(std::u16string_view(codeText, length), &code))
    return ReplaceStatus::BadArgument;
  auto unit = static_cast<char16_t>(code & 0xFFFF);
  // A zero unit would end the expanded text early, so code 0 gives nothing.
  return WriteOutput(std::u16string_view(&unit, unit == 0 ? 0 : 1), out, outLen);
}

ReplaceStatus LengthCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  std::u16string text;
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &text);
  if (status != ReplaceStatus::Ok) return status;
  return WriteNumber(static_cast<int32_t>(text.size()), out, outLen);
}

ReplaceStatus IndexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  return Search(table, args, argCount, out, outLen, flags, false);
}

ReplaceStatus RindexCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  return Search(table, args, argCount, out, outLen, flags, true);
}

ReplaceStatus SubstrCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 2 && argCount != 3) return ReplaceStatus::WrongArgCount;
  std::u16string text;
  int32_t start = 0;
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &text);
  if (status == ReplaceStatus::Ok) status = ExpandWholeNumber(table, args[1], flags, &start);
  auto end = static_cast<int32_t>(text.size());
  if (status == ReplaceStatus::Ok && argCount == 3)
    status = ExpandWholeNumber(table, args[2], flags, &end);
  if (status != ReplaceStatus::Ok) return status;
  // 64 bits, so that the extremes of both numbers cannot overflow.
  int64_t first = std::max<int64_t>(int64_t{start} - 1, 0);
  int64_t count = std::max<int64_t>(int64_t{end} - start + 1, 0);
  std::u16string_view piece;
  if (first < static_cast<int64_t>(text.size())) {
    piece =
        std::u16string_view(text).substr(static_cast<size_t>(first), static_cast<size_t>(count));
  }
  return WriteOutput(piece, out, outLen);
}

ReplaceStatus SubCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                         char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 3) return ReplaceStatus::WrongArgCount;
  std::u16string text, find, replacement;
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &text);
  if (status == ReplaceStatus::Ok) status = ExpandArgument(table, args[1], flags, &find);
  if (status == ReplaceStatus::Ok) status = ExpandArgument(table, args[2], flags, &replacement);
  if (status != ReplaceStatus::Ok) return status;
  if (find.empty()) return WriteOutput(text, out, outLen);
  std::u16string result;
  size_t copied = 0;
  Matcher(find).Scan(text, false, [&](size_t p) {
    result.append(std::u16string_view(text).substr(copied, p - copied)).append(replacement);
    copied = p + find.size();
    return true;
  });
  result.append(std::u16string_view(text).substr(copied));
  return WriteOutput(result, out, outLen);
}

ReplaceStatus SplitCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                           char16_t* /*out*/, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 2 && argCount != 3) return ReplaceStatus::WrongArgCount;
  std::u16string_view prefix(args[1]);
  if (prefix.size() > kMaxSplitPrefix) return ReplaceStatus::ArgumentTooLong;
  // The separator is taken as written: its first character, none when empty.
  std::optional<char16_t> separator = u',';
  if (argCount == 3) separator = args[2][0] != 0 ? std::optional(args[2][0]) : std::nullopt;
  char16_t name[kNameSpace];
  ReplaceStatus status = ExpandToSpace(table, args[0], flags, name, kNameSpace);
  if (status != ReplaceStatus::Ok) return status;
  std::u16string value;  // a copy: the fields' symbols change the table
  *outLen = 0;
  if (!table.Lookup(name, &value)) return ReplaceStatus::Ok;
  // The value is read as a terminated text, as stored.
  FieldListScanner fields;
  if (!fields.Scan(value.c_str(), separator)) return ReplaceStatus::BadArgument;
  // The prefix's limit keeps every name within the space.
  char16_t symbol[kTextSpace];
  FormatWide(symbol, kTextSpace, u"%sCount", {args[1]});
  table.SetNumber(symbol, static_cast<int32_t>(fields.Count()));
  for (size_t k = 0; k < fields.Count(); ++k) {
    FormatWide(symbol, kTextSpace, u"%s%d", {args[1], static_cast<int32_t>(k + 1)});
    table.Set(symbol, fields.Field(k));
  }
  return ReplaceStatus::Ok;
}

}  // namespace qds
