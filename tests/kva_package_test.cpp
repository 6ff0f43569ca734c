// kva pack, unpack, list, measure, seal and open, run as the user runs them.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

std::string Q(const fs::path& path) { return ShellQuote(Utf8(path)); }

std::vector<std::string> Listing(const fs::path& root) {
  std::vector<std::string> lines;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::u8string generic = fs::relative(entry.path(), root).generic_u8string();
    std::string line(generic.begin(), generic.end());
    if (!entry.is_directory()) line += " = " + Hex(ReadFile(entry.path())).substr(0, 40);
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

void MakeTree(const fs::path& root) {
  WriteFile(root / u8"Документы" / u8"отчёт.txt", "отчёт");
  WriteFile(root / "images" / u8"写真.bin", RandomBytes(70000, 1));
  WriteFile(root / "images" / "empty", "");
  fs::create_directories(root / "empty folder");
}

}  // namespace

TEST(KvaPackages, PackFromAnyFolderWithRelativePaths) {
  fs::path dir = ScratchDir();
  MakeTree(dir / "work" / "tree");
  fs::create_directories(dir / "elsewhere");
  std::string kva = ToolPath("kva").string();
  // Relative paths are made absolute, so the package's entries unpack.
  ASSERT_EQ(RunCommand("cd " + Q(dir / "work") + " && " + kva + " pack tree ../tree.pkg"), 0);
  ASSERT_EQ(RunCommand("cd " + Q(dir / "elsewhere") + " && " + kva + " unpack ../tree.pkg out"), 0);
  EXPECT_EQ(Listing(dir / "elsewhere" / "out" / "tree"), Listing(dir / "work" / "tree"));

  KvaRun list = Kva("list " + Q(dir / "tree.pkg"));
  ASSERT_EQ(list.status, 0) << list.output;
  std::string shown = Utf8(fs::path("tree") / "images" / u8"写真.bin");  // as this host writes paths
  EXPECT_NE(list.output.find("file          70000     2  " + shown), std::string::npos)
      << list.output;
  EXPECT_NE(list.output.find("entries: 7, content bytes: 70010"), std::string::npos) << list.output;
  KvaRun measure = Kva("measure " + Q(dir / "work" / "tree"));
  EXPECT_NE(measure.output.find("entries:       7\ncontent bytes: 70010"), std::string::npos)
      << measure.output;

  EXPECT_EQ(Kva("pack " + Q(dir / "work" / "tree") + " " + Q(dir / "tree.pkg")).status, 1)
      << "no overwrite without --force";
  ASSERT_EQ(Kva("pack " + Q(dir / "work" / "tree" / "images") + " " + Q(dir / "tree.pkg") + " --append").status, 0);
  EXPECT_NE(Kva("list " + Q(dir / "tree.pkg")).output.find("entries: 10"), std::string::npos);
}

TEST(KvaPackages, SealIsPackThenEncryptAndOpenIsDecryptThenUnpack) {
  fs::path dir = ScratchDir();
  MakeTree(dir / "tree");
  ASSERT_EQ(Kva("seal " + Q(dir / "tree") + " " + Q(dir / "sealed.kva") + " --password-stdin", "пароль\n").status, 0);
  // The key and IV follow from the password, so sealing gives the same
  // bytes as packing and encrypting in two steps.
  ASSERT_EQ(Kva("pack " + Q(dir / "tree") + " " + Q(dir / "tree.pkg")).status, 0);
  ASSERT_EQ(Kva("encrypt " + Q(dir / "tree.pkg") + " " + Q(dir / "two-step.kva") + " --password-stdin", "пароль\n").status, 0);
  EXPECT_EQ(Hex(ReadFile(dir / "sealed.kva")), Hex(ReadFile(dir / "two-step.kva")));

  KvaRun opened = Kva("open " + Q(dir / "sealed.kva") + " " + Q(dir / "new" / "dest") + " --password-stdin", "пароль\n");
  ASSERT_EQ(opened.status, 0) << opened.output;
  EXPECT_NE(opened.output.find("created"), std::string::npos) << "says it made the folder";
  EXPECT_EQ(Listing(dir / "new" / "dest" / "tree"), Listing(dir / "tree"));
  EXPECT_TRUE(fs::exists(dir / "sealed.kva")) << "the original is kept by default";

  ASSERT_EQ(Kva("open " + Q(dir / "sealed.kva") + " " + Q(dir / "again") + " --remove-original --password-stdin", "пароль\n").status, 0);
  EXPECT_FALSE(fs::exists(dir / "sealed.kva"));
  EXPECT_EQ(Listing(dir / "again" / "tree"), Listing(dir / "tree"));
}

TEST(KvaPackages, OutputsInsideTheTreeAndEntriesOverTheContainer) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "d" / "a", "a");
  // The container being written lies inside the tree it seals.
  KvaRun sealed = Kva("seal " + Q(dir / "d") + " " + Q(dir / "d" / "c.kva") + " --password-stdin", "pw\n");
  ASSERT_EQ(sealed.status, 0) << sealed.output;
  ASSERT_EQ(Kva("open " + Q(dir / "d" / "c.kva") + " " + Q(dir / "o") + " --password-stdin", "pw\n").status, 0);
  EXPECT_EQ(Listing(dir / "o"), (std::vector<std::string>{"d", "d/a = 61"}));

  // Opening d/c.kva into the folder above re-creates d/c.kva from the
  // package: --remove-original must not then delete that new file.
  ASSERT_EQ(Kva("seal " + Q(dir / "d") + " " + Q(dir / "x.kva") + " --password-stdin", "pw\n").status, 0);
  fs::rename(dir / "x.kva", dir / "d" / "c.kva");
  KvaRun opened = Kva("open " + Q(dir / "d" / "c.kva") + " " + Q(dir) + " --remove-original --password-stdin", "pw\n");
  EXPECT_EQ(opened.status, 1) << opened.output;
#ifdef _WIN32
  // Windows never renames onto a file that is open, as the container is:
  // the entry cannot be written, and the container stays.
  EXPECT_NE(opened.output.find("cannot create"), std::string::npos) << opened.output;
#else
  EXPECT_NE(opened.output.find("not removed"), std::string::npos) << opened.output;
#endif
  EXPECT_TRUE(fs::exists(dir / "d" / "c.kva"));
  EXPECT_EQ(ReadFile(dir / "d" / "a"), "a");
}

TEST(KvaPackages, OpenRefusesWithoutTouchingAnything) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "tree" / "a", "a");
  ASSERT_EQ(Kva("seal " + Q(dir / "tree") + " " + Q(dir / "c.kva") + " --cipher 2 --password-stdin", "pw\n").status, 0);

  KvaRun wrong = Kva("open " + Q(dir / "c.kva") + " " + Q(dir / "dest") + " --password-stdin", "nope\n");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_FALSE(fs::exists(dir / "dest")) << "no folder made for a wrong password";

  WriteFile(dir / "file", "in the way");
  KvaRun notFolder = Kva("open " + Q(dir / "c.kva") + " " + Q(dir / "file") + " --password-stdin", "pw\n");
  EXPECT_EQ(notFolder.status, 1);
  EXPECT_NE(notFolder.output.find("not a folder"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "file"), "in the way");

  std::string bytes = ReadFile(dir / "c.kva");
  bytes[bytes.size() - 1] ^= 0x40;
  WriteFile(dir / "damaged.kva", bytes);
  KvaRun damaged = Kva("open " + Q(dir / "damaged.kva") + " " + Q(dir / "d2") + " --remove-original --password-stdin", "pw\n");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.output.find("damaged"), std::string::npos) << damaged.output;
  EXPECT_TRUE(fs::exists(dir / "damaged.kva")) << "never removed after a failure";
}

TEST(KvaPackages, UnreadableFilesCancelUnlessSkipped) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "tree" / "good", "good");
  UnreadableFile unreadable(dir / "tree" / "socket");

  for (std::string command : {"pack", "seal"}) {
    SCOPED_TRACE(command);
    std::string out = Q(dir / (command + ".out"));
    std::string password = command == "seal" ? " --password-stdin" : "";
    KvaRun cancelled = Kva(command + " " + Q(dir / "tree") + " " + out + password, "pw\n");
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_NE(cancelled.output.find("Cannot read the file"), std::string::npos) << cancelled.output;
    EXPECT_NE(cancelled.output.find("--skip-unreadable"), std::string::npos) << cancelled.output;
    EXPECT_FALSE(fs::exists(dir / (command + ".out")));
    KvaRun skipped = Kva(command + " " + Q(dir / "tree") + " " + out + " --skip-unreadable" + password, "pw\n");
    EXPECT_EQ(skipped.status, 0) << skipped.output;
  }
  KvaRun opened = Kva("open " + Q(dir / "seal.out") + " " + Q(dir / "opened") + " --password-stdin", "pw\n");
  ASSERT_EQ(opened.status, 0) << opened.output;
  EXPECT_EQ(ReadFile(dir / "opened" / "tree" / "good"), "good");
  EXPECT_FALSE(fs::exists(dir / "opened" / "tree" / "socket"));
}
