// libkvacore: the password digest and the three chunked ciphers of KVA
// containers, built on OpenSSL 3 libcrypto (EVP ciphers, EVP_KDF). The
// construction, with every constant a compatible reader needs, is described
// in cipher/README.md.
#include "cipher/kvacore.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <cstring>
#include <limits>

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFailure = 1;

constexpr std::size_t kKeySize = 16;
constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kDes3KeySize = 24;

// The container format has no salt field, so every digest uses this one.
constexpr char kDigestSalt[] = "TessaronKvaSalt1";
constexpr std::uint64_t kScryptN = 16384;
constexpr std::uint32_t kScryptR = 8;
constexpr std::uint32_t kScryptP = 1;

constexpr char kIvInfo[] = "kva iv";
constexpr char kDes3KeyInfo[] = "kva des-ede3 key";

// Largest piece we accept: the output (piece + one padding block) must still
// fit the int32 output length.
constexpr std::int32_t kMaxPiece = std::numeric_limits<std::int32_t>::max() - 32;

// Fetched once per process: a fetch is a locked provider lookup, far too slow
// to repeat per 1024-byte piece. Deliberately never freed: freeing from a
// static destructor could run after OpenSSL's own atexit cleanup.
struct Algorithms {
  EVP_KDF* scrypt;
  EVP_KDF* hkdf;
  EVP_CIPHER* aesCfb;
  EVP_CIPHER* des3Cbc;
  EVP_CIPHER* aesCbc;
};

const Algorithms& Algs() {
  static const Algorithms algorithms{
      EVP_KDF_fetch(nullptr, "SCRYPT", nullptr),
      EVP_KDF_fetch(nullptr, "HKDF", nullptr),
      EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr),
      EVP_CIPHER_fetch(nullptr, "DES-EDE3-CBC", nullptr),
      EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr),
  };
  return algorithms;
}

const EVP_CIPHER* CipherFor(std::int32_t identifier) {
  switch (identifier) {
    case 1:
      return Algs().aesCfb;
    case 2:
      return Algs().des3Cbc;
    case 3:
      return Algs().aesCbc;
    default:
      return nullptr;
  }
}

// HKDF-SHA256 with no salt (RFC 5869: a hash-length block of zeros).
bool Hkdf(const unsigned char* key, const char* info, unsigned char* out, std::size_t outLength) {
  EVP_KDF_CTX* kctx = EVP_KDF_CTX_new(Algs().hkdf);
  if (kctx == nullptr) return false;
  char digestName[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digestName, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<unsigned char*>(key),
                                        kKeySize),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info),
                                        std::strlen(info)),
      OSSL_PARAM_construct_end(),
  };
  const bool ok = EVP_KDF_derive(kctx, out, outLength, params) == 1;
  EVP_KDF_CTX_free(kctx);  // clears its copy of the key
  return ok;
}

// One cipher stream per thread: an operation's pieces arrive as separate calls
// and callers keep no state, so the chaining state lives here.
class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() {
    End();
    EVP_CIPHER_CTX_free(ctx_);
  }

  // The fast path: a running stream for the same key, cipher and direction.
  bool Continues(std::int32_t identifier, bool encrypt, const unsigned char* key) const {
    return running_ && identifier_ == identifier && encrypt_ == encrypt &&
           std::memcmp(key_, key, kKeySize) == 0;
  }

  bool Start(std::int32_t identifier, bool encrypt, const unsigned char* key) {
    End();
    const EVP_CIPHER* cipher = CipherFor(identifier);
    if (cipher == nullptr) return false;
    if (ctx_ == nullptr && (ctx_ = EVP_CIPHER_CTX_new()) == nullptr) return false;

    unsigned char iv[kIvSize];
    unsigned char des3Key[kDes3KeySize];
    const unsigned char* cipherKey = key;
    bool ok = Hkdf(key, kIvInfo, iv, sizeof iv);
    if (ok && identifier == 2) {
      ok = Hkdf(key, kDes3KeyInfo, des3Key, sizeof des3Key);
      cipherKey = des3Key;
    }
    // DES-EDE3-CBC takes the first 8 IV bytes. Padding stays off until the
    // final piece: with it on, EVP_DecryptUpdate holds back the last block.
    ok = ok && EVP_CipherInit_ex2(ctx_, cipher, cipherKey, iv, encrypt ? 1 : 0, nullptr) == 1 &&
         EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1;
    OPENSSL_cleanse(iv, sizeof iv);
    OPENSSL_cleanse(des3Key, sizeof des3Key);
    if (!ok) return false;

    std::memcpy(key_, key, kKeySize);
    identifier_ = identifier;
    encrypt_ = encrypt;
    blockSize_ = EVP_CIPHER_get_block_size(cipher);
    padding_ = false;
    running_ = true;
    return true;
  }

  // Wipes the key material; the next call starts a fresh stream.
  void End() {
    if (ctx_ != nullptr) EVP_CIPHER_CTX_reset(ctx_);
    OPENSSL_cleanse(key_, sizeof key_);
    running_ = false;
  }

  // Only touches the setting when it changes: each change is a provider call.
  bool SetPadding(bool padding) {
    if (padding == padding_) return true;
    if (EVP_CIPHER_CTX_set_padding(ctx_, padding ? 1 : 0) != 1) return false;
    padding_ = padding;
    return true;
  }

  EVP_CIPHER_CTX* ctx() const { return ctx_; }
  int blockSize() const { return blockSize_; }

 private:
  EVP_CIPHER_CTX* ctx_ = nullptr;
  unsigned char key_[kKeySize] = {};
  std::int32_t identifier_ = 0;
  int blockSize_ = 1;
  bool encrypt_ = false;
  bool padding_ = false;
  bool running_ = false;
};

thread_local Stream tlsStream;

bool ProcessPiece(Stream& stream, bool encrypt, const unsigned char* input,
                  std::int32_t inputLength, unsigned char* output, std::int32_t* outputLength,
                  std::int32_t identifier, const unsigned char* key, std::int32_t keyLength,
                  bool final) {
  if (inputLength < 0 || inputLength > kMaxPiece || (input == nullptr && inputLength > 0) ||
      output == nullptr || key == nullptr || keyLength != static_cast<std::int32_t>(kKeySize) ||
      identifier < 1 || identifier > 3) {
    return false;
  }
  if (!stream.Continues(identifier, encrypt, key) && !stream.Start(identifier, encrypt, key)) {
    return false;
  }

  // CBC: non-final pieces are whole blocks so nothing is buffered between
  // calls; a final ciphertext piece holds at least the padding block.
  const int blockSize = stream.blockSize();
  if (blockSize > 1) {
    const bool wholeBlocks = inputLength % blockSize == 0;
    if (!final && !wholeBlocks) return false;
    if (final && !encrypt && (!wholeBlocks || inputLength == 0)) return false;
  }
  if (!stream.SetPadding(final && blockSize > 1)) return false;

  int written = 0;
  if (inputLength > 0 &&
      EVP_CipherUpdate(stream.ctx(), output, &written, input, inputLength) != 1) {
    return false;
  }
  if (final) {
    int tail = 0;
    // Fails on a final decryption with wrong padding.
    if (EVP_CipherFinal_ex(stream.ctx(), output + written, &tail) != 1) return false;
    written += tail;
    stream.End();
  }
  *outputLength = written;
  return true;
}

std::int32_t Piece(bool encrypt, const unsigned char* input, std::int32_t inputLength,
                   unsigned char* output, std::int32_t* outputLength, std::int32_t identifier,
                   const unsigned char* key, std::int32_t keyLength, std::int32_t finalFlag) {
  if (outputLength != nullptr) *outputLength = 0;
  Stream& stream = tlsStream;
  if (outputLength == nullptr ||
      !ProcessPiece(stream, encrypt, input, inputLength, output, outputLength, identifier, key,
                    keyLength, finalFlag != 0)) {
    stream.End();  // any failure ends the stream
    return kFailure;
  }
  return kOk;
}

}  // namespace

extern "C" {

KVACORE_API std::int32_t DLL_GenHASH(const unsigned char* data, std::int32_t length,
                                     unsigned char* digest) {
  // Every operation digests the password before its first piece, so this is
  // where a leftover stream (an operation abandoned midway) is dropped.
  tlsStream.End();
  if (digest == nullptr) return kFailure;
  std::memset(digest, 0, kDigestSize);
  if (length < 0 || (data == nullptr && length > 0)) return kFailure;

  EVP_KDF_CTX* kctx = EVP_KDF_CTX_new(Algs().scrypt);
  if (kctx == nullptr) return kFailure;
  // scrypt needs a password parameter even when it is empty; give it a valid
  // pointer for the zero-length case.
  static unsigned char empty = 0;
  std::uint64_t n = kScryptN;
  std::uint32_t r = kScryptR;
  std::uint32_t p = kScryptP;
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                        length > 0 ? const_cast<unsigned char*>(data) : &empty,
                                        static_cast<std::size_t>(length)),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(kDigestSalt),
                                        sizeof kDigestSalt - 1),
      OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
      OSSL_PARAM_construct_end(),
  };
  const bool ok = EVP_KDF_derive(kctx, digest, kDigestSize, params) == 1;
  EVP_KDF_CTX_free(kctx);  // clears its copy of the password
  if (!ok) {
    std::memset(digest, 0, kDigestSize);
    return kFailure;
  }
  return kOk;
}

KVACORE_API std::int32_t DLL_Encrypt(const unsigned char* input, std::int32_t inputLength,
                                     unsigned char* output, std::int32_t* outputLength,
                                     std::int32_t cipherIdentifier, const unsigned char* key,
                                     std::int32_t keyLength, std::int32_t finalFlag) {
  return Piece(true, input, inputLength, output, outputLength, cipherIdentifier, key, keyLength,
               finalFlag);
}

KVACORE_API std::int32_t DLL_Decrypt(const unsigned char* input, std::int32_t inputLength,
                                     unsigned char* output, std::int32_t* outputLength,
                                     std::int32_t cipherIdentifier, const unsigned char* key,
                                     std::int32_t keyLength, std::int32_t finalFlag) {
  return Piece(false, input, inputLength, output, outputLength, cipherIdentifier, key, keyLength,
               finalFlag);
}

}  // extern "C"
