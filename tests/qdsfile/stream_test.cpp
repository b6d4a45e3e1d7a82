// Buffering, modes and statuses of BufferedStream and FileStream.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "qdsfile/file_stream.h"
#include "support/test_support.h"

namespace qds {
namespace {

using test::ScratchDir;
using test::WidePath;

// A stream over a string that records every device call, for the rules that
// say when bytes reach the device.
class MemoryStream : public BufferedStream {
 public:
  explicit MemoryStream(uint32_t bufferSize, int mode, std::string input = {})
      : input_(std::move(input)) {
    AllocateBuffer(bufferSize);
    SetOpened(u"memory", mode);
  }

  std::string device;            // bytes written
  std::vector<uint32_t> writes;  // sizes of the WriteRaw calls

 protected:
  StreamStatus ReadRaw(void* buffer, uint32_t count, uint32_t* bytesRead) override {
    *bytesRead = static_cast<uint32_t>(std::min<size_t>(count, input_.size() - taken_));
    if (*bytesRead == 0) return StreamStatus::EndOfData;
    input_.copy(static_cast<char*>(buffer), *bytesRead, taken_);
    taken_ += *bytesRead;
    return StreamStatus::Ok;
  }
  StreamStatus WriteRaw(const void* buffer, uint32_t count) override {
    writes.push_back(count);
    device.append(static_cast<const char*>(buffer), count);
    return StreamStatus::Ok;
  }

 private:
  std::string input_;
  size_t taken_ = 0;
};

TEST(StreamTest, WrongModesAreRefused) {
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

  FileStream reader(64);
  ASSERT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::Ok);
  EXPECT_EQ(reader.Open(path.c_str(), kStreamRead), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Write("x", 1), StreamStatus::WrongMode);
  EXPECT_EQ(reader.Flush(), StreamStatus::WrongMode);
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
#ifndef _WIN32
  // A folder opens for reading on POSIX, and then every read fails.
  FileStream stream(64);
  ASSERT_EQ(stream.Open(WidePath(dir / "sub").c_str(), kStreamRead), StreamStatus::Ok);
  char bytes[4];
  uint32_t got = 99;
  EXPECT_EQ(stream.Read(bytes, 4, &got), StreamStatus::DeviceFailed);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream.GetError(), EISDIR);
#endif
}

TEST(StreamTest, ReadOfNothingIsDoneAndEndOfDataIsThree) {
  MemoryStream stream(64, kStreamRead, "ab");
  char bytes[8];
  uint32_t got = 99;
  EXPECT_EQ(stream.Read(bytes, 0, &got), StreamStatus::Ok);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream.Read(bytes, 8, &got), StreamStatus::Ok);  // a short read is still a read
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(stream.Read(bytes, 8, &got), StreamStatus::EndOfData);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream.Read(bytes, 0, &got), StreamStatus::Ok);
}

TEST(StreamTest, ReadCharTakesLittleEndianUnitsAcrossFillsAndDropsALoneLastByte) {
  const std::string data = "x" + test::Pattern(301);  // odd offset: units straddle every fill
  MemoryStream stream(64, kStreamRead, data);
  char first;
  ASSERT_EQ(stream.Read(&first, 1, nullptr), StreamStatus::Ok);
  std::string back;
  char16_t unit;
  while (stream.ReadChar(&unit) == StreamStatus::Ok) {
    back.push_back(static_cast<char>(unit & 0xFF));
    back.push_back(static_cast<char>(unit >> 8));
  }
  EXPECT_EQ(back, data.substr(1, 300));
  EXPECT_EQ(stream.ReadChar(&unit), StreamStatus::EndOfData);
}

// Nothing reaches the device until the buffer is full and more comes; the
// device then sees whole buffers of one size, and the rest at the flush; a
// flush with nothing pending makes no call. A stream keeps the buffer it
// was made with.
TEST(StreamTest, TheDeviceSeesWholeBuffersThenTheRestAtFlush) {
  const std::string data = test::Pattern(10000);
  for (uint32_t size : {100u, 4096u}) {
    MemoryStream stream(size, kStreamWrite);
    EXPECT_FALSE(stream.AllocateBuffer(size * 2));
    uint32_t written = 0;
    while (stream.writes.empty()) ASSERT_EQ(stream.Write(&data[written++], 1), StreamStatus::Ok);
    const uint32_t buffer = stream.writes[0];
    EXPECT_GE(buffer, size);
    EXPECT_EQ(written, buffer + 1) << size;
    ASSERT_EQ(stream.Write(&data[written], 10000 - written), StreamStatus::Ok);
    EXPECT_EQ(stream.writes, std::vector<uint32_t>(10000 / buffer, buffer)) << size;
    ASSERT_EQ(stream.Flush(), StreamStatus::Ok);
    ASSERT_EQ(stream.Flush(), StreamStatus::Ok);
    EXPECT_EQ(stream.writes.size(), 10000 / buffer + 1) << size;
    EXPECT_EQ(stream.device, data) << size;
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
