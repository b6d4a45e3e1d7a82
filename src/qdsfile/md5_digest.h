// Md5Digest: the standard MD5 message digest (RFC 1321) behind a small
// interface, so that each platform can supply its own implementation.
//
// The state is allocated by the constructor; IsValid tells whether that
// worked. Start, Update and Finish do nothing on an invalid digest, and
// Finish then yields 16 zero bytes.

#ifndef KNITFOLD_QDSFILE_MD5_DIGEST_H_
#define KNITFOLD_QDSFILE_MD5_DIGEST_H_

#include <cstddef>
#include <cstdint>

namespace qds {

inline constexpr size_t kMd5Size = 16;

class Md5Digest {
 public:
  Md5Digest();
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;
  ~Md5Digest();

  bool IsValid() const { return state_ != nullptr; }
  // Begins a new digest, discarding any running one.
  void Start();
  void Update(const void* bytes, size_t size);
  // Completes the digest into `out`; Start must come before the next Update.
  void Finish(uint8_t out[kMd5Size]);

  // MD5 of `size` bytes in one call.
  static void Compute(const void* bytes, size_t size, uint8_t out[kMd5Size]);

 private:
  struct State;
  State* state_;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_MD5_DIGEST_H_
