#include "colliding_names.h"

#include <bit>
#include <cstdint>

namespace bench {
namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz012345";

// The name's first four units: `number` in base 32, one lane a digit.
uint64_t NumberWord(size_t number) {
  uint64_t word = 0;
  for (int lane = 0; lane < 4; ++lane, number /= 32) {
    word |= uint64_t{static_cast<unsigned char>(kDigits[number % 32])} << (16 * lane);
  }
  return word;
}

// The former hash of an eight-unit name took its 64-bit state through
// h = (rotl(h, 26) ^ word) * kMultiplier once per word of four units,
// starting from 8 * kMultiplier, and every bit of its result came from the
// last state. Multiplying by an odd number loses nothing, so the last state
// is fixed by rotl(h, 26) ^ second word alone: for whatever first word, the
// second word that makes that value kTarget makes the whole name collide.
uint64_t CollidingSecondWord(uint64_t first) {
  constexpr uint64_t kTarget = 0x5EED5EED5EED5EEDu;
  uint64_t state = (std::rotl(8 * kMultiplier, 26) ^ first) * kMultiplier;
  return std::rotl(state, 26) ^ kTarget;
}

uint64_t RandomSecondWord(size_t number) {
  uint64_t z = (number + 1) * kMultiplier;  // splitmix64
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// Above ASCII and Latin-1, below the surrogates, and outside the spaces and
// format characters of U+1680, U+2000-206F and U+3000.
bool IsPlainUnit(uint64_t unit) {
  return unit >= 0x100 && unit < 0xD800 && unit != 0x1680 && unit != 0x3000 &&
         (unit < 0x2000 || unit > 0x206F);
}

bool IsPlainWord(uint64_t word) {
  for (int lane = 0; lane < 4; ++lane) {
    if (!IsPlainUnit((word >> (16 * lane)) & 0xFFFF)) return false;
  }
  return true;
}

}  // namespace

std::vector<std::u16string> MakeNames(NameKind kind, size_t skip, size_t count) {
  std::vector<std::u16string> names;
  names.reserve(count);
  size_t made = 0;
  for (size_t number = 0; names.size() < count; ++number) {
    uint64_t first = NumberWord(number);
    uint64_t second = kind == kColliding ? CollidingSecondWord(first) : RandomSecondWord(number);
    if (!IsPlainWord(second) || made++ < skip) continue;
    std::u16string name(8, u'\0');
    for (int lane = 0; lane < 4; ++lane) {
      name[lane] = static_cast<char16_t>(first >> (16 * lane));
      name[4 + lane] = static_cast<char16_t>(second >> (16 * lane));
    }
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace bench
