// Container decryption on arbitrary bytes: header, verifier and ciphertext go
// through the product's own reading code (ReadContainerHeader, then
// ContainerDecryptor::Begin/Next and DecryptingReader::Read/Drain) with the
// fixed password the seed containers were made with (fuzz/make_corpus.sh), so
// mutations of a seed get past the password check into the chunk loop and
// the final-padding check.
//
// The password digest is scrypt, 30-70 ms a call. It is a pure function, and
// every input that gets past the header digests the same two byte strings
// (the password, then its key), so this target links with
// -Wl,--wrap=DLL_GenHASH and remembers the real library's digests (see
// __wrap_DLL_GenHASH below): the product code, the KDF and ContainerDecryptor
// are used exactly as they are; only the repeated scrypt work is skipped.
//
// Checked for every input:
//   - a header that passes promises the whole ciphertext is there (28 + L);
//   - Begin accepts exactly the verifier of the fixed password;
//   - nothing is read past 28 + L; a success has read exactly L bytes;
//   - the plaintext is never longer than the ciphertext; non-final pieces are
//     whole 1024-byte chunks, numbered in order; a success means what the
//     cipher promises (CFB: the same length; CBC: L whole blocks, 1 to one
//     block of padding removed);
//   - after the stream is finished Next refuses to go on;
//   - DecryptingReader, read in uneven pieces (and drained part way), gives
//     the same bytes and the same verdict as the Next loop.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "cipher/kvacore.h"
#include "platform/code_page.h"
#include "securefile/container_key.h"
#include "securefile/container_reader.h"
#include "securefile/securefile.h"

using namespace securefile;

// The password of every seed container (fuzz/make_corpus.sh writes the same
// text to its password file); Cyrillic, so its Windows-1251 bytes are not
// plain ASCII.
#define FUZZ_PASSWORD u"fuzz-пароль"

// ---- The memoized digest -------------------------------------------------

extern "C" std::int32_t __real_DLL_GenHASH(const unsigned char* data, std::int32_t length,
                                           unsigned char* digest);

// Every call still enters the real DLL_GenHASH once, with a null digest: the
// library then ends any cipher stream left running on this thread (its one
// side effect) and returns at once, before scrypt. The digest itself comes
// from the real library the first time a byte string is seen, and from the
// cache afterwards. Only successes are kept; the cache holds at most a few
// entries (the password and its key).
extern "C" std::int32_t __wrap_DLL_GenHASH(const unsigned char* data, std::int32_t length,
                                           unsigned char* digest) {
  struct Entry {
    std::int32_t result;
    std::array<unsigned char, kDigestSize> digest;
  };
  static std::map<std::vector<unsigned char>, Entry> cache;

  __real_DLL_GenHASH(nullptr, 0, nullptr);  // the stream reset, nothing else
  if (digest == nullptr || length < 0 || (data == nullptr && length > 0)) {
    return __real_DLL_GenHASH(data, length, digest);
  }
  std::vector<unsigned char> key(data, data + length);
  auto found = cache.find(key);
  if (found != cache.end()) {
    std::memcpy(digest, found->second.digest.data(), kDigestSize);
    return found->second.result;
  }
  Entry entry{};
  entry.result = __real_DLL_GenHASH(data, length, entry.digest.data());
  std::memcpy(digest, entry.digest.data(), kDigestSize);
  if (entry.result == 0 && cache.size() < 16) cache.emplace(std::move(key), entry);
  return entry.result;
}

// ---- The fuzz target -----------------------------------------------------

namespace {

struct Password {
  unsigned char bytes[platform::kPasswordBytes] = {};
  std::size_t length = 0;
  unsigned char verifier[kVerifierSize] = {};
};

const Password& FixedPassword() {
  static const Password password = [] {
    Password made;
    const char16_t text[] = FUZZ_PASSWORD;
    if (platform::PasswordToCodePage(text, sizeof text / sizeof text[0] - 1, made.bytes,
                                     &made.length) != platform::PasswordConversion::kOk) {
      __builtin_trap();
    }
    unsigned char key[kKeySize];
    if (!DeriveContainerKey(made.bytes, static_cast<std::int32_t>(made.length), key,
                            made.verifier)) {
      __builtin_trap();
    }
    return made;
  }();
  return password;
}

// The input as a stream that counts what was taken from it.
class CountingReader final : public ByteReader {
 public:
  CountingReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    std::size_t take = std::min<std::size_t>(size_ - at_, size);
    if (take > 0) std::memcpy(buffer, data_ + at_, take);
    at_ += take;
    *got = static_cast<std::uint32_t>(take);
    return true;
  }
  std::size_t Position() const { return at_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Outcome {
  bool ok = false;
  std::vector<unsigned char> plain;
};

// DecryptContainer's loop, without the file at the end.
Outcome DecryptByPieces(const std::uint8_t* data, std::size_t size, const ContainerHeader& header) {
  const Password& password = FixedPassword();
  const std::uint64_t end = std::uint64_t{kHeaderSize} + header.ciphertextLength;
  CountingReader reader(data, size);
  ContainerHeader again;
  CHECK(ReadContainerHeader(reader, size, &again) == HeaderStatus::kOk);

  ContainerDecryptor decryptor;
  CHECK(decryptor.Finished());
  std::int32_t begun = decryptor.Begin(header, password.bytes,
                                       static_cast<std::int32_t>(password.length));
  bool right = std::memcmp(header.verifier, password.verifier, kVerifierSize) == 0;
  CHECK(begun == (right ? kResultOk : kResultWrongPassword));
  Outcome outcome;
  if (begun != kResultOk) {
    CHECK(decryptor.Finished());
    return outcome;
  }
  CHECK(!decryptor.Finished());
  CHECK(decryptor.ChunkCount() == header.ciphertextLength / kChunkSize);

  // One piece per started 1024 bytes, and one (empty) piece for L = 0.
  const std::uint32_t expectedPieces =
      header.ciphertextLength == 0 ? 1 : (header.ciphertextLength + kChunkSize - 1) / kChunkSize;
  // Canaries behind the 1056-byte output buffer.
  std::vector<unsigned char> plain(kCipherOutputSize + 64, 0xA5);
  std::int32_t result = kResultOk;
  std::uint32_t pieces = 0;
  while (result == kResultOk && !decryptor.Finished()) {
    ContainerDecryptor::Piece piece;
    result = decryptor.Next(reader, plain.data(), &piece);
    CHECK(reader.Position() <= end);  // never reads into what lies behind
    if (result != kResultOk) break;
    CHECK(piece.index == pieces);
    ++pieces;
    CHECK(pieces <= expectedPieces);
    CHECK(piece.final == (pieces == expectedPieces));
    CHECK(piece.final == decryptor.Finished());
    if (!piece.final) CHECK(piece.length == kChunkSize);
    CHECK(piece.length <= kChunkSize);
    outcome.plain.insert(outcome.plain.end(), plain.begin(), plain.begin() + piece.length);
    CHECK(outcome.plain.size() <= reader.Position() - kHeaderSize);
  }
  for (std::size_t i = kCipherOutputSize; i < plain.size(); ++i) CHECK(plain[i] == 0xA5);
  CHECK(decryptor.Finished());  // a failure finishes the stream as well
  ContainerDecryptor::Piece after;
  CHECK(decryptor.Next(reader, plain.data(), &after) == kResultFailed);

  outcome.ok = result == kResultOk;
  const std::uint32_t length = header.ciphertextLength;
  const std::size_t out = outcome.plain.size();
  CHECK(out <= length);
  if (outcome.ok) {
    CHECK(reader.Position() == end);  // the whole ciphertext, nothing more
    CHECK(pieces == expectedPieces);
    const std::uint32_t unit = CipherUnit(header.cipherIdentifier);
    if (length > 0) {
      CHECK(unit != 0);  // only the three known ciphers decrypt anything
      if (unit == 1) {
        CHECK(out == length);
      } else {
        CHECK(length % unit == 0);
        CHECK(length - out >= 1 && length - out <= unit);
      }
    } else {
      CHECK(out == 0);
    }
  }
  return outcome;
}

// The same container through DecryptingReader, read `stop` bytes in pieces
// of the sizes in `steps` (cycled), then drained.
void DecryptByReading(const std::uint8_t* data, std::size_t size, const ContainerHeader& header,
                      const Outcome& expected, std::size_t stop,
                      const std::vector<std::uint32_t>& steps) {
  const Password& password = FixedPassword();
  CountingReader source(data, size);
  ContainerHeader again;
  CHECK(ReadContainerHeader(source, size, &again) == HeaderStatus::kOk);
  ContainerDecryptor decryptor;
  CHECK(decryptor.Begin(header, password.bytes, static_cast<std::int32_t>(password.length)) ==
        kResultOk);
  DecryptingReader reader(decryptor, source);

  std::vector<unsigned char> got;
  std::vector<unsigned char> buffer;
  bool failed = false;
  for (std::size_t i = 0; got.size() < stop; ++i) {
    std::uint32_t step = steps[i % steps.size()];
    buffer.assign(step, 0);
    std::uint32_t n = 0;
    if (!reader.Read(buffer.data(), step, &n)) {
      failed = true;
      break;
    }
    CHECK(n <= step);
    got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    if (n < step) {  // the end of the plaintext
      CHECK(decryptor.Finished());
      break;
    }
  }
  CHECK(reader.Failed() == failed);
  std::uint64_t discarded = 0;
  bool drained = reader.Drain(&discarded);
  CHECK(source.Position() <= std::uint64_t{kHeaderSize} + header.ciphertextLength);
  CHECK(drained == expected.ok);
  CHECK(reader.Failed() == !expected.ok);
  CHECK(decryptor.Finished());
  // What was read is what the Next loop produced, up to where either stopped.
  std::size_t common = std::min(got.size(), expected.plain.size());
  CHECK(std::equal(got.begin(), got.begin() + common, expected.plain.begin()));
  if (expected.ok) {
    CHECK(!failed);
    CHECK(got.size() + discarded == expected.plain.size());
  }
  // Once finished, reading gives the end of the stream (or the failure again).
  std::uint32_t n = 1;
  unsigned char one = 0;
  bool readAfter = reader.Read(&one, 1, &n);
  CHECK(readAfter == expected.ok);
  CHECK(n == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FixedPassword();  // the one real scrypt pair, before the clock starts
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CountingReader reader(data, size);
  ContainerHeader header;
  HeaderStatus status = ReadContainerHeader(reader, size, &header);
  if (status != HeaderStatus::kOk) return 0;
  CHECK(reader.Position() == kHeaderSize);
  CHECK(std::uint64_t{kHeaderSize} + header.ciphertextLength <= size);
  CHECK(header.cipherIdentifier >= kMinCipher && header.cipherIdentifier <= kMaxCipher);

  Outcome expected = DecryptByPieces(data, size, header);
  if (std::memcmp(header.verifier, FixedPassword().verifier, kVerifierSize) != 0) return 0;

  // Bytes behind the container are ignored by the product; here they choose
  // the read sizes (1 to 2048), so the fuzzer can vary them. Seeds have none.
  std::vector<std::uint32_t> steps;
  for (std::size_t i = kHeaderSize + header.ciphertextLength; i + 1 < size && steps.size() < 16;
       i += 2) {
    steps.push_back(1u + ((std::uint32_t{data[i]} | std::uint32_t{data[i + 1]} << 8) % 2048u));
  }
  if (steps.empty()) steps = {1, 1023, 7, 1024, 1025, 2048, 3};
  DecryptByReading(data, size, header, expected, SIZE_MAX, steps);
  DecryptByReading(data, size, header, expected, expected.plain.size() / 2, steps);
  DecryptByReading(data, size, header, expected, 0, steps);
  return 0;
}
