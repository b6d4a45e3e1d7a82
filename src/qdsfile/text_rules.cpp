#include "qdsfile/text_rules.h"

#include "common/text.h"
#include "qdsfile/qds_format.h"

namespace qds {
namespace {

Reason CheckAnyText(std::u16string_view text) {
  for (char16_t c : text) {
    if (c == 0) return Reason::ContainsNul;
    if (c == u'\r' || c == u'\n') return Reason::ContainsLineEnd;
  }
  if (!text.empty() && text.front() == format::kIgnoredUnit) return Reason::StartsWithEof;
  return Reason::None;
}

bool HasWhiteSpaceAtEdge(std::u16string_view text) {
  return !text.empty() && (IsWhiteSpace(text.front()) || IsWhiteSpace(text.back()));
}

Reason CheckSectionName(std::u16string_view name) {
  if (name.empty()) return Reason::Empty;
  if (name.find_first_of(u"[]") != std::u16string_view::npos) return Reason::ContainsBracket;
  if (EqualsIgnoreAsciiCase(name.substr(0, format::kVersionPrefixLength), format::kVersionPrefix)) {
    return Reason::VersionName;
  }
  if (name == format::kEndMarkerName) return Reason::EndMarkerName;
  return Reason::None;
}

Reason CheckKey(std::u16string_view key) {
  if (key.empty()) return Reason::Empty;
  if (key.find(format::kKeyValueSeparator) != std::u16string_view::npos) {
    return Reason::ContainsEquals;
  }
  if (HasWhiteSpaceAtEdge(key)) return Reason::WhiteSpaceAtEdge;
  if (key.front() == format::kCommentMark) return Reason::StartsWithSemicolon;
  if (key.front() == format::kSectionOpen) return Reason::StartsWithBracket;
  return Reason::None;
}

}  // namespace

Reason CheckText(TextRole role, std::u16string_view text) {
  if (Reason reason = CheckAnyText(text); reason != Reason::None) return reason;
  switch (role) {
    case TextRole::SectionName:
      return CheckSectionName(text);
    case TextRole::Key:
      return CheckKey(text);
    case TextRole::Value:
      return HasWhiteSpaceAtEdge(text) ? Reason::WhiteSpaceAtEdge : Reason::None;
  }
  return Reason::None;
}

}  // namespace qds
