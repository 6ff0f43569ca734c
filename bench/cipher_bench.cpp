// Cost of the password digest, and throughput of the chunked ciphers. Each
// cipher runs twice over the same 16 MiB buffer in 1024-byte calls: through
// libkvacore (lib:1) and as raw EVP_EncryptUpdate/EVP_DecryptUpdate calls on
// the same cipher (lib:0), so the library's per-call overhead shows as the
// ratio of the two bytes/second figures.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

#include "cipher/kvacore.h"

namespace {

constexpr std::size_t kBufferSize = 16u << 20;
constexpr std::size_t kPiece = 1024;
constexpr unsigned char kKey[24] = {0x2e, 0x98, 0x52, 0xe9, 0xee, 0xf5, 0x9d, 0xde,
                                    0x11, 0x25, 0x4f, 0xdb, 0x7e, 0x53, 0xc8, 0x8e,
                                    0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
constexpr unsigned char kIv[16] = {};

const std::vector<unsigned char>& Plaintext() {
  static const std::vector<unsigned char> plain = [] {
    std::vector<unsigned char> bytes(kBufferSize);
    std::uint32_t x = 12345;
    for (unsigned char& b : bytes) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<unsigned char>(x >> 24);
    }
    return bytes;
  }();
  return plain;
}

// One whole operation through the library, pieced as the container code
// pieces it. Returns the output size.
std::size_t Library(bool encrypt, std::int32_t id, const std::vector<unsigned char>& in,
                    std::vector<unsigned char>& out) {
  const auto fn = encrypt ? &DLL_Encrypt : &DLL_Decrypt;
  // Encryption's final piece is the 0..1023-byte rest; decryption's the last 1..1024 bytes.
  const std::size_t finalAt =
      encrypt ? in.size() / kPiece * kPiece : (in.size() - 1) / kPiece * kPiece;
  std::size_t written = 0;
  for (std::size_t pos = 0;; pos += kPiece) {
    const bool final = pos == finalAt;
    const std::size_t size = final ? in.size() - pos : kPiece;
    std::int32_t outLength = 0;
    if (fn(in.data() + pos, static_cast<std::int32_t>(size), out.data() + written, &outLength, id,
           kKey, 16, final ? 1 : 0) != 0) {
      return 0;
    }
    written += static_cast<std::size_t>(outLength);
    if (final) return written;
  }
}

const EVP_CIPHER* RawCipher(std::int64_t id) {
  static EVP_CIPHER* const ciphers[] = {
      EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr),
      EVP_CIPHER_fetch(nullptr, "DES-EDE3-CBC", nullptr),
      EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr),
  };
  return ciphers[id - 1];
}

// The same cipher as bare EVP calls: one init, 1024-byte updates, no padding.
bool Raw(EVP_CIPHER_CTX* ctx, bool encrypt, std::int64_t id, const std::vector<unsigned char>& in,
         std::vector<unsigned char>& out) {
  if (EVP_CipherInit_ex2(ctx, RawCipher(id), kKey, kIv, encrypt ? 1 : 0, nullptr) != 1)
    return false;
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int n = 0;
  for (std::size_t pos = 0; pos < in.size(); pos += kPiece) {
    const int ok = encrypt ? EVP_EncryptUpdate(ctx, out.data() + pos, &n, in.data() + pos, kPiece)
                           : EVP_DecryptUpdate(ctx, out.data() + pos, &n, in.data() + pos, kPiece);
    if (ok != 1) return false;
  }
  return EVP_CipherFinal_ex(ctx, out.data() + in.size(), &n) == 1;
}

void BM_Digest(benchmark::State& state) {
  const unsigned char password[] = "correct horse battery staple";
  unsigned char digest[32];
  for (auto _ : state) {
    if (DLL_GenHASH(password, sizeof password - 1, digest) != 0)
      state.SkipWithError("digest failed");
    benchmark::DoNotOptimize(digest);
  }
}
BENCHMARK(BM_Digest)->Unit(benchmark::kMillisecond);

void RunCipher(benchmark::State& state, bool encrypt) {
  const auto id = static_cast<std::int32_t>(state.range(0));
  const bool library = state.range(1) != 0;
  std::vector<unsigned char> in = Plaintext();
  std::vector<unsigned char> out(in.size() + 64);
  if (!encrypt) {
    // Decrypt a real ciphertext of the buffer (padded for CBC on the library side).
    std::vector<unsigned char> cipherText(in.size() + 64);
    cipherText.resize(Library(true, id, in, cipherText));
    in = library ? cipherText
                 : std::vector<unsigned char>(cipherText.begin(), cipherText.begin() + kBufferSize);
  }
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    const bool ok = library ? Library(encrypt, id, in, out) != 0 : Raw(ctx, encrypt, id, in, out);
    if (!ok) state.SkipWithError("cipher failed");
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kBufferSize));
}

void BM_Encrypt(benchmark::State& state) {
  RunCipher(state, true);
}
void BM_Decrypt(benchmark::State& state) {
  RunCipher(state, false);
}
// Raw EVP and library runs of one identifier next to each other.
void CipherArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"id", "lib"})->Unit(benchmark::kMillisecond);
  for (std::int64_t id = 1; id <= 3; ++id) {
    b->Args({id, 0})->Args({id, 1});
  }
}
BENCHMARK(BM_Encrypt)->Apply(CipherArgs);
BENCHMARK(BM_Decrypt)->Apply(CipherArgs);

}  // namespace

BENCHMARK_MAIN();
