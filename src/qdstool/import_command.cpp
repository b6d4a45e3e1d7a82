// qdstool import: a QDS file made from text in UTF-8 or a code page, whose
// lines end in LF or CR LF. A line that the format would read otherwise
// than it looks, or not at all, is refused with its number, before anything
// is written.

#include <qds/qds.h>

#include <string>

#include "qdstool/tool.h"

namespace qds::tool {
namespace {

// Why a line cannot be imported; empty when it can. `line` is without its
// line end.
std::string_view LineProblem(std::u16string_view line) {
  size_t first = line.find_first_not_of(u" \t");
  std::u16string_view content = first == std::u16string_view::npos ? u"" : line.substr(first);
  if (line.find(u'\0') != std::u16string_view::npos) return "a NUL character (U+0000)";
  if (line.find(u'\r') != std::u16string_view::npos) {
    return "a carriage return not followed by a line feed";
  }
  if (content.empty() || content[0] == u';') return {};
  if (content[0] == u'#') return "\"#\" does not start a comment in a QDS file; use \";\"";
  if (first == 0 && line[0] == u'[') {
    size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return "a section header without \"]\"";
    if (line.find(u'[', 1) < close) return "\"[\" inside a section name";
    if (line.find_first_not_of(u" \t", close + 1) != std::u16string_view::npos) {
      return "text after the \"]\" of a section header would be lost";
    }
    if (line.substr(0, close + 1) == u"[$end$]") {
      return "\"[$end$]\" would end the text here; use qdstool sign";
    }
    return {};
  }
  if (content[0] == u'=') return "a line that starts with \"=\" (an entry without a key)";
  if (content.find(u'=') == std::u16string_view::npos) return "a key without \"=\"";
  return {};
}

// Whether `text` holds a unit that a decoder made of bytes it could not
// read: a lone surrogate (UTF-8) or U+FFFD (a code page).
size_t FindUndecoded(std::u16string_view text, bool codePage) {
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (codePage ? c == 0xFFFD : (c >= 0xDC00 && c <= 0xDFFF)) return i;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
        if (!codePage) return i;
      } else {
        ++i;
      }
    }
  }
  return std::u16string_view::npos;
}

int RunImport(const ParsedArguments& arguments) {
  const std::vector<std::u16string>& operands = arguments.operands();
  if (operands.size() != 2) return UsageError(arguments, "expected IN and OUT");
  const std::string subject = Subject(operands[0]);
  uint32_t codePage = 0;
  if (int status = CodePageOption(arguments, &codePage); status != 0) return status;
  std::string bytes;
  int status = 0;
  if (!ReadInput(operands[0], &bytes, &status)) return status;
  std::u16string text;
  if (codePage != 0) {
    std::string utf8;
    static_cast<void>(DecodeFileText(bytes, codePage, &utf8));
    text = ToUtf16(utf8);
  } else {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    text = ToUtf16(bytes);
  }
  auto refuse = [&](size_t at, std::string_view words) {
    size_t line = 1 + std::count(text.begin(), text.begin() + at, u'\n');
    PrintErrorLine("qdstool: " + subject + ":" + std::to_string(line) +
                   ": syntax error: " + std::string(words) + " (status 7)");
    return static_cast<int>(LoadStatus::SyntaxError);
  };
  if (size_t bad = FindUndecoded(text, codePage != 0); bad != std::u16string::npos) {
    return refuse(bad, codePage != 0 ? "bytes that the code page cannot convert"
                                     : "bytes that are not UTF-8");
  }
  // Each line is checked, and given the line end CR LF.
  std::u16string normal;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find(u'\n', start), text.size());
    std::u16string_view line(text.data() + start, end - start);
    if (line.ends_with(u'\r')) line.remove_suffix(1);
    if (std::string_view problem = LineProblem(line); !problem.empty()) {
      return refuse(start, problem);
    }
    normal.append(line).append(u"\r\n");
    start = end + 1;
  }
  QdsDocument document;
  Status loaded = document.LoadBytes(
      "\xFF\xFE" + std::string(reinterpret_cast<const char*>(normal.data()), normal.size() * 2),
      LoadFlags::KeepComments);
  if (!loaded.Ok()) return Report(subject, loaded);
  return FinishChange(arguments, &document, operands[0], operands[1], SaveFlags::KeepComments);
}

const OptionRule kImportOptions[] = {{u"--codepage", 1}, KNITFOLD_CHANGE_OPTIONS};

}  // namespace

const ToolCommand kImportCommand = {
    u"import",
    "make a QDS file of a text in UTF-8 or a code page",
    "import [--codepage N] [--dry-run] [--exit-code] IN OUT",
    "Reads IN, UTF-8 (a byte-order mark is dropped) or with --codepage text of\n"
    "code page N, whose lines end in LF or CR LF, and writes it to OUT as a QDS\n"
    "file: UTF-16 after the byte-order mark, lines ending in CR LF, comments,\n"
    "blank lines and indentation kept. A line that the format would not read as\n"
    "it looks, such as a comment that starts with '#', is refused with its\n"
    "number (status 7), and nothing is written. --dry-run and --exit-code as\n"
    "for set, of OUT.\n",
    kImportOptions,
    RunImport,
};

}  // namespace qds::tool
