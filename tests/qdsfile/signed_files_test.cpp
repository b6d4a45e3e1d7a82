// Packages signed on one platform verify on every other: tests/data holds a
// file signed by the Linux build and one signed by the Windows build (with
// "qdstool sign unsigned.qds -o ..."), and every build checks both.

#include <gtest/gtest.h>

#include <string>

#include "model/document_model.h"
#include "qdsfile/qds_loader.h"
#include "qdsfile/qds_saver.h"
#include "support/test_support.h"

namespace qds::test {
namespace {

constexpr const char* kSignedFiles[] = {"signed_by_linux.qds", "signed_by_windows.qds"};

std::u16string DataFile(const char* name) { return WidePath(SourceFile("tests/data") / name); }

TEST(SignedFilesTest, FilesSignedOnEitherPlatformVerifyHere) {
  for (const char* name : kSignedFiles) {
    DocumentModel document;
    EXPECT_EQ(LoadDocument(&document, DataFile(name).c_str(), Digest), LoadStatus::Ok) << name;
    EXPECT_EQ(document.CountEntries(u"Strings", nullptr), 2u) << name;
  }
}

// unsigned.qds is the text that both builds signed: signing it here writes
// the same digest, and so the same bytes.
TEST(SignedFilesTest, SigningHereGivesTheSignedBytes) {
  ScratchDir dir;
  DocumentModel document;
  ASSERT_EQ(LoadDocument(&document, DataFile("unsigned.qds").c_str(), KeepComments),
            LoadStatus::Ok);
  std::u16string signedHere = WidePath(dir / "signed.qds");
  ASSERT_EQ(SaveDocument(&document, signedHere.c_str(), KeepComments | Digest), SaveStatus::Ok);
  for (const char* name : kSignedFiles) {
    EXPECT_EQ(ReadBytes(dir / "signed.qds"), ReadBytes(SourceFile("tests/data") / name)) << name;
  }
}

}  // namespace
}  // namespace qds::test
