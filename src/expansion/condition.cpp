#include "common/text.h"
#include "expansion/expression.h"

namespace qds {

namespace {

// True when `text` is a non-empty beginning of `word`, A-Z folded.
bool BeginsWord(std::u16string_view text, std::u16string_view word) {
  return !text.empty() && text.size() <= word.size() &&
         EqualsIgnoreAsciiCase(text, word.substr(0, text.size()));
}

}  // namespace

bool IsTrue(std::u16string_view text) {
  return !(text.empty() || text == u"0" || BeginsWord(text, u"false") || BeginsWord(text, u"no"));
}

int CompareTexts(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  if (ignoreCase) return CompareIgnoreAsciiCase(a, b);
  int order = a.compare(b);
  return (order > 0) - (order < 0);
}

int EvaluateLegacyCondition(std::u16string_view text) {
  size_t at = text.find_first_of(u"!=<>");
  if (at == std::u16string_view::npos) return IsTrue(text) ? 1 : 0;
  std::u16string_view left = text.substr(0, at);
  char16_t op = text[at];
  bool withEqual = op != u'=' && at + 1 < text.size() && text[at + 1] == u'=';
  std::u16string_view right = text.substr(at + (withEqual ? 2 : 1));
  if (op == u'!' && !withEqual) return IsTrue(right) ? 0 : 1;
  int order = CompareTexts(left, right, false);
  bool holds = op == u'='   ? order == 0
               : op == u'<' ? (withEqual ? order <= 0 : order < 0)
               : op == u'>' ? (withEqual ? order >= 0 : order > 0)
                            : order != 0;  // "!="
  return holds ? 1 : 0;
}

}  // namespace qds
