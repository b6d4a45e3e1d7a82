// Buffering, modes and statuses of BufferedStream and FileStream.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "qdsfile/file_stream.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ScratchDir;
using test::WidePath;

TEST(StreamTest, WrongModesAreRefusedAndReadsEndWithEndOfData) {
  ScratchDir dir;
  test::WriteBytes(dir / "f", "abcd");
  const std::u16string path = WidePath(dir / "f");
  char16_t unit;
  uint32_t got = 99;
  char bytes[4];

  FileStream none(0);  // a buffer of no bytes could never make progress
  EXPECT_EQ(none.Open(path.c_str(), kStreamWrite), StreamStatus::NoBuffer);

  FileStream closed(64);
  EXPECT_EQ(closed.Read(bytes, 4, &got), StreamStatus::WrongMode);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(closed.Write("x", 1), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Flush(), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Close(), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Open(path.c_str(), 3), StreamStatus::WrongMode);
  EXPECT_EQ(closed.Open(path.c_str(), 0), StreamStatus::WrongMode);

  FileStream writer(64);
  ASSERT_EQ(writer.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
  EXPECT_EQ(writer.Open(path.c_str(), kStreamWrite), StreamStatus::WrongMode);
  EXPECT_EQ(writer.Read(bytes, 4, nullptr), StreamStatus::WrongMode);
  EXPECT_EQ(writer.ReadChar(&unit), StreamStatus::WrongMode);

  // A short read is still a read; a read of nothing is done even at the end.
  ASSERT_EQ(writer.Close(), StreamStatus::Ok);
  test::WriteBytes(dir / "f", "abcd");
  FileStream reader(64);
  ASSERT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
  EXPECT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Write("x", 1), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Flush(), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Read(bytes, 0, &got), StreamStatus::Ok);
  EXPECT_EQ(got, 0u);
  char all[8];
  EXPECT_EQ(reader.Read(all, 8, &got), StreamStatus::Ok);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(reader.Read(all, 8, &got), StreamStatus::EndOfData);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(reader.Read(bytes, 0, &got), StreamStatus::Ok);
}

TEST(StreamTest, FailedOpensNameTheirCause) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "sub");
  static const struct {
    const char* name;
    int mode;
    StreamStatus status;
    int error;
  } cases[] = {
      {"missing", kStreamRead, StreamStatus::NotFound, ENOENT},
      {"no/such/dir", kStreamWrite, StreamStatus::NotFound, ENOENT},
#ifdef _WIN32
      {"sub", kStreamWrite, StreamStatus::PermissionDenied, EACCES},
      {"sub", kStreamRead, StreamStatus::PermissionDenied, EACCES},  // no folder opens as a file
#else
      {"sub", kStreamWrite, StreamStatus::PermissionDenied, EISDIR},
#endif
  };
  for (const auto& c : cases) {
    FileStream stream(64);
    EXPECT_EQ(stream.Open(WidePath(dir / c.name).c_str(), c.mode), c.status) << c.name;
    EXPECT_EQ(stream.GetError(), c.error) << c.name;
    EXPECT_TRUE(stream.fileName().Empty()) << c.name;
  }
}

TEST(StreamTest, FileGetsPendingBytesAtCloseOrDestruction) {
  ScratchDir dir;
  const std::u16string path = WidePath(dir / "f");
  {
    FileStream stream(64);
    EXPECT_EQ(stream.GetSize(), -1);
    ASSERT_EQ(stream.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
    ASSERT_EQ(stream.Write("closed", 6), StreamStatus::Ok);
    EXPECT_EQ(stream.GetSize(), 0);
    ASSERT_EQ(stream.Close(), StreamStatus::Ok);
    EXPECT_EQ(stream.GetSize(), 6);
  }
  {
    FileStream stream(64);
    ASSERT_EQ(stream.Open(path.c_str(), kStreamWrite), StreamStatus::Ok);
    ASSERT_EQ(stream.Write("destroyed", 9), StreamStatus::Ok);
  }
  EXPECT_EQ(test::ReadBytes(dir / "f"), "destroyed");
}

TEST(StreamTest, FullDeviceIsFourAndReachesClose) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full";
#endif
  FileStream stream(64);
  ASSERT_EQ(stream.Open(u"/dev/full", kStreamWrite), StreamStatus::Ok);
  const std::string data = test::Pattern(65);
  EXPECT_EQ(stream.Write(data.data(), 65), StreamStatus::DeviceFull);
  EXPECT_EQ(stream.GetError(), ENOSPC);
  ASSERT_EQ(stream.Write("x", 1), StreamStatus::Ok);  // pending again
  EXPECT_EQ(stream.Close(), StreamStatus::DeviceFull);
}

}  // namespace
}  // namespace qds
