// Container decryption on arbitrary bytes, with the seeds' password so that
// mutated seeds reach the chunk loop: a header that passes promises 28 + L
// bytes; Begin accepts exactly the right verifier; nothing is read past 28 +
// L, and a success reads all of it, in order, in whole chunks but the last,
// giving what the cipher promises (CFB: L bytes; CBC: L less 1 to one block);
// DecryptingReader, read in uneven pieces and drained part way, agrees, and a
// failure stays one. The digest (scrypt) is always of the same two strings:
// linked with -Wl,--wrap=DLL_GenHASH, this keeps the real library's results.
#include <array>
#include <map>
#include <vector>

#include "cipher/kvacore.h"
#include "fuzz/fuzz_support.h"
#include "platform/code_page.h"
#include "securefile/container_key.h"
#include "securefile/container_reader.h"
#include "securefile/securefile.h"

using namespace securefile;

extern "C" std::int32_t __real_DLL_GenHASH(const unsigned char*, std::int32_t, unsigned char*);

// Every call enters the real one with a null digest, which ends any stream
// left on this thread (its one side effect) and returns at once.
extern "C" std::int32_t __wrap_DLL_GenHASH(const unsigned char* data, std::int32_t length, unsigned char* digest) {
  static std::map<std::vector<unsigned char>, std::array<unsigned char, kDigestSize>> cache;
  __real_DLL_GenHASH(nullptr, 0, nullptr);
  if (digest == nullptr || length < 0 || (data == nullptr && length > 0)) return __real_DLL_GenHASH(data, length, digest);
  const std::vector<unsigned char> key(data, data + length);
  auto found = cache.find(key);
  if (found == cache.end()) {
    std::array<unsigned char, kDigestSize> made{};
    if (std::int32_t result = __real_DLL_GenHASH(data, length, made.data()); result != 0) return result;
    found = cache.emplace(key, made).first;
  }
  std::memcpy(digest, found->second.data(), kDigestSize);
  return 0;
}

namespace {

struct Password {
  unsigned char bytes[platform::kPasswordBytes] = {}, verifier[kVerifierSize] = {};
  std::size_t length = 0;
};

const Password& Fixed() {
  static const Password password = [] {
    Password made;
    const std::u16string text = u"fuzz-пароль";
    unsigned char key[kKeySize];
    CHECK(platform::PasswordToCodePage(text.data(), text.size(), made.bytes, &made.length) ==
          platform::PasswordConversion::kOk);
    CHECK(DeriveContainerKey(made.bytes, static_cast<std::int32_t>(made.length), key, made.verifier));
    return made;
  }();
  return password;
}

// The header read again and Begin, on a fresh stream over the input.
struct Stream {
  MemoryReader reader;
  ContainerDecryptor decryptor;
  std::int32_t begun;
  Stream(const std::uint8_t* data, std::size_t size, const ContainerHeader& header) : reader(data, size) {
    ContainerHeader again;
    CHECK(ReadContainerHeader(reader, size, &again) == HeaderStatus::kOk);
    begun = decryptor.Begin(header, Fixed().bytes, static_cast<std::int32_t>(Fixed().length));
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Fixed();  // the one real scrypt pair, before the clock starts
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryReader reader(data, size);
  ContainerHeader header;
  if (ReadContainerHeader(reader, size, &header) != HeaderStatus::kOk) return 0;
  const std::uint32_t length = header.ciphertextLength;
  const std::uint64_t end = kHeaderSize + std::uint64_t{length};
  CHECK(reader.Position() == kHeaderSize && end <= size && header.cipherIdentifier >= kMinCipher &&
        header.cipherIdentifier <= kMaxCipher);
  const bool right = std::memcmp(header.verifier, Fixed().verifier, kVerifierSize) == 0;

  // The Next loop.
  Stream pieces(data, size, header);
  CHECK(pieces.begun == (right ? kResultOk : kResultWrongPassword) && pieces.decryptor.Finished() == !right);
  if (!right) return 0;
  const std::uint32_t count = length == 0 ? 1 : (length + kChunkSize - 1) / kChunkSize;
  std::vector<unsigned char> plain, out(kCipherOutputSize);
  bool ok = true;
  for (std::uint32_t n = 0; ok && !pieces.decryptor.Finished(); ++n) {
    ContainerDecryptor::Piece piece;
    ok = pieces.decryptor.Next(pieces.reader, out.data(), &piece) == kResultOk;
    CHECK(pieces.reader.Position() <= end);
    if (!ok) break;
    CHECK(piece.index == n && n < count && piece.final == (n + 1 == count) && piece.final == pieces.decryptor.Finished());
    CHECK(piece.length == kChunkSize || (piece.final && piece.length < kChunkSize));
    plain.insert(plain.end(), out.begin(), out.begin() + piece.length);
  }
  ContainerDecryptor::Piece after;
  CHECK(pieces.decryptor.Finished() && pieces.decryptor.Next(pieces.reader, out.data(), &after) == kResultFailed);
  const std::uint32_t unit = CipherUnit(header.cipherIdentifier);
  const std::size_t padding = length - plain.size();
  CHECK(!ok || (pieces.reader.Position() == end &&
                (length == 0 ? plain.empty()
                 : unit == 1 ? padding == 0
                             : unit != 0 && length % unit == 0 && padding >= 1 && padding <= unit)));

  // DecryptingReader, `stop` bytes in pieces sized by the bytes behind the container.
  std::vector<std::uint32_t> steps = {1, 1023, 7, 1024, 1025, 2048, 3};
  for (std::size_t i = end; i + 1 < size && i < end + 32; i += 2) {
    steps[(i - end) / 2 % 7] = 1 + (data[i] | data[i + 1] << 8) % 2048;
  }
  for (std::size_t stop : {SIZE_MAX, plain.size() / 2, std::size_t{0}}) {
    Stream stream(data, size, header);
    DecryptingReader plainReader(stream.decryptor, stream.reader);
    std::vector<unsigned char> got, buffer;
    bool failed = false;
    for (std::size_t i = 0; got.size() < stop; ++i) {
      std::uint32_t n = 0, step = steps[i % steps.size()];
      buffer.assign(step, 0);
      if ((failed = !plainReader.Read(buffer.data(), step, &n))) break;
      got.insert(got.end(), buffer.begin(), buffer.begin() + n);
      if (n < step) break;  // the end of the plaintext
    }
    std::uint64_t discarded = 0;
    CHECK(plainReader.Failed() == failed && plainReader.Drain(&discarded) == ok && plainReader.Failed() == !ok);
    CHECK(std::equal(got.begin(), got.begin() + std::min(got.size(), plain.size()), plain.begin()));
    CHECK(!ok || (!failed && got.size() + discarded == plain.size()));
    std::uint32_t n = 1;
    unsigned char one = 0;
    CHECK(plainReader.Read(&one, 1, &n) == ok && n == 0);  // the end, or the failure again
  }
  return 0;
}
