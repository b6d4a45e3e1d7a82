// Md5Digest: the standard MD5 message digest (RFC 1321) behind a small
// interface, so that each platform can supply its own implementation.
//
// The digest comes from a system library (kDigestLibrary). On POSIX that
// library is loaded at the first Start of any digest in the process, not
// when the program starts, so that runs that never compute a digest do not
// pay for loading it. Start fails when the library cannot be loaded or
// lacks what the digest needs; Update then does nothing and Finish yields
// 16 zero bytes. Digests may be used on several threads at once, one
// digest per thread.

#ifndef KNITFOLD_QDSFILE_MD5_DIGEST_H_
#define KNITFOLD_QDSFILE_MD5_DIGEST_H_

#include <cstddef>
#include <cstdint>

namespace qds {

inline constexpr size_t kMd5Size = 16;

// The file name of the library that computes the digest, as a message about
// a digest that cannot be computed names it ("libcrypto.so.3", "bcrypt.dll").
extern const char kDigestLibrary[];

class Md5Digest {
 public:
  Md5Digest();
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;
  ~Md5Digest();

  // Begins a new digest, discarding any running one. False when the digest
  // cannot be computed.
  [[nodiscard]] bool Start();
  void Update(const void* bytes, size_t size);
  // Completes the digest into `out`; Start must come before the next Update.
  void Finish(uint8_t out[kMd5Size]);

  // Whether a digest can be computed at all, asked before work that would
  // be wasted without one.
  static bool Available() {
    Md5Digest probe;
    return probe.Start();
  }

 private:
  struct State;
  State* state_;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_MD5_DIGEST_H_
