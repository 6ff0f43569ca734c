// libkvacore against the openssl command line (`openssl kdf` for the digest
// and the key and IV derivation, `openssl enc` for the ciphers), so that a
// ciphertext is only accepted if another implementation agrees with it. The
// one place the cipher library's bytes are checked; the container tests
// build on it.
#include <gtest/gtest.h>

#include <cctype>
#include <tuple>

#include "cipher/kvacore.h"
#include "tests/test_support.h"

using namespace test_support;

namespace {

std::string OpensslKdf(const std::string& args) {  // it prints colon-separated hex
  std::string out, hex;
  EXPECT_EQ(RunCommand("openssl kdf " + args, &out), 0) << args;
  for (char c : out) hex += std::isxdigit(static_cast<unsigned char>(c)) ? std::string(1, c) : "";
  return FromHex(hex);
}

std::string Hkdf(const std::string& key, const std::string& info, int length) {
  return OpensslKdf("-keylen " + std::to_string(length) + " -kdfopt digest:SHA256 -kdfopt hexkey:" + Hex(key) +
                    " -kdfopt info:" + ShellQuote(info) + " HKDF");
}

// `openssl enc` doing what identifier `id` does under a key digest.
std::string OpensslEnc(int id, const std::string& key, const std::string& input, bool decrypt) {
  const std::string iv = Hex(Hkdf(key, "kva iv", 16));
  const std::string options =
      id == 2 ? "-des-ede3-cbc -K " + Hex(Hkdf(key, "kva des-ede3 key", 24)) + " -iv " + iv.substr(0, 16)
              : std::string(id == 1 ? "-aes-128-cfb" : "-aes-128-cbc") + " -K " + Hex(key) + " -iv " + iv;
  const auto in = ScratchDir() / "in";
  WriteFile(in, input);
  std::string out;
  EXPECT_EQ(RunCommand("openssl enc " + options + (decrypt ? " -d" : "") + " -in " + Q(in), &out), 0);
  return out;
}

// Feeds `input` as the container code does: 1024-byte pieces, then a final
// piece with the rest (0 to 1023 bytes encrypting, the last 1 to 1024
// decrypting). The output, or "failed" if a call fails.
std::string Feed(decltype(&DLL_Encrypt) fn, int id, const std::string& key, const std::string& input) {
  const std::size_t last = (input.size() - (fn == &DLL_Decrypt && !input.empty() ? 1 : 0)) / 1024 * 1024;
  std::string output;
  for (std::size_t at = 0;; at += 1024) {
    unsigned char out[1024 + 32];
    std::int32_t length = -1;
    const std::int32_t size = static_cast<std::int32_t>(at == last ? input.size() - at : 1024);
    if (fn(Bytes(input) + at, size, out, &length, id, Bytes(key), 16, at == last ? 1 : 0) != 0) return "failed";
    EXPECT_TRUE(at == last || length == 1024);
    output.append(reinterpret_cast<char*>(out), static_cast<std::size_t>(length));
    if (at == last) return output;
  }
}

}  // namespace

TEST(Digest, IsOpensslScrypt) {
  for (const std::string& input : {std::string(), std::string("secret"), std::string("\0p\xff\x80", 4)}) {
    unsigned char digest[32];
    ASSERT_EQ(DLL_GenHASH(Bytes(input), static_cast<std::int32_t>(input.size()), digest), 0);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(digest), 32)),
              Hex(OpensslKdf("-keylen 32 -kdfopt hexpass:" + Hex(input) +
                             " -kdfopt salt:TessaronKvaSalt1 -kdfopt n:16384 -kdfopt r:8 -kdfopt p:1 SCRYPT")));
  }
}

class CipherOracle : public ::testing::TestWithParam<std::tuple<int, std::size_t>> {};

TEST_P(CipherOracle, AgreesWithOpensslEnc) {
  const auto [id, size] = GetParam();
  const std::string key = RandomBytes(16, 7), plain = RandomBytes(size, static_cast<std::uint32_t>(size));
  const std::string cipher = Feed(DLL_Encrypt, id, key, plain);
  EXPECT_EQ(Hex(cipher), Hex(OpensslEnc(id, key, plain, false)));
  EXPECT_TRUE(OpensslEnc(id, key, cipher, true) == plain && Feed(DLL_Decrypt, id, key, cipher) == plain);
}

// Sizes at the piece's edges; 1023 and 2047 give CBC ciphertexts that end
// exactly on a piece boundary.
INSTANTIATE_TEST_SUITE_P(Sizes, CipherOracle,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(0, 1, 1023, 1024, 2047, 2500)));

// An operation left unfinished (abandoned midway, or failed) never carries
// into the next one on the thread, whatever that one differs in: the
// cipher, the direction or the key; nor does a finished one into the next
// with the same key. An unknown cipher is refused.
TEST(CipherStream, EachOperationStartsFresh) {
  const std::string keyA = RandomBytes(16, 1), keyB = RandomBytes(16, 2), plain = RandomBytes(3000, 3);
  const std::string sealed = OpensslEnc(3, keyA, plain, false);
  // A piece of 1000 bytes is no whole number of blocks: CBC refuses it.
  const auto abandon = [&](int id, const std::string& key, std::int32_t size = 1024) {
    unsigned char out[1024];
    std::int32_t length = 0;
    EXPECT_EQ(DLL_Encrypt(Bytes(plain), size, out, &length, id, Bytes(key), 16, 0), size == 1024 ? 0 : 1);
  };
  abandon(1, keyA);
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 3, keyA, plain)), Hex(sealed));  // after another cipher
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 3, keyA, plain)), Hex(sealed));  // after a finished one
  abandon(3, keyA);
  EXPECT_EQ(Feed(DLL_Decrypt, 3, keyA, sealed), plain);  // after the other direction
  abandon(3, keyB);
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 3, keyA, plain)), Hex(sealed));  // after another key
  abandon(3, keyA);
  abandon(3, keyA, 1000);
  EXPECT_EQ(Hex(Feed(DLL_Encrypt, 3, keyA, plain)), Hex(sealed));  // after a failed piece
  for (const int unknown : {0, 4, 259}) EXPECT_EQ(Feed(DLL_Encrypt, unknown, keyA, plain), "failed") << unknown;
}
