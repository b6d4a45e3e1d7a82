// MD5 through OpenSSL's EVP interface (libcrypto).

#include "qdsfile/md5_digest.h"

#include <openssl/evp.h>

#include <cstring>
#include <new>

namespace qds {

struct Md5Digest::State {
  EVP_MD_CTX* context;
  // An EVP context must not be updated or finalised before a successful
  // initialisation.
  bool running;
};

Md5Digest::Md5Digest() : state_(nullptr) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return;
  state_ = new (std::nothrow) State{context, false};
  if (state_ == nullptr) EVP_MD_CTX_free(context);
}

Md5Digest::~Md5Digest() {
  if (state_ == nullptr) return;
  EVP_MD_CTX_free(state_->context);
  delete state_;
}

void Md5Digest::Start() {
  if (state_ == nullptr) return;
  state_->running = EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) == 1;
}

void Md5Digest::Update(const void* bytes, size_t size) {
  if (state_ != nullptr && state_->running && size > 0) {
    state_->running = EVP_DigestUpdate(state_->context, bytes, size) == 1;
  }
}

void Md5Digest::Finish(uint8_t out[kMd5Size]) {
  std::memset(out, 0, kMd5Size);
  if (state_ == nullptr || !state_->running) return;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context, out, &length) != 1) std::memset(out, 0, kMd5Size);
  state_->running = false;
}

void Md5Digest::Compute(const void* bytes, size_t size, uint8_t out[kMd5Size]) {
  std::memset(out, 0, kMd5Size);
  unsigned int length = 0;
  if (EVP_Digest(bytes, size, out, &length, EVP_md5(), nullptr) != 1) std::memset(out, 0, kMd5Size);
}

}  // namespace qds
