// libkvacore's primitives on OpenSSL 3 libcrypto: EVP_KDF scrypt, HMAC and
// EVP ciphers (with their padding off: kvacore.cpp pads).
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <cstring>
#include <new>

#include "cipher/primitives.h"

namespace kvacore {
namespace {

// Fetched once per process: a fetch is a locked provider lookup, far too slow
// to repeat per 1024-byte piece. Deliberately never freed: freeing from a
// static destructor could run after OpenSSL's own atexit cleanup.
struct Algorithms {
  EVP_KDF* scrypt;
  EVP_CIPHER* aesCfb;
  EVP_CIPHER* des3Cbc;
  EVP_CIPHER* aesCbc;
};

const Algorithms& Algs() {
  static const Algorithms algorithms{
      EVP_KDF_fetch(nullptr, "SCRYPT", nullptr),
      EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr),
      EVP_CIPHER_fetch(nullptr, "DES-EDE3-CBC", nullptr),
      EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr),
  };
  return algorithms;
}

const EVP_CIPHER* CipherFor(CipherKind kind) {
  switch (kind) {
    case CipherKind::kAes128Cfb:
      return Algs().aesCfb;
    case CipherKind::kDes3Cbc:
      return Algs().des3Cbc;
    case CipherKind::kAes128Cbc:
      return Algs().aesCbc;
  }
  return nullptr;
}

}  // namespace

class CipherState {
 public:
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
};

bool Scrypt(const unsigned char* password, std::size_t passwordLength, const unsigned char* salt,
            std::size_t saltLength, std::uint64_t n, std::uint32_t r, std::uint32_t p,
            unsigned char* out, std::size_t outLength) {
  EVP_KDF_CTX* kctx = EVP_KDF_CTX_new(Algs().scrypt);
  if (kctx == nullptr) return false;
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                        const_cast<unsigned char*>(password), passwordLength),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<unsigned char*>(salt),
                                        saltLength),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
      OSSL_PARAM_construct_end(),
  };
  const bool ok = EVP_KDF_derive(kctx, out, outLength, params) == 1;
  EVP_KDF_CTX_free(kctx);  // clears its copy of the password
  return ok;
}

bool HmacSha256(const unsigned char* key, std::size_t keyLength, const unsigned char* data,
                std::size_t dataLength, const unsigned char* more, std::size_t moreLength,
                unsigned char (&mac)[kSha256Size]) {
  // At most one HKDF block and its info: a small fixed buffer joins them.
  unsigned char joined[2 * kSha256Size];
  if (dataLength + moreLength > sizeof joined) return false;
  if (dataLength > 0) std::memcpy(joined, data, dataLength);
  if (moreLength > 0) std::memcpy(joined + dataLength, more, moreLength);
  unsigned int macLength = 0;
  const bool ok = HMAC(EVP_sha256(), key, static_cast<int>(keyLength), joined,
                       dataLength + moreLength, mac, &macLength) != nullptr &&
                  macLength == kSha256Size;
  OPENSSL_cleanse(joined, sizeof joined);
  return ok;
}

void Cleanse(void* buffer, std::size_t size) { OPENSSL_cleanse(buffer, size); }

CipherState* NewCipherState() {
  auto* state = new (std::nothrow) CipherState;
  if (state != nullptr && state->ctx == nullptr) {
    delete state;
    return nullptr;
  }
  return state;
}

void FreeCipherState(CipherState* state) {
  if (state == nullptr) return;
  EVP_CIPHER_CTX_free(state->ctx);
  delete state;
}

bool StartCipher(CipherState* state, CipherKind kind, bool encrypt, const unsigned char* key,
                 const unsigned char* iv) {
  const EVP_CIPHER* cipher = CipherFor(kind);
  return cipher != nullptr &&
         EVP_CipherInit_ex2(state->ctx, cipher, key, iv, encrypt ? 1 : 0, nullptr) == 1 &&
         EVP_CIPHER_CTX_set_padding(state->ctx, 0) == 1;
}

bool RunCipher(CipherState* state, const unsigned char* input, std::size_t length,
               unsigned char* output) {
  int written = 0;
  return EVP_CipherUpdate(state->ctx, output, &written, input, static_cast<int>(length)) == 1 &&
         static_cast<std::size_t>(written) == length;
}

void ResetCipher(CipherState* state) { EVP_CIPHER_CTX_reset(state->ctx); }

}  // namespace kvacore
