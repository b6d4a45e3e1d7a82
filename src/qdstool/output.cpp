// qdstool's input and output: files or the standard streams, and messages.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "qdstool/tool.h"

namespace qds::tool {

std::string Subject(std::u16string_view argument) {
  return argument == kStandardStream ? "standard input" : ToUtf8(argument);
}

namespace {

// All of standard input, read as bytes.
Status ReadStandardInput(std::string* bytes) {
  char piece[1 << 16];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0) bytes->append(piece, got);
  return std::ferror(stdin) ? Status(LoadStatus::ReadFailed) : Status();
}

}  // namespace

bool ReadInput(const std::u16string& argument, std::string* bytes, int* status) {
  Status read = argument == kStandardStream ? ReadStandardInput(bytes)
                                            : ReadFile(PathFromUtf16(argument), bytes);
  *status = read.Ok() ? 0 : Report(Subject(argument), read);
  return read.Ok();
}

int CodePageOption(const ParsedArguments& arguments, uint32_t* codePage) {
  const std::u16string* text = arguments.Value(u"--codepage");
  if (text == nullptr) return 0;
  if (!ParseNumber(*text, codePage)) return UsageError(arguments, "--codepage takes a number");
  QdsDocument probe;
  Status status = probe.SetCodePage(*codePage);
  if (!status.Ok()) {
    PrintErrorLine("qdstool: " + status.Text() + " (status " + std::to_string(status.Number()) +
                   ")");
  }
  return status.Number();
}

int ApplyCodePage(const ParsedArguments& arguments, QdsDocument* document) {
  uint32_t codePage = document->CodePage();
  int status = CodePageOption(arguments, &codePage);
  if (status == 0) static_cast<void>(document->SetCodePage(codePage));
  return status;
}

Status LoadFile(const std::u16string& argument, LoadFlags flags, QdsDocument* document,
                Loading loading) {
  try {
    if (argument != kStandardStream) {
      std::filesystem::path file = PathFromUtf16(argument);
      return loading == Loading::ToChange ? document->LoadForChange(file, flags)
                                          : document->Load(file, flags);
    }
    std::string bytes;
    Status read = ReadStandardInput(&bytes);
    return read.Ok() ? document->LoadBytes(bytes, flags) : read;
  } catch (const std::bad_alloc&) {
    return LoadStatus::OutOfMemory;
  }
}

int LoadInput(const ParsedArguments& arguments, const std::u16string& argument, LoadFlags flags,
              QdsDocument* document, Loading loading) {
  if (int status = ApplyCodePage(arguments, document); status != 0) return status;
  Status status = LoadFile(argument, flags | CodePageLoadFlags(arguments), document, loading);
  if (!status.Ok()) Report(Subject(argument), status);
  return status.Number();
}

std::u16string OutputOption(const ParsedArguments& arguments) {
  const std::u16string* output = arguments.Value(u"-o");
  return output != nullptr ? *output : std::u16string();
}

Loading LoadingFor(const ParsedArguments& arguments) {
  // A dry run changes nothing, and so leaves no lock file behind.
  return OutputOption(arguments).empty() && !arguments.Has(u"--dry-run") ? Loading::ToChange
                                                                         : Loading::ToRead;
}

LoadFlags CodePageLoadFlags(const ParsedArguments& arguments) {
  return arguments.Has(u"--codepage") ? LoadFlags::None : LoadFlags::DeclaredCodePage;
}

int CheckLineEnds(const QdsDocument& document, std::string_view subject, Use use) {
  if (!document.LineFeedsOnly()) return 0;
  const std::string words =
      "lines end in LF alone; the format reads CR LF only, so the file reads as one line; "
      "convert it with qdstool import";
  if (use == Use::Read) {
    PrintErrorLine("qdstool: " + std::string(subject) + ": " + words);
    return 0;
  }
  PrintErrorLine("qdstool: " + std::string(subject) + ": refusing to write: " + words +
                 " (status " + std::to_string(kDataError) + ")");
  return kDataError;
}

int SaveOutput(QdsDocument* document, const std::u16string& input, const std::u16string& output,
               SaveFlags flags) {
  const std::u16string& target = output.empty() ? input : output;
  const bool toStandardOutput = target == kStandardStream;
  Status status;
  try {
    if (toStandardOutput) {
      // A failed write is told when standard output is closed (FinishOutput).
      std::string bytes;
      status = document->Write(&bytes, flags);
      if (status.Ok()) WriteOutput(bytes);
    } else {
      status =
          output.empty() ? document->Save(flags) : document->SaveTo(PathFromUtf16(output), flags);
    }
  } catch (const std::bad_alloc&) {
    status = SaveStatus::OutOfMemory;
  }
  if (!status.Ok()) Report(toStandardOutput ? "standard output" : ToUtf8(target), status);
  return status.Number();
}

namespace {

// The C runtime's error of the first write to standard output that failed; 0
// while none has.
int outputError = 0;

void NoteOutputError() {
  if (outputError == 0) outputError = errno != 0 ? errno : EIO;
}

}  // namespace

bool WriteOutput(std::string_view bytes) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
  NoteOutputError();
  return false;
}

int FinishOutput(int status) {
  errno = 0;
  if (std::fflush(stdout) != 0) NoteOutputError();
  errno = 0;
  if (std::fclose(stdout) != 0) NoteOutputError();
  if (outputError == 0) return status;
  PrintErrorLine("qdstool: standard output: " + StatusText(SaveStatus::WriteFailed) + ": " +
                 std::strerror(outputError) + " (status 6)");
  return status != 0 ? status : static_cast<int>(SaveStatus::WriteFailed);
}

void PrintLine(std::u16string_view text) {
  std::string line = ToUtf8(text);
  line.push_back('\n');
  WriteOutput(line);
}

void PrintErrorLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

int Report(std::string_view subject, const Status& status) {
  PrintErrorLine("qdstool: " + status.Describe(subject));
  return status.Number();
}

int Report(std::string_view subject, std::string_view what, const Status& status) {
  return Report(std::string(subject) + ": " + std::string(what), status);
}

void AppendJsonString(std::string* out, std::u16string_view text) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  out->push_back('"');
  for (char16_t unit : text) {
    if (unit >= 0x20 && unit <= 0x7E && unit != u'"' && unit != u'\\') {
      out->push_back(static_cast<char>(unit));
      continue;
    }
    char escape[] = {'\\',
                     'u',
                     kHexDigits[unit >> 12],
                     kHexDigits[(unit >> 8) & 0xF],
                     kHexDigits[(unit >> 4) & 0xF],
                     kHexDigits[unit & 0xF]};
    out->append(escape, sizeof escape);
  }
  out->push_back('"');
}

}  // namespace qds::tool
