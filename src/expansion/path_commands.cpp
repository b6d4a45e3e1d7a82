// The path commands: "exists", "splitpath" and "toshortpath". The two that
// ask the file system do so inside an ImpersHlpr, so that a remote path is
// reached as the user the host names. "splitpath" is text processing only and
// takes both "\" and "/" as separators on every platform, so that a script
// cuts a path the same way wherever it runs.

#include <string>
#include <string_view>

#include "common/wide_format.h"
#include "expansion/builtin_handlers.h"
#include "expansion/handler_support.h"
#include "expansion/impers_hlpr.h"
#include "expansion/symbol_map.h"
#include "platform/descriptors.h"
#include "platform/path_syntax.h"
#include "platform/short_path.h"

namespace qds {

namespace {

// The longest prefix of "splitpath", as for "split".
constexpr size_t kMaxPrefix = 992;
// Each piece of a split path holds at most this many characters.
constexpr size_t kMaxPiece = 255;

struct PathPieces {
  std::u16string_view drive;
  std::u16string_view directory;
  std::u16string_view file;
  std::u16string_view extension;
};

std::u16string_view Cut(std::u16string_view piece) { return piece.substr(0, kMaxPiece); }

// Drive "C:", directory up to its last separator, file name, extension from
// the last "." of the name. The directory loses one trailing "\" (a trailing
// "/" stays) and the extension its ".".
PathPieces SplitPath(std::u16string_view path) {
  PathPieces pieces;
  if (path.size() >= 2 && path[1] == u':') pieces.drive = path.substr(0, 2);
  std::u16string_view rest = path.substr(pieces.drive.size());
  size_t lastSeparator = rest.find_last_of(u"\\/");
  if (lastSeparator != std::u16string_view::npos)
    pieces.directory = rest.substr(0, lastSeparator + 1);
  rest.remove_prefix(pieces.directory.size());
  size_t dot = rest.rfind(u'.');
  pieces.file = rest.substr(0, dot);
  if (dot != std::u16string_view::npos) pieces.extension = rest.substr(dot);
  pieces.directory = Cut(pieces.directory);
  pieces.file = Cut(pieces.file);
  pieces.extension = Cut(pieces.extension);
  if (pieces.directory.ends_with(u'\\')) pieces.directory.remove_suffix(1);
  if (pieces.extension.starts_with(u'.')) pieces.extension.remove_prefix(1);
  return pieces;
}

bool EndsWithSeparator(std::u16string_view path) {
  return path.ends_with(u'/') || path.ends_with(platform::kPathSeparator);
}

// The length of the root folder that `path` would name if it were one: "/"
// (or "\"), or with drive letters a drive's "C:\" when a drive starts it.
size_t RootLength(std::u16string_view path) {
  return platform::kHasDriveLetters && path.size() >= 3 && path[1] == u':' ? 3 : 1;
}

// A pattern never names an existing path, nor does a folder written with a
// trailing separator (a root excepted), nor a bare drive ("C:", which names
// a folder only through the drive's current folder): the status query
// decides the rest.
bool PathExists(std::u16string_view path) {
  if (path.find_first_of(u"?*") != std::u16string_view::npos) return false;
  if (platform::kHasDriveLetters && path.size() == 2 && path[1] == u':') return false;
  if (path.size() > RootLength(path) && EndsWithSeparator(path)) return false;
  return platform::PathSize(path.data()) >= 0;
}

}  // namespace

ReplaceStatus ExistsCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                            char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  char16_t path[kPathSpace];
  uint32_t length = 0;
  ReplaceStatus status = ExpandToSpace(table, args[0], flags, path, kPathSpace, &length);
  if (status != ReplaceStatus::Ok) return status;
  ImpersHlpr impersonation(IsRemotePath(path), table);
  return WriteNumber(PathExists(std::u16string_view(path, length)) ? 1 : 0, out, outLen);
}

ReplaceStatus SplitPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                               char16_t* /*out*/, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1 && argCount != 2) return ReplaceStatus::WrongArgCount;
  const char16_t* prefix = argCount == 2 ? args[1] : u"";
  if (std::u16string_view(prefix).size() > kMaxPrefix) return ReplaceStatus::ArgumentTooLong;
  std::u16string path;
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &path);
  if (status != ReplaceStatus::Ok) return status;
  PathPieces pieces = SplitPath(path);
  const struct {
    const char16_t* format;
    std::u16string_view piece;
  } symbols[] = {{u"%sDrive", pieces.drive},
                 {u"%sPath", pieces.directory},
                 {u"%sFile", pieces.file},
                 {u"%sExtension", pieces.extension}};
  // The prefix's limit keeps every name within the space.
  char16_t name[kTextSpace];
  for (const auto& symbol : symbols) {
    FormatWide(name, kTextSpace, symbol.format, {prefix});
    table.Set(name, symbol.piece);
  }
  *outLen = 0;
  return ReplaceStatus::Ok;
}

// The size of the short form is asked first: a space smaller than that size,
// its terminating zero counted, gives BufferTooSmall with that size.
ReplaceStatus ToShortPathCommand(SymbolMap& table, const char16_t* const* args, uint32_t argCount,
                                 char16_t* out, uint32_t* outLen, ExpandFlags flags) {
  if (argCount != 1) return ReplaceStatus::WrongArgCount;
  std::u16string path;
  ReplaceStatus status = ExpandArgument(table, args[0], flags, &path);
  if (status != ReplaceStatus::Ok) return status;
  ImpersHlpr impersonation(IsRemotePath(path.c_str()), table);
  size_t needed = platform::ShortPathName(path.c_str(), nullptr, 0);
  if (*outLen < needed) {
    *outLen = static_cast<uint32_t>(needed);
    return ReplaceStatus::BufferTooSmall;
  }
  size_t length = platform::ShortPathName(path.c_str(), out, *outLen);
  *outLen = static_cast<uint32_t>(length);
  return length == 0 ? ReplaceStatus::NoShortPath : ReplaceStatus::Ok;
}

}  // namespace qds
