// The services of the operating-system layer, each against the behaviour
// that its callers rely on.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include "platform/shared_library.h"
#endif

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/descriptors.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/replace.h"
#include "platform/text_services.h"
#include "support/system_codes.h"
#include "support/test_support.h"

namespace qds::platform {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WidePath;
using test::WriteBytes;

// CompareNoCase folds the case of ASCII letters (of every letter on Windows,
// as the system's comparison does); NextChar steps one character and stops
// at the end.
TEST(TextServicesTest, CompareNoCaseAndNextChar) {
  EXPECT_EQ(CompareNoCase(u"TRACE", u"Trace"), 0);
  EXPECT_EQ(CompareNoCase(u"qds", u"QDS"), 0);
  EXPECT_LT(CompareNoCase(u"a", u"B"), 0);
#ifdef _WIN32
  EXPECT_EQ(CompareNoCase(u"\u00C4", u"\u00E4"), 0);
#else
  EXPECT_NE(CompareNoCase(u"\u00C4", u"\u00E4"), 0);
#endif
  const char16_t text[] = u"a\U00010000b";  // the first surrogate pair
  const char16_t* p = NextChar(text);
  EXPECT_EQ(p, text + 1);
  p = NextChar(p);
#ifdef _WIN32
  if (p == text + 2) p = NextChar(p);  // the system may step a surrogate pair in two
#endif
  EXPECT_EQ(p, text + 3);
  p = NextChar(NextChar(p));
  EXPECT_EQ(*p, 0);
  EXPECT_EQ(NextChar(p), p);
}

TEST(CodePageTest, Windows1252MapsEveryByte) {
  EXPECT_EQ(AnsiCodePage(), 1252u);
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  char16_t out[255];
  ASSERT_EQ(AnsiToWide(1252, bytes.data(), bytes.size(), out, 255), 255u);
  EXPECT_EQ(out[0x80 - 1], 0x20AC);  // euro sign
  EXPECT_EQ(out[0x99 - 1], 0x2122);  // trade mark
  for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(out[undefined - 1], undefined);
  EXPECT_EQ(out[0xE4 - 1], 0xE4);
  EXPECT_EQ(WideToAnsiLength(1252, std::u16string_view(out, 255)), 255u);
}

TEST(CodePageTest, OtherCodePagesGoThroughTheConverter) {
  // Shift-JIS: two bytes for one character.
  const char bytes[] = "a\x82\xA0z";
  char16_t out[8];
  ASSERT_EQ(AnsiToWide(932, bytes, 4, out, 8), 3u);
  EXPECT_EQ(out[1], 0x3042);
  EXPECT_EQ(WideToAnsiLength(932, std::u16string_view(out, 3)), 4u);
  // A lead byte cut off at the end becomes one replacement character: the
  // code page's own default character on Windows.
  ASSERT_EQ(AnsiToWide(932, bytes, 2, out, 8), 2u);
#ifdef _WIN32
  EXPECT_EQ(out[1], 0x30FB);
#else
  EXPECT_EQ(out[1], 0xFFFD);
  // The converter passes over a byte that it cannot convert on its way to a
  // character that the end cuts.
  EXPECT_EQ(CutCharacterBytes(65001, "\xFF\x61\xC3", 3), 1u);
#endif
  EXPECT_EQ(AnsiToWide(99999, bytes, 4, out, 8), 0u);
  EXPECT_EQ(AnsiToWide(1252, bytes, 4, out, 3), 0u);  // output too small
  EXPECT_EQ(AnsiToWide(1252, bytes, 4, out, 4), 4u);  // output of exactly the size
}

#ifdef _WIN32
// WinINet describes its own codes, and only once something has loaded it:
// this program never does.
TEST(ErrorTextTest, WinInetCodesAreDescribedOnlyByTheLoadedModule) {
  constexpr uint32_t kInternetTimeout = 12002;
  std::u16string text;
  ASSERT_EQ(GetModuleHandleW(L"WININET"), nullptr);
  EXPECT_FALSE(ErrorText(kInternetTimeout, &text));
  HMODULE wininet = LoadLibraryW(L"wininet.dll");
  ASSERT_NE(wininet, nullptr);
  bool described = ErrorText(kInternetTimeout, &text);
  FreeLibrary(wininet);
  if (!described) GTEST_SKIP() << "this system's WinINet carries no message texts";
  EXPECT_FALSE(text.empty());
}

TEST(ErrorTextTest, CodesTheSystemDoesNotKnowHaveNoText) {
  std::u16string text(u"previous");
  EXPECT_FALSE(ErrorText(0x2000ABCD, &text));  // a code of an application's own
  EXPECT_EQ(text, u"previous");
}
#endif

#ifdef __linux__
// Pages of any size, large or small and a whole number of small pages or
// not, leave no address space behind once freed.
TEST(MemoryTest, FreedPagesLeaveNoAddressSpaceBehind) {
  auto mappedKilobytes = [] {
    std::string status = ReadBytes("/proc/self/status");
    return std::stol(status.substr(status.find("VmSize:") + 7));
  };
  for (size_t bytes : {size_t{8198}, kLargePageBytes + 8198, 2 * kLargePageBytes}) {
    FreePages(AllocatePages(bytes), bytes);
    const long before = mappedKilobytes();
    for (int i = 0; i < 8; ++i) FreePages(AllocatePages(bytes), bytes);
    EXPECT_LT(mappedKilobytes() - before, 1024) << bytes;
  }
}
#endif

TEST(FileServicesTest, CopyReplacesOrRefusesAnExistingDestination) {
  ScratchDir dir;
  WriteBytes(dir / "from", "new bytes");
  WriteBytes(dir / "to", "old");
  std::u16string from = WidePath(dir / "from");
  std::u16string to = WidePath(dir / "to");
  EXPECT_EQ(CopyFileTo(from.c_str(), to.c_str(), true), SystemFailure(kErrorFileExists));
  EXPECT_EQ(ReadBytes(dir / "to"), "old");
  EXPECT_TRUE(CopyFileTo(from.c_str(), to.c_str(), false));
  EXPECT_EQ(ReadBytes(dir / "to"), "new bytes");
  EXPECT_TRUE(CopyFileTo(from.c_str(), WidePath(dir / "new").c_str(), true));
  EXPECT_EQ(test::Snapshot(dir.path()).size(), 3u) << "a temporary file stayed";
  EXPECT_EQ(CopyFileTo(WidePath(dir / "none").c_str(), to.c_str(), false),
            SystemFailure(test::kCodeMissingFile));
}

// Attributes tell folders and read-only files; folders are made once.
TEST(FileServicesTest, AttributesTellDirectoriesAndReadOnlyFiles) {
  ScratchDir dir;
  WriteBytes(dir / "file", "x");
  std::u16string file = WidePath(dir / "file");
  uint32_t attributes = 0;
  ASSERT_TRUE(QueryAttributes(file.c_str(), &attributes));
  constexpr uint32_t kSpecial =
      kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeDirectory;
  EXPECT_EQ(attributes & kSpecial, 0u);
  std::filesystem::permissions(dir / "file", std::filesystem::perms::owner_read);
  ASSERT_TRUE(FindEntry(file.c_str(), &attributes));
  EXPECT_TRUE(attributes & kAttributeReadOnly);
  ASSERT_TRUE(ResetAttributes(file.c_str()));
  ASSERT_TRUE(QueryAttributes(file.c_str(), &attributes));
  EXPECT_FALSE(attributes & kAttributeReadOnly);
  ASSERT_TRUE(QueryAttributes(WidePath(dir.path()).c_str(), &attributes));
  EXPECT_TRUE(attributes & kAttributeDirectory);
  EXPECT_EQ(QueryAttributes(WidePath(dir / "none").c_str(), &attributes),
            SystemFailure(test::kCodeMissingFile));
  EXPECT_TRUE(RemoveFile(file.c_str()));
  EXPECT_EQ(RemoveFile(file.c_str()), SystemFailure(test::kCodeMissingFile));
  EXPECT_EQ(FindEntry(file.c_str(), &attributes), SystemFailure(test::kCodeMissingFile));
  // A name that exists, folder or file, is reported as already existing.
  std::u16string folder = WidePath(dir / "TessalCF.ADF");
  EXPECT_TRUE(MakeDirectory(folder.c_str()));
  for (const std::filesystem::path& name : {dir / "TessalCF.ADF", dir / "file"}) {
    WriteBytes(dir / "file", "x");
    EXPECT_EQ(MakeDirectory(WidePath(name).c_str()), SystemFailure(kErrorAlreadyExists));
  }
}

// A regular file is told apart, with its size, without being opened, and
// opened for reading without waiting; anything else is neither. Two names lead to one
// file only when the file system says so.
TEST(FileServicesTest, RegularFilesAreToldApartAndOpenedWithoutWaiting) {
  ScratchDir dir;
  WriteBytes(dir / "file", "xyz");
  std::filesystem::create_directory(dir / "folder");
  std::vector<std::pair<std::string, bool>> names = {
      {"file", true}, {"folder", false}, {"missing", false}};
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);  // no writer: a plain open would wait
  names.emplace_back("fifo", false);
#endif
  for (const auto& [name, regular] : names) {
    std::u16string path = WidePath(dir / name);
    EXPECT_EQ(RegularFileSize(path.c_str()), regular ? std::optional<uint64_t>(3) : std::nullopt)
        << name;
    int descriptor = -1;
    EXPECT_EQ(OpenRegularFile(path.c_str(), &descriptor).Ok(), regular) << name;
    if (descriptor >= 0) CloseDescriptor(descriptor);
  }
  std::u16string file = WidePath(dir / "file");
  EXPECT_TRUE(SameFile(file.c_str(), WidePath(dir / "folder/../file").c_str()));
  EXPECT_FALSE(SameFile(file.c_str(), WidePath(dir / "folder").c_str()));
  EXPECT_FALSE(SameFile(file.c_str(), WidePath(dir / "missing").c_str()));
}

#ifndef _WIN32
// Another account that may write a file could shorten it under its mapping:
// such a file is left to be read.
TEST(FileServicesTest, OnlyFilesThatNoOtherAccountMayWriteAreMapped) {
  ScratchDir dir;
  WriteBytes(dir / "file", "text");
  std::u16string path = WidePath(dir / "file");
  struct Case {
    mode_t mode;
    uid_t owner;
    bool mapped;
  };
  std::vector<Case> cases = {
      {0644, geteuid(), true}, {0664, geteuid(), false}, {0646, geteuid(), false}};
  if (geteuid() == 0) cases.push_back({0644, 65534, false});  // owned by nobody
  for (const Case& each : cases) {
    ASSERT_EQ(chmod((dir / "file").c_str(), each.mode), 0);
    ASSERT_EQ(chown((dir / "file").c_str(), each.owner, static_cast<gid_t>(-1)), 0);
    int descriptor = -1;
    ASSERT_TRUE(OpenRegularFile(path.c_str(), &descriptor));
    size_t bytes = 0;
    const void* mapping = MapFile(descriptor, &bytes);
    EXPECT_EQ(mapping != nullptr, each.mapped) << std::oct << each.mode << " " << each.owner;
    UnmapFile(mapping, bytes);
    CloseDescriptor(descriptor);
  }
}
#endif

#ifdef _WIN32
TEST(FileServicesTest, NamesOutsideTheAnsiCodePageReachTheFileSystemUnchanged) {
  ScratchDir dir;
  std::u16string name = WidePath(dir.path()) + u"\\\u03A9\u4E2D.qds";
  std::filesystem::path native(std::wstring(name.begin(), name.end()));
  WriteBytes(native, "bytes");
  EXPECT_EQ(PathSize(name.c_str()), 5);
  std::u16string copy = WidePath(dir.path()) + u"\\copy\u0416";
  EXPECT_TRUE(CopyFileTo(name.c_str(), copy.c_str(), false));
  EXPECT_EQ(ReadBytes(std::filesystem::path(std::wstring(copy.begin(), copy.end()))), "bytes");
}
#else
TEST(FileServicesTest, NamesThatAreNotUtf8ReachTheFileSystemUnchanged) {
  ScratchDir dir;
  std::filesystem::path odd = dir / std::string("caf\xE9.qds");  // Latin-1 byte, not UTF-8
  WriteBytes(odd, "bytes");
  std::u16string wide = WidePath(odd);
  EXPECT_EQ(PathSize(wide.c_str()), 5);
  std::u16string copy = WidePath(dir / std::string("copy\xFF"));
  EXPECT_TRUE(CopyFileTo(wide.c_str(), copy.c_str(), false));
  EXPECT_EQ(ReadBytes(dir / std::string("copy\xFF")), "bytes");
}

TEST(SharedLibraryTest, LoadsALibraryOnceAndFindsItsFunctions) {
  void* library = LoadSharedLibrary(KNITFOLD_CRYPTO_LIBRARY);
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(LoadSharedLibrary(KNITFOLD_CRYPTO_LIBRARY), library);
  EXPECT_NE(FindLibraryFunction(library, "EVP_md5"), nullptr);
  EXPECT_EQ(FindLibraryFunction(library, "knitfold_no_such_function"), nullptr);
  EXPECT_EQ(LoadSharedLibrary("libknitfold-no-such-library.so.1"), nullptr);
}
#endif

}  // namespace
}  // namespace qds::platform
