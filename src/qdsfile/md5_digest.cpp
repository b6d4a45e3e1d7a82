// MD5 through OpenSSL's EVP interface, from libcrypto opened at the first
// digest: most runs never compute one, and loading libcrypto at every start
// would cost each of them several milliseconds. The library stays a shared
// one, opened by the name its loader records (KNITFOLD_CRYPTO_LIBRARY, taken
// from the build's libcrypto), so that updates of the system's copy reach
// the program. OpenSSL's headers give the functions' types only.

#include "qdsfile/md5_digest.h"

#include <openssl/evp.h>

#include <cstring>
#include <new>

#include "platform/shared_library.h"

namespace qds {

const char kDigestLibrary[] = KNITFOLD_CRYPTO_LIBRARY;

namespace {

// The functions of libcrypto that the digest calls.
struct Crypto {
  decltype(&EVP_MD_CTX_new) newContext;
  decltype(&EVP_MD_CTX_free) freeContext;
  decltype(&EVP_md5) md5;
  decltype(&EVP_DigestInit_ex) init;
  decltype(&EVP_DigestUpdate) update;
  decltype(&EVP_DigestFinal_ex) finish;
};

template <typename Function>
bool Find(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(platform::FindLibraryFunction(library, name));
  return *function != nullptr;
}

Crypto* LoadCrypto() {
  static Crypto crypto;
  void* library = platform::LoadSharedLibrary(kDigestLibrary);
  bool found = library != nullptr && Find(library, "EVP_MD_CTX_new", &crypto.newContext) &&
               Find(library, "EVP_MD_CTX_free", &crypto.freeContext) &&
               Find(library, "EVP_md5", &crypto.md5) &&
               Find(library, "EVP_DigestInit_ex", &crypto.init) &&
               Find(library, "EVP_DigestUpdate", &crypto.update) &&
               Find(library, "EVP_DigestFinal_ex", &crypto.finish);
  return found ? &crypto : nullptr;
}

// Null when the library or one of its functions cannot be found. Loaded
// once per process, by the first digest of any thread; digests that start
// at the same time on other threads wait for it.
const Crypto* SharedCrypto() {
  static const Crypto* const crypto = LoadCrypto();
  return crypto;
}

}  // namespace

struct Md5Digest::State {
  const Crypto* crypto;
  EVP_MD_CTX* context;
  // An EVP context must not be updated or finalised before a successful
  // initialisation.
  bool running;
};

Md5Digest::Md5Digest() : state_(nullptr) {}

Md5Digest::~Md5Digest() {
  if (state_ == nullptr) return;
  state_->crypto->freeContext(state_->context);
  delete state_;
}

bool Md5Digest::Start() {
  if (state_ == nullptr) {
    const Crypto* crypto = SharedCrypto();
    if (crypto == nullptr) return false;
    EVP_MD_CTX* context = crypto->newContext();
    if (context == nullptr) return false;
    state_ = new (std::nothrow) State{crypto, context, false};
    if (state_ == nullptr) {
      crypto->freeContext(context);
      return false;
    }
  }
  state_->running = state_->crypto->init(state_->context, state_->crypto->md5(), nullptr) == 1;
  return state_->running;
}

void Md5Digest::Update(const void* bytes, size_t size) {
  if (state_ != nullptr && state_->running && size > 0) {
    state_->running = state_->crypto->update(state_->context, bytes, size) == 1;
  }
}

void Md5Digest::Finish(uint8_t out[kMd5Size]) {
  std::memset(out, 0, kMd5Size);
  if (state_ == nullptr || !state_->running) return;
  unsigned int length = 0;
  if (state_->crypto->finish(state_->context, out, &length) != 1) std::memset(out, 0, kMd5Size);
  state_->running = false;
}

}  // namespace qds
