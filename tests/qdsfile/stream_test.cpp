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

using test::ReadBytes;
using test::ScratchDir;
using test::WidePath;
using test::WriteBytes;

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

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST(StreamTest, AStreamWithoutBufferDoesNotOpen) {
  FileStream none(0);  // a buffer of no bytes could never make progress
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.Open(u"/tmp/never-created", kStreamWrite), StreamStatus::NoBuffer);
}

TEST(StreamTest, WrongModesAreRefused) {
  ScratchDir dir;
  WriteBytes(dir / "f", "abcd");
  const std::u16string path = WidePath(dir / "f");
  char16_t unit;
  uint32_t got = 99;
  char bytes[4];

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

TEST(StreamTest, ReadsReturnEveryByteWhateverThePieceSize) {
  ScratchDir dir;
  const std::string data = Pattern(10007);
  WriteBytes(dir / "f", data);
  for (uint32_t piece : {1u, 3u, 64u, 127u, 128u, 129u, 4096u, 20000u}) {
    FileStream stream(128);
    ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamRead), StreamStatus::Ok);
    std::string back;
    std::string chunk(piece, '\0');
    uint32_t got = 0;
    while (stream.Read(chunk.data(), piece, &got) == StreamStatus::Ok) back.append(chunk, 0, got);
    EXPECT_EQ(got, 0u) << piece;
    EXPECT_EQ(back, data) << piece;
  }
}

TEST(StreamTest, ReadOfNothingIsDoneAndEndOfDataIsThree) {
  ScratchDir dir;
  WriteBytes(dir / "f", "ab");
  FileStream stream(64);
  ASSERT_EQ(stream.Open(WidePath(dir / "f").c_str(), kStreamRead), StreamStatus::Ok);
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
  const std::string data = std::string("x").append(Pattern(301));  // odd offset: units straddle every fill
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

#ifdef _WIN32
TEST(StreamTest, DirectoryDoesNotOpen) {
  ScratchDir dir;
  FileStream stream(64);
  EXPECT_EQ(stream.Open(WidePath(dir.path()).c_str(), kStreamRead), StreamStatus::PermissionDenied);
  EXPECT_EQ(stream.GetError(), EACCES);
}
#else
TEST(StreamTest, ReadFromADirectoryIsDeviceFailure) {
  ScratchDir dir;
  FileStream stream(64);
  ASSERT_EQ(stream.Open(WidePath(dir.path()).c_str(), kStreamRead), StreamStatus::Ok);
  char bytes[4];
  uint32_t got = 99;
  EXPECT_EQ(stream.Read(bytes, 4, &got), StreamStatus::DeviceFailed);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(stream.GetError(), EISDIR);
}
#endif

TEST(StreamTest, ExactlyFullBufferWaitsForTheNextWrite) {
  MemoryStream stream(4096, kStreamWrite);
  const std::string data = Pattern(4096);
  ASSERT_EQ(stream.Write(data.data(), 4096), StreamStatus::Ok);
  EXPECT_TRUE(stream.writes.empty());
  ASSERT_EQ(stream.Write("z", 1), StreamStatus::Ok);
  EXPECT_EQ(stream.writes, std::vector<uint32_t>{4096});
  ASSERT_EQ(stream.Flush(), StreamStatus::Ok);
  EXPECT_EQ(stream.writes, (std::vector<uint32_t>{4096, 1}));
  ASSERT_EQ(stream.Flush(), StreamStatus::Ok);  // nothing pending: no device call
  EXPECT_EQ(stream.writes.size(), 2u);
  EXPECT_EQ(stream.device, data + "z");
}

// A buffer holds whole digest blocks: a request of 100 bytes gets 128, and
// a stream keeps the buffer it was made with.
TEST(StreamTest, LargeWritesGoOutInWholeBuffers) {
  MemoryStream stream(100, kStreamWrite);
  EXPECT_FALSE(stream.AllocateBuffer(4096));
  const std::string data = Pattern(1000);
  ASSERT_EQ(stream.Write(data.data(), 1000), StreamStatus::Ok);
  EXPECT_EQ(stream.writes, std::vector<uint32_t>(7, 128));  // 104 bytes stay pending
  ASSERT_EQ(stream.Flush(), StreamStatus::Ok);
  EXPECT_EQ(stream.device, data);
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
  EXPECT_EQ(ReadBytes(dir / "f"), "destroyed");
}

TEST(StreamTest, FullDeviceIsFourAndReachesClose) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full";
#endif
  FileStream stream(64);
  ASSERT_EQ(stream.Open(u"/dev/full", kStreamWrite), StreamStatus::Ok);
  const std::string data = Pattern(65);
  EXPECT_EQ(stream.Write(data.data(), 65), StreamStatus::DeviceFull);
  EXPECT_EQ(stream.GetError(), ENOSPC);
  ASSERT_EQ(stream.Write("x", 1), StreamStatus::Ok);  // pending again
  EXPECT_EQ(stream.Close(), StreamStatus::DeviceFull);
}

}  // namespace
}  // namespace qds
