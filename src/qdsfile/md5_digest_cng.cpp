// MD5 through Windows CNG (bcrypt). One algorithm provider per digest; each
// Start makes a fresh hash object, which Finish destroys.

#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "qdsfile/md5_digest.h"

namespace qds {

const char kDigestLibrary[] = "bcrypt.dll";

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// CNG counts the bytes of one update in a ULONG.
constexpr size_t kMaxUpdate = 0x7FFFFFFF;

}  // namespace

struct Md5Digest::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;  // present only while a digest runs

  void DropHash() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    hash = nullptr;
  }
};

Md5Digest::Md5Digest() : state_(nullptr) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
    return;
  }
  state_ = new (std::nothrow) State{algorithm};
  if (state_ == nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
}

Md5Digest::~Md5Digest() {
  if (state_ == nullptr) return;
  state_->DropHash();
  BCryptCloseAlgorithmProvider(state_->algorithm, 0);
  delete state_;
}

bool Md5Digest::Start() {
  if (state_ == nullptr) return false;
  state_->DropHash();
  // With no buffer given, CNG keeps the hash object itself.
  if (!Succeeded(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0))) {
    state_->hash = nullptr;
  }
  return state_->hash != nullptr;
}

void Md5Digest::Update(const void* bytes, size_t size) {
  if (state_ == nullptr) return;
  auto* next = static_cast<UCHAR*>(const_cast<void*>(bytes));
  while (state_->hash != nullptr && size > 0) {
    ULONG piece = static_cast<ULONG>(std::min(size, kMaxUpdate));
    if (!Succeeded(BCryptHashData(state_->hash, next, piece, 0))) state_->DropHash();
    next += piece;
    size -= piece;
  }
}

void Md5Digest::Finish(uint8_t out[kMd5Size]) {
  std::memset(out, 0, kMd5Size);
  if (state_ == nullptr || state_->hash == nullptr) return;
  if (!Succeeded(BCryptFinishHash(state_->hash, out, kMd5Size, 0))) std::memset(out, 0, kMd5Size);
  state_->DropHash();
}

}  // namespace qds
