// libkvacore's primitives on libgcrypt: its scrypt KDF, HMAC-SHA256 through
// the MAC interface and cipher handles without padding (kvacore.cpp pads).
#include <gcrypt.h>

#include <cstring>
#include <new>

#include "cipher/primitives.h"

namespace kvacore {
namespace {

// libgcrypt wants to be initialised once before any other call. The library
// keeps no long-lived secrets in its own pool, so secure memory stays off.
bool Ready() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  return ready;
}

struct Algorithm {
  int cipher;
  int mode;
  std::size_t keySize;
  std::size_t ivSize;
};

Algorithm AlgorithmFor(CipherKind kind) {
  switch (kind) {
    case CipherKind::kAes128Cfb:
      return {GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_CFB, 16, 16};
    case CipherKind::kDes3Cbc:
      return {GCRY_CIPHER_3DES, GCRY_CIPHER_MODE_CBC, 24, 8};
    case CipherKind::kAes128Cbc:
      break;
  }
  return {GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_CBC, 16, 16};
}

}  // namespace

class CipherState {
 public:
  gcry_cipher_hd_t handle = nullptr;
  bool encrypt = false;
};

bool Scrypt(const unsigned char* password, std::size_t passwordLength, const unsigned char* salt,
            std::size_t saltLength, std::uint64_t n, std::uint32_t r, std::uint32_t p,
            unsigned char* out, std::size_t outLength) {
  // libgcrypt's scrypt takes N as the sub-algorithm and p as the iteration
  // count; its block size r is fixed at 8.
  if (!Ready() || r != 8 || n > 0x7FFFFFFF) return false;
  return gcry_kdf_derive(password, passwordLength, GCRY_KDF_SCRYPT, static_cast<int>(n), salt,
                         saltLength, p, outLength, out) == 0;
}

bool HmacSha256(const unsigned char* key, std::size_t keyLength, const unsigned char* data,
                std::size_t dataLength, const unsigned char* more, std::size_t moreLength,
                unsigned char (&mac)[kSha256Size]) {
  if (!Ready()) return false;
  gcry_mac_hd_t handle = nullptr;
  if (gcry_mac_open(&handle, GCRY_MAC_HMAC_SHA256, 0, nullptr) != 0) return false;
  std::size_t macLength = sizeof mac;
  const bool ok = gcry_mac_setkey(handle, key, keyLength) == 0 &&
                  (dataLength == 0 || gcry_mac_write(handle, data, dataLength) == 0) &&
                  (moreLength == 0 || gcry_mac_write(handle, more, moreLength) == 0) &&
                  gcry_mac_read(handle, mac, &macLength) == 0 && macLength == sizeof mac;
  gcry_mac_close(handle);  // wipes the key schedule
  return ok;
}

void Cleanse(void* buffer, std::size_t size) {
  // Writes through a volatile pointer are never optimised away.
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(buffer);
  while (size-- > 0) *bytes++ = 0;
}

CipherState* NewCipherState() { return Ready() ? new (std::nothrow) CipherState : nullptr; }

void FreeCipherState(CipherState* state) {
  if (state == nullptr) return;
  ResetCipher(state);
  delete state;
}

bool StartCipher(CipherState* state, CipherKind kind, bool encrypt, const unsigned char* key,
                 const unsigned char* iv) {
  ResetCipher(state);
  state->encrypt = encrypt;
  const Algorithm algorithm = AlgorithmFor(kind);
  if (gcry_cipher_open(&state->handle, algorithm.cipher, algorithm.mode, 0) != 0) {
    state->handle = nullptr;
    return false;
  }
  // The Triple-DES key comes from HKDF: a weak DES part is as unlikely as
  // any other value, and OpenSSL takes it too, so both give the same bytes.
  if (algorithm.cipher == GCRY_CIPHER_3DES) {
    gcry_cipher_ctl(state->handle, GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
  }
  if (gcry_cipher_setkey(state->handle, key, algorithm.keySize) != 0 ||
      gcry_cipher_setiv(state->handle, iv, algorithm.ivSize) != 0) {
    ResetCipher(state);
    return false;
  }
  return true;
}

bool RunCipher(CipherState* state, const unsigned char* input, std::size_t length,
               unsigned char* output) {
  return state->handle != nullptr &&
         (state->encrypt ? gcry_cipher_encrypt(state->handle, output, length, input, length)
                         : gcry_cipher_decrypt(state->handle, output, length, input, length)) ==
             0;
}

void ResetCipher(CipherState* state) {
  if (state->handle != nullptr) gcry_cipher_close(state->handle);  // wipes the key schedule
  state->handle = nullptr;
}

}  // namespace kvacore
