// libkvacore: the password digest and the three chunked ciphers of KVA
// containers. The construction, with every constant a compatible reader
// needs, is described in cipher/README.md; it is written here once, over
// the primitives of primitives.h that each crypto library supplies.
#include "cipher/kvacore.h"

#include <cstring>
#include <limits>
#include <new>

#include "cipher/primitives.h"
#include "cipher/thread_stream.h"

namespace kvacore {
namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFailure = 1;

constexpr std::size_t kKeySize = 16;
constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kDes3KeySize = 24;
constexpr std::size_t kMaxBlock = 16;

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

struct Cipher {
  CipherKind kind;
  std::size_t blockSize;  // 1: a stream mode, no padding
};

// By identifier - 1; a piece's checks have refused any other identifier.
constexpr Cipher kCiphers[] = {
    {CipherKind::kAes128Cfb, 1}, {CipherKind::kDes3Cbc, 8}, {CipherKind::kAes128Cbc, 16}};

// Key material and plaintext on the stack, cleansed however its scope is
// left.
template <std::size_t N>
struct Secret {
  unsigned char bytes[N];
  ~Secret() { Cleanse(bytes, N); }
};

// HKDF-SHA256 (RFC 5869) with no salt, which stands for a hash-length block
// of zeros: extract PRK = HMAC(zeros, key), then expand T(i) = HMAC(PRK,
// T(i-1) | info | i) for as many blocks as `outLength` needs.
bool Hkdf(const unsigned char* key, const char* info, unsigned char* out, std::size_t outLength) {
  const unsigned char zeros[kSha256Size] = {};
  Secret<kSha256Size> prk;
  Secret<kSha256Size> block;
  // info | counter, hashed behind the previous block.
  unsigned char tail[32];
  const std::size_t infoLength = std::strlen(info);
  bool ok = infoLength + 1 <= sizeof tail && HmacSha256(zeros, sizeof zeros, key, kKeySize,
                                                        nullptr, 0, prk.bytes);
  std::size_t done = 0;
  for (unsigned char counter = 1; ok && done < outLength; ++counter) {
    std::memcpy(tail, info, infoLength);
    tail[infoLength] = counter;
    ok = HmacSha256(prk.bytes, kSha256Size, counter == 1 ? nullptr : block.bytes,
                    counter == 1 ? 0 : kSha256Size, tail, infoLength + 1, block.bytes);
    const std::size_t take = outLength - done < kSha256Size ? outLength - done : kSha256Size;
    if (ok) std::memcpy(out + done, block.bytes, take);
    done += take;
  }
  return ok;
}

}  // namespace

// One cipher stream per thread: an operation's pieces arrive as separate calls
// and callers keep no state, so the chaining state lives here.
class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() {
    End();
    FreeCipherState(state_);
  }

  // The fast path: a running stream for the same key, cipher and direction.
  bool Continues(std::int32_t identifier, bool encrypt, const unsigned char* key) const {
    return running_ && identifier_ == identifier && encrypt_ == encrypt &&
           std::memcmp(key_, key, kKeySize) == 0;
  }

  bool Start(std::int32_t identifier, bool encrypt, const unsigned char* key) {
    End();
    const Cipher& cipher = kCiphers[identifier - 1];
    if (state_ == nullptr && (state_ = NewCipherState()) == nullptr) return false;

    Secret<kIvSize> iv;
    Secret<kDes3KeySize> des3Key;
    const unsigned char* cipherKey = key;
    bool ok = Hkdf(key, kIvInfo, iv.bytes, kIvSize);
    if (ok && identifier == 2) {
      ok = Hkdf(key, kDes3KeyInfo, des3Key.bytes, kDes3KeySize);
      cipherKey = des3Key.bytes;
    }
    // Triple DES takes the first 8 IV bytes.
    if (!ok || !StartCipher(state_, cipher.kind, encrypt, cipherKey, iv.bytes)) return false;

    std::memcpy(key_, key, kKeySize);
    identifier_ = identifier;
    encrypt_ = encrypt;
    blockSize_ = cipher.blockSize;
    running_ = true;
    return true;
  }

  // Wipes the key material; the next call starts a fresh stream.
  void End() {
    if (state_ != nullptr) ResetCipher(state_);
    Cleanse(key_, sizeof key_);
    running_ = false;
  }

  CipherState* state() const { return state_; }
  std::size_t blockSize() const { return blockSize_; }

 private:
  CipherState* state_ = nullptr;
  unsigned char key_[kKeySize] = {};
  std::int32_t identifier_ = 0;
  std::size_t blockSize_ = 1;
  bool encrypt_ = false;
  bool running_ = false;
};

Stream* NewStream() { return new (std::nothrow) Stream; }

void DeleteStream(Stream* stream) { delete stream; }

#ifndef _WIN32
thread_local Stream tlsStream;

Stream* ThreadStream(bool) { return &tlsStream; }
#endif

namespace {

// The final piece of a CBC encryption: the whole blocks, then the rest
// padded with PKCS#7 to a whole block (a whole block of padding when there
// is no rest).
bool EncryptFinalBlocks(Stream& stream, const unsigned char* input, std::size_t length,
                        unsigned char* output, std::size_t* written) {
  const std::size_t block = stream.blockSize();
  const std::size_t whole = length / block * block;
  if (whole > 0 && !RunCipher(stream.state(), input, whole, output)) return false;
  Secret<kMaxBlock> last;
  const std::size_t rest = length - whole;
  if (rest > 0) std::memcpy(last.bytes, input + whole, rest);
  std::memset(last.bytes + rest, static_cast<int>(block - rest), block - rest);
  *written = whole + block;
  return RunCipher(stream.state(), last.bytes, block, output + whole);
}

// The final piece of a CBC decryption: whole blocks whose plaintext ends
// in sound PKCS#7 padding, which is dropped.
bool DecryptFinalBlocks(Stream& stream, const unsigned char* input, std::size_t length,
                        unsigned char* output, std::size_t* written) {
  const std::size_t block = stream.blockSize();
  if (!RunCipher(stream.state(), input, length, output)) return false;
  const unsigned char pad = output[length - 1];
  bool sound = pad >= 1 && pad <= block;
  for (std::size_t i = 0; sound && i < pad; ++i) sound = output[length - 1 - i] == pad;
  if (!sound) {
    Cleanse(output + length - block, block);
    return false;
  }
  *written = length - pad;
  return true;
}

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

  // CBC: non-final pieces are whole blocks so nothing is held back between
  // calls; a final ciphertext piece holds at least the padding block.
  const std::size_t length = static_cast<std::size_t>(inputLength);
  const std::size_t block = stream.blockSize();
  std::size_t written = length;
  if (block > 1) {
    const bool wholeBlocks = length % block == 0;
    if (!final && !wholeBlocks) return false;
    if (final && !encrypt && (!wholeBlocks || length == 0)) return false;
  }
  bool ok = true;
  if (final && block > 1) {
    ok = encrypt ? EncryptFinalBlocks(stream, input, length, output, &written)
                 : DecryptFinalBlocks(stream, input, length, output, &written);
  } else if (length > 0) {
    ok = RunCipher(stream.state(), input, length, output);
  }
  if (!ok) return false;
  if (final) stream.End();
  *outputLength = static_cast<std::int32_t>(written);
  return true;
}

std::int32_t Piece(bool encrypt, const unsigned char* input, std::int32_t inputLength,
                   unsigned char* output, std::int32_t* outputLength, std::int32_t identifier,
                   const unsigned char* key, std::int32_t keyLength, std::int32_t finalFlag) {
  if (outputLength != nullptr) *outputLength = 0;
  Stream* stream = ThreadStream(true);
  if (stream == nullptr) return kFailure;
  if (outputLength == nullptr ||
      !ProcessPiece(*stream, encrypt, input, inputLength, output, outputLength, identifier, key,
                    keyLength, finalFlag != 0)) {
    stream->End();  // any failure ends the stream
    return kFailure;
  }
  return kOk;
}

}  // namespace
}  // namespace kvacore

using namespace kvacore;

extern "C" {

KVACORE_API std::int32_t DLL_GenHASH(const unsigned char* data, std::int32_t length,
                                     unsigned char* digest) {
  // Every operation digests the password before its first piece, so this is
  // where a leftover stream (an operation abandoned midway) is dropped.
  if (Stream* stream = ThreadStream(false); stream != nullptr) stream->End();
  if (digest == nullptr) return kFailure;
  std::memset(digest, 0, kDigestSize);
  if (length < 0 || (data == nullptr && length > 0)) return kFailure;
  // scrypt wants a valid pointer even for an empty password, which may come
  // as a null one.
  static const unsigned char empty = 0;
  if (!Scrypt(data != nullptr ? data : &empty, static_cast<std::size_t>(length),
              reinterpret_cast<const unsigned char*>(kDigestSalt), sizeof kDigestSalt - 1,
              kScryptN, kScryptR, kScryptP, digest, kDigestSize)) {
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
