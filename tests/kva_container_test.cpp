// kva encrypt, decrypt and info, run as the user runs them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

std::string Q(const fs::path& path) { return ShellQuote(Utf8(path)); }

}  // namespace

TEST(KvaContainers, RoundTripWithEveryPasswordSource) {
  fs::path dir = ScratchDir();
  std::string plain = RandomBytes(5000, 1);
  WriteFile(dir / "plain", plain);
  // The same password written three ways, UTF-8 on every host: with LF,
  // with a byte-order mark and CRLF (as Windows editors save it), and with
  // no line end at all. Each cipher encrypts with one from a file and
  // decrypts with the next one from standard input.
  const std::string spellings[] = {"Пароль\nsecond line ignored\n",
                                   "\xEF\xBB\xBFПароль\r\nsecond line ignored\r\n", "Пароль"};
  for (int cipher : {1, 2, 3}) {
    std::string box = "box" + std::to_string(cipher);
    WriteFile(dir / "pw", spellings[cipher - 1]);
    KvaRun encrypt = Kva("encrypt " + Q(dir / "plain") + " " + Q(dir / box) + " --cipher " +
                      std::to_string(cipher) + " --password-file " + Q(dir / "pw"));
    ASSERT_EQ(encrypt.status, 0) << encrypt.output;
    EXPECT_EQ(encrypt.output, "") << "quiet when standard error is no terminal";
    KvaRun decrypt = Kva("decrypt " + Q(dir / box) + " " + Q(dir / ("out" + box)) +
                      " --password-stdin", spellings[cipher % 3]);
    ASSERT_EQ(decrypt.status, 0) << decrypt.output;
    EXPECT_EQ(ReadFile(dir / ("out" + box)), plain);
  }
#ifndef _WIN32
  // Outputs get the user's default permissions, not the staging file's 0600.
  struct stat info;
  ASSERT_EQ(stat((dir / "outbox3").c_str(), &info), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask);
#endif
}

TEST(KvaContainers, WrongPasswordAndDamagedInputsLeaveNothingBehind) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "plain", RandomBytes(3000, 2));
  ASSERT_EQ(Kva("encrypt " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-stdin", "right\n").status, 0);

  KvaRun wrong = Kva("decrypt " + Q(dir / "box") + " " + Q(dir / "out") + " --password-stdin", "wrong\n");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.output.find("wrong password"), std::string::npos);
  EXPECT_EQ(wrong.output.find("right"), std::string::npos);

  WriteFile(dir / "notbox", "just some text, not a container");
  KvaRun foreign = Kva("decrypt " + Q(dir / "notbox") + " " + Q(dir / "out") + " --password-stdin", "right\n");
  EXPECT_EQ(foreign.status, 1);
  EXPECT_NE(foreign.output.find("not a KVA container"), std::string::npos) << foreign.output;

  std::string bytes = ReadFile(dir / "box");
  WriteFile(dir / "short", bytes.substr(0, bytes.size() - 100));
  KvaRun truncated = Kva("decrypt " + Q(dir / "short") + " " + Q(dir / "out") + " --password-stdin", "right\n");
  EXPECT_EQ(truncated.status, 1);
  EXPECT_NE(truncated.output.find("truncated"), std::string::npos) << truncated.output;

  bytes.back() ^= 1;
  WriteFile(dir / "corrupt", bytes);
  KvaRun corrupt = Kva("decrypt " + Q(dir / "corrupt") + " " + Q(dir / "out") + " --password-stdin", "right\n");
  EXPECT_EQ(corrupt.status, 1);
  EXPECT_NE(corrupt.output.find("damaged"), std::string::npos) << corrupt.output;

  // None of the failures left an output or a staging file.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(Utf8(entry.path().filename()));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"box", "corrupt", "notbox", "plain", "short"}));
}

TEST(KvaContainers, ExistingOutputsNeedForceAndSurviveAFailure) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "plain", "payload");
  WriteFile(dir / "out", "precious");
  ASSERT_EQ(Kva("encrypt " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-stdin", "pw\n").status, 0);
  KvaRun refused = Kva("decrypt " + Q(dir / "box") + " " + Q(dir / "out") + " --password-stdin", "pw\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("--force"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "out"), "precious");

  KvaRun wrong = Kva("decrypt -f " + Q(dir / "box") + " " + Q(dir / "out") + " --password-stdin", "bad\n");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(ReadFile(dir / "out"), "precious") << "a failed run does not touch the old file";

  ASSERT_EQ(Kva("decrypt --force " + Q(dir / "box") + " " + Q(dir / "out") + " --password-stdin", "pw\n").status, 0);
  EXPECT_EQ(ReadFile(dir / "out"), "payload");
}

TEST(KvaContainers, PasswordsThatCannotBeUsed) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "plain", "payload");
  auto encrypt = [&](const std::string& password) {
    return Kva("encrypt -f " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-stdin", password);
  };
  KvaRun cjk = encrypt("密码\n");
  EXPECT_EQ(cjk.status, 1);
  EXPECT_NE(cjk.output.find("Windows-1251"), std::string::npos);
  EXPECT_EQ(encrypt(std::string(32, 'a') + "\n").status, 1);
  EXPECT_EQ(encrypt(std::string(31, 'a') + "\n").status, 0);
  EXPECT_EQ(encrypt("\n").status, 1);
  EXPECT_EQ(encrypt("\xff\xfe\n").status, 1);
  // (Not named "nul": that is a device on Windows.)
  WriteFile(dir / "with-nul", std::string("abc\0def\n", 8));
  KvaRun nul = Kva("encrypt -f " + Q(dir / "plain") + " " + Q(dir / "box") + " --password-file " + Q(dir / "with-nul"));
  EXPECT_EQ(nul.status, 1) << "not silently cut to \"abc\"";
  EXPECT_NE(nul.output.find("NUL"), std::string::npos);
  // No terminal to ask on: a clear error instead of a hang.
  KvaRun noTerminal = KvaWithoutTerminal("decrypt " + Q(dir / "box") + " " + Q(dir / "out"));
  EXPECT_EQ(noTerminal.status, 1);
  EXPECT_NE(noTerminal.output.find("--password-file"), std::string::npos);
}

TEST(KvaContainers, CarrierAndOffset) {
  fs::path dir = ScratchDir();
  std::string plain = RandomBytes(2000, 3);
  WriteFile(dir / "plain", plain);
  WriteFile(dir / "carrier", RandomBytes(5000, 4));
  KvaRun made = Kva("encrypt " + Q(dir / "plain") + " " + Q(dir / "out") + " --carrier " + Q(dir / "carrier") +
                 " --offset 8192 --password-stdin", "pw\n");
  ASSERT_EQ(made.status, 0) << made.output;
  KvaRun info = Kva("info " + Q(dir / "out") + " --offset 8192");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.output.find("cipher:      3 (AES-128-CBC)"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("ciphertext:  2016 bytes"), std::string::npos) << info.output;
  ASSERT_EQ(Kva("decrypt " + Q(dir / "out") + " " + Q(dir / "back") + " --offset 8192 --password-stdin", "pw\n").status, 0);
  EXPECT_EQ(ReadFile(dir / "back"), plain);

  EXPECT_EQ(Kva("info " + Q(dir / "out")).status, 1) << "no container at offset 0";
  KvaRun below = Kva("encrypt " + Q(dir / "plain") + " " + Q(dir / "x") + " --carrier " + Q(dir / "carrier") +
                  " --offset 100 --password-stdin", "pw\n");
  EXPECT_EQ(below.status, 1);
  EXPECT_NE(below.output.find("below the size of the carrier"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "x"));
}

TEST(KvaContainers, UsageErrors) {
  EXPECT_EQ(Kva("").status, 64);
  EXPECT_EQ(Kva("frobnicate").status, 64);
  EXPECT_EQ(Kva("encrypt onlyone").status, 64);
  EXPECT_EQ(Kva("encrypt a b --cipher 4").status, 64);
  EXPECT_EQ(Kva("encrypt a b --offset 10").status, 64) << "--offset needs --carrier";
  EXPECT_EQ(Kva("decrypt a b --password-stdin --password-file f").status, 64);
  EXPECT_EQ(Kva("--help").status, 0);
}
