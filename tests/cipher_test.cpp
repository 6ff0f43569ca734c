// libkvacore checked against the openssl command line: `openssl kdf` for the
// digest and key/IV derivation, `openssl enc` for the ciphers, so a
// ciphertext is only accepted if another implementation agrees with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cctype>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cipher/kvacore.h"
#include "tests/test_support.h"

using namespace test_support;

namespace {

constexpr std::size_t kPiece = 1024;
constexpr char kScryptArgs[] =
    " -kdfopt salt:TessaronKvaSalt1 -kdfopt n:16384 -kdfopt r:8 -kdfopt p:1 SCRYPT";

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
std::int32_t Len(std::size_t size) {
  return static_cast<std::int32_t>(size);
}

// `openssl kdf` prints colon-separated hex.
std::string OpensslKdf(const std::string& args) {
  std::string out;
  EXPECT_EQ(RunCommand("openssl kdf " + args, &out), 0) << args;
  std::string hex;
  for (char c : out) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  }
  return FromHex(hex);
}

std::string OracleScrypt(const std::string& data) {
  return OpensslKdf("-keylen 32 -kdfopt hexpass:" + Hex(data) + kScryptArgs);
}

std::string OracleHkdf(const std::string& key, const std::string& info, int length) {
  return OpensslKdf("-keylen " + std::to_string(length) + " -kdfopt digest:SHA256 -kdfopt hexkey:" +
                    Hex(key) + " -kdfopt info:" + ShellQuote(info) + " HKDF");
}

std::string Digest(const std::string& data) {
  unsigned char digest[32];
  EXPECT_EQ(DLL_GenHASH(Bytes(data), Len(data.size()), digest), 0);
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

// The `openssl enc` equivalent of one identifier under one key digest.
struct Oracle {
  std::string cipher;
  std::string key;
  std::string iv;

  Oracle(std::int32_t id, const std::string& keyDigest) {
    iv = OracleHkdf(keyDigest, "kva iv", 16);
    key = keyDigest;
    cipher = id == 1 ? "aes-128-cfb" : "aes-128-cbc";
    if (id == 2) {
      cipher = "des-ede3-cbc";
      key = OracleHkdf(keyDigest, "kva des-ede3 key", 24);
      iv.resize(8);
    }
  }

  std::string Run(const std::string& input, bool decrypt, bool pad = true) const {
    const auto dir = ScratchDir();
    WriteFile(dir / "in", input);
    const std::string command = "openssl enc -" + cipher + (decrypt ? " -d" : "") +
                                (pad ? "" : " -nopad") + " -K " + Hex(key) + " -iv " + Hex(iv) +
                                " -in " + ShellQuote((dir / "in").string()) + " -out " +
                                ShellQuote((dir / "out").string());
    EXPECT_EQ(RunCommand(command), 0) << command;
    return ReadFile(dir / "out");
  }
};

using CipherFn = decltype(&DLL_Encrypt);

struct Result {
  std::int32_t rc = 0;
  std::string output;
  std::vector<std::int32_t> lengths;  // output length of each call
};

// Feeds `input` the way the container code does: 1024-byte non-final pieces,
// then one final piece with the rest (0..1023 bytes when encrypting, the last
// 1..1024 bytes when decrypting).
Result Feed(CipherFn fn, std::int32_t id, const std::string& key, const std::string& input,
            const std::function<void()>& afterCall = {}) {
  const bool decrypt = fn == &DLL_Decrypt;
  const std::size_t finalAt = decrypt && !input.empty() ? (input.size() - 1) / kPiece * kPiece
                                                        : input.size() / kPiece * kPiece;
  Result result;
  for (std::size_t pos = 0;; pos += kPiece) {
    const bool final = pos == finalAt;
    const std::size_t size = final ? input.size() - pos : kPiece;
    std::vector<unsigned char> out(size + 32);
    std::int32_t outLength = -1;
    result.rc = fn(Bytes(input) + pos, Len(size), out.data(), &outLength, id, Bytes(key), 16,
                   final ? 1 : 0);
    if (afterCall) afterCall();
    if (result.rc != 0) return result;
    result.lengths.push_back(outLength);
    result.output.append(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(outLength));
    if (final) return result;
  }
}

// One non-final 1024-byte piece; the stream stays open.
std::string Piece(CipherFn fn, std::int32_t id, const std::string& key, const std::string& input) {
  unsigned char out[kPiece + 32];
  std::int32_t outLength = -1;
  EXPECT_EQ(fn(Bytes(input), Len(kPiece), out, &outLength, id, Bytes(key), 16, 0), 0);
  EXPECT_EQ(outLength, Len(kPiece));
  return std::string(reinterpret_cast<char*>(out), kPiece);
}

// Any failing call ends the running stream; used so no test leaks one.
void EndStream() {
  unsigned char out[64] = {};
  std::int32_t outLength = 0;
  DLL_Encrypt(out, 16, out + 32, &outLength, 0, out, 16, 0);
}

class Cipher : public ::testing::Test {
 protected:
  void TearDown() override { EndStream(); }
};

}  // namespace

TEST(Digest, MatchesOpensslScrypt) {
  const std::string inputs[] = {"", "secret", std::string("\x00pa\xffss\x80\x00\x7f", 9)};
  for (const std::string& input : inputs) {
    EXPECT_EQ(Hex(Digest(input)), Hex(OracleScrypt(input))) << Hex(input);
  }
  unsigned char digest[32];
  ASSERT_EQ(DLL_GenHASH(nullptr, 0, digest), 0);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 32)), Hex(Digest("")));
}

TEST(Digest, BadArgumentsFailWithZeroedDigest) {
  const std::string data = "secret";
  unsigned char digest[32];
  std::fill(std::begin(digest), std::end(digest), 0xAA);
  EXPECT_NE(DLL_GenHASH(Bytes(data), -1, digest), 0);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 32)), std::string(64, '0'));
  std::fill(std::begin(digest), std::end(digest), 0xAA);
  EXPECT_NE(DLL_GenHASH(nullptr, 6, digest), 0);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 32)), std::string(64, '0'));
  EXPECT_NE(DLL_GenHASH(Bytes(data), 6, nullptr), 0);
}

// The values in cipher/README.md's worked example.
TEST(Digest, ReadmeWorkedExample) {
  const std::string key = Digest("secret").substr(0, 16);
  EXPECT_EQ(Hex(key), "2e9852e9eef59dde11254fdb7e53c88e");
  EXPECT_EQ(Hex(Digest(key).substr(0, 16)), "ffea57bc0691b5bf26055afb86da48ca");

  // The IV and the Triple-DES key are internal; check them through
  // ciphertexts openssl makes with them.
  const std::string plain = RandomBytes(40, 1);
  const auto dir = ScratchDir();
  WriteFile(dir / "in", plain);
  const std::string in = " -in " + ShellQuote((dir / "in").string());
  std::string aes;
  std::string des3;
  ASSERT_EQ(RunCommand("openssl enc -aes-128-cbc -K " + Hex(key) +
                           " -iv 2113f4bc3dd82699de1afa1a984941e2" + in,
                       &aes),
            0);
  ASSERT_EQ(
      RunCommand("openssl enc -des-ede3-cbc -K f87e0027188ff57aad248293144f34c51c10a468fb1f5c5a"
                 " -iv 2113f4bc3dd82699" +
                     in,
                 &des3),
      0);
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 3, key, plain).output), Hex(aes));
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 2, key, plain).output), Hex(des3));
}

class CipherRoundTrip : public ::testing::TestWithParam<std::tuple<std::int32_t, std::size_t>> {};

TEST_P(CipherRoundTrip, AgreesWithOpensslEnc) {
  const auto [id, size] = GetParam();
  const std::string key = RandomBytes(16, 7);
  const std::string plain = RandomBytes(size, static_cast<std::uint32_t>(size));
  const Oracle oracle(id, key);

  const Result enc = Feed(DLL_Encrypt, id, key, plain);
  ASSERT_EQ(enc.rc, 0);
  for (std::size_t i = 0; i + 1 < enc.lengths.size(); ++i) EXPECT_EQ(enc.lengths[i], 1024);
  const std::size_t rest = size % kPiece;
  const std::size_t block = id == 1 ? 1 : id == 2 ? 8 : 16;
  const std::size_t finalLength = id == 1 ? rest : (rest / block + 1) * block;
  EXPECT_EQ(enc.lengths.back(), Len(finalLength));
  EXPECT_TRUE(enc.output == oracle.Run(plain, false)) << "ciphertext differs from openssl enc";
  EXPECT_TRUE(oracle.Run(enc.output, true) == plain) << "openssl enc -d does not give it back";

  const Result dec = Feed(DLL_Decrypt, id, key, enc.output);
  ASSERT_EQ(dec.rc, 0);
  for (std::size_t i = 0; i + 1 < dec.lengths.size(); ++i) EXPECT_EQ(dec.lengths[i], 1024);
  EXPECT_EQ(dec.lengths.back(), Len(size - (dec.lengths.size() - 1) * kPiece));
  EXPECT_TRUE(dec.output == plain) << "decryption does not give the plaintext back";
}

// Sizes around piece and block edges; 1008, 2032 and 2047 give CBC
// ciphertexts that end exactly on a piece boundary.
INSTANTIATE_TEST_SUITE_P(Sizes, CipherRoundTrip,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::Values(0, 1, 15, 16, 17, 1008, 1023, 1024,
                                                              1025, 2032, 2047, 2048, 2500,
                                                              4096 + 7)),
                         [](const auto& p) {
                           return "Id" + std::to_string(std::get<0>(p.param)) + "_" +
                                  std::to_string(std::get<1>(p.param));
                         });

TEST_F(Cipher, DigestCallStartsFreshStream) {
  const std::string key = RandomBytes(16, 11);
  const std::string chunk = RandomBytes(kPiece, 12);
  unsigned char digest[32];
  for (std::int32_t id = 1; id <= 3; ++id) {
    ASSERT_EQ(DLL_GenHASH(nullptr, 0, digest), 0);
    const std::string first = Piece(DLL_Encrypt, id, key, chunk);
    ASSERT_NE(Piece(DLL_Encrypt, id, key, chunk), first) << "second piece should chain";
    ASSERT_EQ(DLL_GenHASH(nullptr, 0, digest), 0);
    EXPECT_EQ(Piece(DLL_Encrypt, id, key, chunk), first) << id;
  }
}

TEST_F(Cipher, KeyIdentifierOrDirectionChangeStartsFreshStream) {
  const std::string keyA = RandomBytes(16, 21);
  const std::string keyB = RandomBytes(16, 22);
  const std::string chunk = RandomBytes(kPiece, 23);
  const std::string freshB3 = Oracle(3, keyB).Run(chunk, false, false);
  const std::string freshA1 = Oracle(1, keyA).Run(chunk, false, false);

  Piece(DLL_Encrypt, 3, keyA, chunk);
  EXPECT_TRUE(Piece(DLL_Encrypt, 3, keyB, chunk) == freshB3) << "key change";
  EXPECT_TRUE(Piece(DLL_Encrypt, 1, keyB, chunk) == Oracle(1, keyB).Run(chunk, false)) << "id";
  EXPECT_TRUE(Piece(DLL_Encrypt, 1, keyA, chunk) == freshA1);
  EXPECT_TRUE(Piece(DLL_Decrypt, 1, keyA, freshA1) == chunk) << "direction change";
  // A completed operation leaves nothing behind either.
  EXPECT_EQ(Feed(DLL_Encrypt, 3, keyB, chunk).output, Feed(DLL_Encrypt, 3, keyB, chunk).output);
}

TEST_F(Cipher, FailureEndsStream) {
  const std::string key = RandomBytes(16, 31);
  const std::string chunk = RandomBytes(kPiece, 32);
  const std::string first = Piece(DLL_Encrypt, 3, key, chunk);
  unsigned char out[kPiece + 32];
  std::int32_t outLength = 0;
  EXPECT_NE(DLL_Encrypt(Bytes(chunk), 1000, out, &outLength, 3, Bytes(key), 16, 0), 0);
  EXPECT_EQ(Piece(DLL_Encrypt, 3, key, chunk), first);
}

TEST_F(Cipher, BadArgumentsFail) {
  const std::string key = RandomBytes(32, 41);
  const std::string in = RandomBytes(kPiece, 42);
  unsigned char out[kPiece + 32];
  std::int32_t n = 0;
  const unsigned char* k = Bytes(key);
  for (std::int32_t id : {0, 4, 9, -1})
    EXPECT_NE(DLL_Encrypt(Bytes(in), 16, out, &n, id, k, 16, 0), 0);
  for (std::int32_t id = 4; id <= 8; ++id)
    EXPECT_NE(DLL_Decrypt(Bytes(in), 16, out, &n, id, k, 16, 0), 0);
  for (std::int32_t keyLength : {0, 15, 17, 24, 32}) {
    EXPECT_NE(DLL_Encrypt(Bytes(in), 16, out, &n, 3, k, keyLength, 0), 0) << keyLength;
    EXPECT_NE(DLL_Decrypt(Bytes(in), 16, out, &n, 3, k, keyLength, 0), 0) << keyLength;
  }
  EXPECT_NE(DLL_Encrypt(Bytes(in), 16, out, &n, 3, nullptr, 16, 0), 0);
  EXPECT_NE(DLL_Encrypt(Bytes(in), -16, out, &n, 3, k, 16, 0), 0);
  EXPECT_NE(DLL_Decrypt(Bytes(in), -16, out, &n, 3, k, 16, 1), 0);
  EXPECT_NE(DLL_Encrypt(Bytes(in), 16, out, nullptr, 3, k, 16, 0), 0);

  // CBC pieces: non-final ones whole blocks, final ciphertext whole blocks and non-empty.
  for (std::int32_t id : {2, 3}) {
    EXPECT_NE(DLL_Encrypt(Bytes(in), 1000 + 4, out, &n, id, k, 16, 0), 0) << id;
    EXPECT_NE(DLL_Decrypt(Bytes(in), 1000 + 4, out, &n, id, k, 16, 0), 0) << id;
    EXPECT_NE(DLL_Decrypt(Bytes(in), 1023, out, &n, id, k, 16, 1), 0) << id;
    EXPECT_NE(DLL_Decrypt(Bytes(in), 0, out, &n, id, k, 16, 1), 0) << id;
  }
  EXPECT_NE(DLL_Decrypt(Bytes(in), 12, out, &n, 2, k, 16, 1), 0);
  EXPECT_NE(DLL_Decrypt(Bytes(in), 1000, out, &n, 3, k, 16, 0), 0);
  // CFB takes any piece length.
  EXPECT_EQ(DLL_Encrypt(Bytes(in), 1000, out, &n, 1, k, 16, 0), 0);
  EXPECT_EQ(n, 1000);
}

TEST_F(Cipher, WrongPaddingOnFinalDecryptFails) {
  const std::string key = RandomBytes(16, 51);
  const std::string plain = RandomBytes(1500, 52);
  for (std::int32_t id : {2, 3}) {
    const std::string cipherText = Feed(DLL_Encrypt, id, key, plain).output;
    // Flipping the previous block's last byte flips the padding byte.
    std::string corrupt = cipherText;
    corrupt[corrupt.size() - (id == 2 ? 8 : 16) - 1] ^= static_cast<char>(0xFF);
    EXPECT_NE(Feed(DLL_Decrypt, id, key, corrupt).rc, 0) << id;
    EXPECT_NE(Feed(DLL_Decrypt, id, RandomBytes(16, 53), cipherText).rc, 0) << id;
    EXPECT_TRUE(Feed(DLL_Decrypt, id, key, cipherText).output == plain) << id;
  }
}

TEST_F(Cipher, ThreadsKeepSeparateStreams) {
  struct Job {
    std::int32_t id;
    std::string key, plain, expected, got;
    std::int32_t rc = -1;
  };
  std::vector<Job> jobs;
  for (std::int32_t id : {3, 2}) {
    Job job{id, RandomBytes(16, 60u + static_cast<std::uint32_t>(id)),
            RandomBytes(8 * kPiece + 5, 70u + static_cast<std::uint32_t>(id)), "", ""};
    job.expected = Oracle(id, job.key).Run(job.plain, false);
    jobs.push_back(job);
  }
  // Both threads take one call per step, so their streams interleave.
  std::barrier step(static_cast<std::ptrdiff_t>(jobs.size()));
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    threads.emplace_back([&job, &step] {
      const Result result =
          Feed(DLL_Encrypt, job.id, job.key, job.plain, [&step] { step.arrive_and_wait(); });
      step.arrive_and_drop();  // lets the other thread finish if this one stopped early
      job.rc = result.rc;
      job.got = result.output;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Job& job : jobs) {
    EXPECT_EQ(job.rc, 0) << job.id;
    EXPECT_TRUE(job.got == job.expected) << job.id;
  }
}
