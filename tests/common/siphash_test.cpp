// SipHash against the reference implementation's vectors: key bytes 00..0f,
// input bytes 00, 01, ... of each length, through whole words and every
// length of tail.

#include "common/siphash.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qds {
namespace {

template <class Hash>
uint64_t HashOfBytes(const unsigned char* bytes, size_t size) {
  Hash hash(SipKey{0x0706050403020100u, 0x0F0E0D0C0B0A0908u});
  uint64_t word;
  size_t at = 0;
  for (; at + 8 <= size; at += 8) {
    std::memcpy(&word, bytes + at, 8);
    hash.Add(word);
  }
  uint64_t tail = 0;
  for (size_t i = at; i < size; ++i) tail |= uint64_t{bytes[i]} << (8 * (i - at));
  return hash.Finish(tail, size);
}

TEST(SipHashTest, MatchesTheReferenceVectors) {
  const struct {
    bool oneThree;  // SipHash-1-3, else SipHash-2-4
    size_t size;
    uint64_t expected;
  } cases[] = {
      {true, 0, 0xABAC0158050FC4DCu},   {true, 1, 0xC9F49BF37D57CA93u},
      {true, 7, 0xD3927D989BB11140u},   {true, 8, 0x369095118D299A8Eu},
      {true, 15, 0xD320D86D2A519956u},  {true, 16, 0xCC4FDD1A7D908B66u},
      {false, 0, 0x726FDB47DD0E0E31u},  {false, 7, 0xAB0200F58B01D137u},
      {false, 8, 0x93F5F5799A932462u},  {false, 15, 0xA129CA6149BE45E5u},
      {false, 63, 0x958A324CEB064572u},
  };
  unsigned char input[64];
  for (unsigned i = 0; i < sizeof input; ++i) input[i] = static_cast<unsigned char>(i);
  for (const auto& c : cases) {
    uint64_t got = c.oneThree ? HashOfBytes<SipHash13>(input, c.size)
                              : HashOfBytes<SipHash<2, 4>>(input, c.size);
    EXPECT_EQ(got, c.expected) << (c.oneThree ? "1-3 " : "2-4 ") << c.size;
  }
}

}  // namespace
}  // namespace qds
