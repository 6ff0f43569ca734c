// EncryptContainer and DecryptContainer: round trips with their headers and
// reports, carriers, what encryption refuses, three threads at once (run by
// the ThreadSanitizer build too). Hostile containers: hostile_input_test.cpp.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <tuple>

#include "platform/files.h"
#include "securefile/container_writer.h"
#include "securefile/open_file_operations.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// One report per full 1024-byte chunk, then the end; decrypting, a last
// piece that is a whole chunk is the final piece, not a chunk.
std::vector<Report> ExpectedReports(std::uint32_t length, bool decrypting) {
  const std::uint32_t chunks = length / 1024;
  std::vector<Report> expected;
  for (std::uint32_t i = 0; i < chunks - (decrypting && chunks > 0 && length % 1024 == 0); ++i) {
    expected.push_back({i, chunks, u"Обрабатываемые файлы"});
  }
  expected.push_back({1, 1, u"Полная обработка файлов"});
  return expected;
}

}  // namespace

class ContainerRoundTrip : public ::testing::TestWithParam<std::tuple<int, std::uint32_t>> {};

// The header as cipher/README.md works it through, with the verifier of "secret".
TEST_P(ContainerRoundTrip, HeaderReportsAndPlaintext) {
  const auto [cipher, size] = GetParam();
  const fs::path dir = ScratchDir();
  const std::string plain = RandomBytes(size, size + cipher);
  WriteFile(dir / "plain", plain);
  reports.clear();
  ASSERT_EQ(Encrypt(dir / "plain", dir / "box", cipher, 0, {}, Record), 0);
  EXPECT_EQ(reports, ExpectedReports(size, false));
  const std::uint32_t unit = cipher == 1 ? 1 : cipher == 2 ? 8 : 16;
  const std::uint32_t length = cipher == 1 ? size : (size + unit) / unit * unit;
  EXPECT_EQ(Hex(ReadFile(dir / "box").substr(0, 28)) + " " + std::to_string(fs::file_size(dir / "box")),
            Hex("~KVA" + std::string(1, static_cast<char>(cipher)) + std::string(3, '\0') + Le32(length)) +
                "ffea57bc0691b5bf26055afb86da48ca " + std::to_string(28 + length));
  reports.clear();
  ASSERT_EQ(Decrypt(dir / "box", dir / "back", 0, kPassword, Record), 0);
  EXPECT_EQ(reports, ExpectedReports(length, true));
  EXPECT_TRUE(ReadFile(dir / "back") == plain);
  // The same through the operations on a file held open, each of which
  // wipes the password's bytes once it has the key.
  platform::Folder folder;
  ASSERT_TRUE(folder.Open(DevicePath(dir).c_str()));
  for (const char* name : {"box2", "back2"}) {
    std::string password = kPassword;
    auto* bytes = reinterpret_cast<unsigned char*>(password.data());
    const auto size32 = static_cast<std::int32_t>(password.size());
    const bool encrypting = name[1] == 'o';
    platform::File file;
    ASSERT_TRUE(file.CreateUnnamedIn(folder));
    reports.clear();
    const std::u16string source = DevicePath(dir / (encrypting ? "plain" : "box"));
    ASSERT_EQ(encrypting ? EncryptContainerInto(source.c_str(), file, bytes, size32, cipher, Record, 0, nullptr,
                                                res::ProgramInstance())
                         : DecryptContainerInto(source.c_str(), file, bytes, size32, Record, 0, res::ProgramInstance()),
              0);
    EXPECT_EQ(reports, ExpectedReports(encrypting ? size : length, !encrypting));
    EXPECT_EQ(password, std::string(kPassword.size(), '\0'));
    ASSERT_TRUE(file.Commit(folder, DevicePath(name).c_str(), platform::File::Replacing::kNothing) && file.Close());
    EXPECT_TRUE(ReadFile(dir / name) == ReadFile(dir / (encrypting ? "box" : "back")));
  }
}

// 1020 bytes give L = 1024 for both block ciphers; 1024 does for CFB.
INSTANTIATE_TEST_SUITE_P(Sizes, ContainerRoundTrip,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(0u, 100u, 1020u, 1024u, 2500u)));

// The carrier, zeros up to the offset, then the container made alone; an
// offset below the carrier's size, or no carrier, gives an empty output.
TEST(ContainerOffsets, BehindACarrier) {
  const fs::path dir = ScratchDir();
  const std::string plain = RandomBytes(3000, 1), carrier = RandomBytes(5000, 2);
  WriteFile(dir / "plain", plain);
  WriteFile(dir / "carrier", carrier);
  ASSERT_EQ(Encrypt(dir / "plain", dir / "alone"), 0);
  for (std::uint32_t offset : {8192u, 5000u}) {
    ASSERT_EQ(Encrypt(dir / "plain", dir / "out", 3, offset, dir / "carrier"), 0);
    EXPECT_TRUE(ReadFile(dir / "out") == carrier + std::string(offset - 5000, '\0') + ReadFile(dir / "alone"));
    EXPECT_TRUE(Decrypt(dir / "out", dir / "back", offset) == 0 && ReadFile(dir / "back") == plain);
  }
  EXPECT_EQ(Encrypt(dir / "plain", dir / "below", 3, 4999, dir / "carrier"), -1);
  EXPECT_EQ(Encrypt(dir / "plain", dir / "none", 3, 100, dir / "missing"), -1);
  EXPECT_EQ(ReadFile(dir / "below") + ReadFile(dir / "none"), "");
}

// A missing source (-2, nothing made), an output over its input, an unknown
// cipher (nothing reported); sizes are 32-bit, so a (sparse) source of 4 GiB
// is refused, and a container in a file of 4 GiB + 100 bytes is measured
// against the whole file, not 100 bytes.
TEST(ContainerEncryption, WhatItRefuses) {
  const fs::path dir = ScratchDir();
  const std::string plain = RandomBytes(3000, 3);
  WriteFile(dir / "plain", plain);
  EXPECT_TRUE(Encrypt(dir / "missing", dir / "new") == -2 && !fs::exists(dir / "new"));
  EXPECT_TRUE(Encrypt(dir / "plain", dir / "plain") == -1 && ReadFile(dir / "plain") == plain);
  reports.clear();
  for (int cipher : {0, 4, 259}) EXPECT_EQ(Encrypt(dir / "plain", dir / "box", cipher, 0, {}, Record), -1);
  EXPECT_TRUE(reports.empty());
  ASSERT_EQ(Encrypt(dir / "plain", dir / "box"), 0);
  const std::string box = ReadFile(dir / "box");
  EXPECT_TRUE(Decrypt(dir / "box", dir / "box") == -1 && ReadFile(dir / "box") == box);
  fs::resize_file(dir / "plain", std::uint64_t{1} << 32);
  EXPECT_TRUE(Encrypt(dir / "plain", dir / "huge") == -1 && !fs::exists(dir / "huge"));
  fs::resize_file(dir / "box", (std::uint64_t{1} << 32) + 100);
  EXPECT_TRUE(Decrypt(dir / "box", dir / "back") == 0 && ReadFile(dir / "back") == plain);
  // A streaming encryption ends once, with the size its header announced.
  struct Sink final : securefile::ByteWriter {
    bool Write(const void*, std::uint32_t size) override { return (written += size) > 0; }
    std::uint64_t written = 0;
  } sink;
  const auto* bytes = reinterpret_cast<const unsigned char*>(plain.data());
  for (const std::uint32_t rest : {99u, 101u, 100u}) {
    securefile::ContainerEncryptor encryptor;
    ASSERT_EQ(encryptor.Begin(sink, 3, 100, bytes, 4), 0);
    EXPECT_EQ(encryptor.Finish(sink, bytes, rest), rest == 100 ? 0 : -1) << rest;
    EXPECT_EQ(encryptor.Finish(sink, bytes, 100), -1) << "a second end";
  }
  // The header's 32-bit length holds each cipher's largest plaintext, not a byte more (refused unwritten).
  for (const auto& [cipher, largest] : {std::pair{1, 0xFFFFFFFFull}, {2, 0xFFFFFFF7ull}, {3, 0xFFFFFFEFull}}) {
    securefile::ContainerEncryptor encryptor;
    sink.written = 0;
    EXPECT_TRUE(encryptor.Begin(sink, cipher, largest + 1, bytes, 4) == -1 && sink.written == 0) << cipher;
    EXPECT_EQ(encryptor.Begin(sink, cipher, largest, bytes, 4), 0) << cipher;
  }
}

// Three decryptions at once, with different ciphers and sizes (one password
// wrong), then three encryptions: a key, cipher stream or report shared by
// mistake gives wrong bytes or counts.
TEST(Concurrency, ContainersOnThreeThreadsAtOnce) {
  const fs::path dir = ScratchDir();
  const std::uint32_t sizes[] = {768 * 1024 + 17, 200 * 1024 + 1000, 256 * 1024};
  std::int32_t results[3];
  std::size_t seen[3];
  const auto together = [&](bool decrypt) {
    std::latch start(3);
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
      threads.emplace_back([&, i] {
        const std::string name = (dir / std::to_string(i)).string();
        thread_local std::size_t mine = 0;
        start.arrive_and_wait();
        results[i] = decrypt ? Decrypt(name + ".kva", name + ".out", 0, i < 2 ? kPassword : "wrong",
                                       [](std::uint32_t, std::uint32_t, const char16_t*) { ++mine; })
                             : Encrypt(name, name + ".again", 3 - i);
        seen[i] = mine;
      });
    }
    for (std::thread& thread : threads) thread.join();
  };
  for (int i = 0; i < 3; ++i) {
    WriteFile(dir / std::to_string(i), RandomBytes(sizes[i], i));
    ASSERT_EQ(Encrypt(dir / std::to_string(i), dir / (std::to_string(i) + ".kva"), 3 - i), 0);
  }
  together(true);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(results[i], i < 2 ? 0 : -2) << i;
    EXPECT_TRUE(ReadFile(dir / (std::to_string(i) + ".out")) == (i < 2 ? ReadFile(dir / std::to_string(i)) : ""));
    EXPECT_EQ(seen[i], i < 2 ? sizes[i] / 1024 + 1 : 0) << i;
  }
  together(false);
  for (int i = 0; i < 3; ++i) {
    const std::string name = (dir / std::to_string(i)).string();
    EXPECT_TRUE(results[i] == 0 && ReadFile(name + ".again") == ReadFile(name + ".kva"));
  }
}
