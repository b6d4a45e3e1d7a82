#include "knitfold/file_operations.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "support/system_codes.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qds {
namespace {

using test::ScratchDir;
using test::WidePath;
using test::WriteBytes;
namespace fs = std::filesystem;

// Files go, the force clearing a read-only attribute first; folders and
// missing names stay as they are.
TEST(DeleteExistingFileTest, DeletesFilesButNotDirectoriesOrNothing) {
  ScratchDir dir;
  WriteBytes(dir / "file", "x");
  WriteBytes(dir / ".hidden", "x");
  fs::create_directory(dir / "folder");
  std::u16string hidden = WidePath(dir / ".hidden");
#ifdef _WIN32
  SetFileAttributesW(reinterpret_cast<const wchar_t*>(hidden.c_str()),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
  fs::permissions(dir / ".hidden", fs::perms::owner_read);  // the dot makes it hidden
#endif
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::QueryAttributes(hidden.c_str(), &attributes));
  ASSERT_EQ(attributes & (platform::kAttributeReadOnly | platform::kAttributeHidden),
            platform::kAttributeReadOnly | platform::kAttributeHidden);
  EXPECT_TRUE(DeleteExistingFile(WidePath(dir / "file").c_str(), false));
  EXPECT_TRUE(DeleteExistingFile(hidden.c_str(), true));
  EXPECT_FALSE(DeleteExistingFile(WidePath(dir / "file").c_str(), true));
  EXPECT_FALSE(DeleteExistingFile(WidePath(dir / "folder").c_str(), true));
  EXPECT_EQ(test::Snapshot(dir.path()).size(), 1u);
}

// Every folder but the last part is made; folders that exist already, and a
// file in the way of the last folder (making it reports that the name
// exists; only a later step fails), are accepted. A folder below that file
// cannot be made, and the system's code is kept. Relative paths start in
// the current folder.
TEST(CreateDirectoryChainTest, CreatesEveryFolderButTheLastPart) {
  ScratchDir dir;
  fs::path file = dir / "a" / "b" / "c" / "file.cmd";
  for (int pass = 0; pass < 2; ++pass) EXPECT_TRUE(CreateDirectoryChain(WidePath(file).c_str()));
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(CreateDirectoryChain(u""));
  EXPECT_TRUE(CreateDirectoryChain(nullptr));

  WriteBytes(dir / "TessalCF.ADF", "a file, not a folder");
  EXPECT_TRUE(CreateDirectoryChain(WidePath(dir / "TessalCF.ADF" / "x.cmd").c_str()));
  EXPECT_EQ(CreateDirectoryChain(WidePath(dir / "TessalCF.ADF" / "sub" / "x").c_str()),
            platform::SystemFailure(test::kCodeFileInTheWay));

  std::u16string tooLong = u"/tmp/" + std::u16string(300, u'a') + u"/x";
  EXPECT_EQ(CreateDirectoryChain(tooLong.c_str()),
            platform::SystemFailure(platform::kErrorNameTooLong));

  fs::path saved = fs::current_path();
  fs::current_path(dir / "a");
  platform::SystemResult result =
      CreateDirectoryChain(test::NativePath(u"TessalCF.ADF/extra.cmd").c_str());
  fs::current_path(saved);
  EXPECT_TRUE(result);
  EXPECT_TRUE(fs::is_directory(dir / "a" / "TessalCF.ADF"));
}

TEST(SystemErrorTextTest, IsTheSystemsTextForTheCode) {
  std::u16string text(u"previous");
  GetSystemErrorText(test::kCodeDiskFull, &text);
  EXPECT_EQ(text, test::SystemErrorText(test::kCodeDiskFull));
  EXPECT_FALSE(text.empty());
}

}  // namespace
}  // namespace qds
