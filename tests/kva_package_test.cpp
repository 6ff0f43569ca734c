// kva pack, unpack, list, measure, seal and open, run as the user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

  // A package inside the tree: measure, told where it goes, counts what
  // pack writes, and packing over it leaves the old one out as well.
  ASSERT_EQ(Kva("pack " + Q(dir / "d") + " " + Q(dir / "d" / "p.pkg")).status, 0);
  KvaRun measured = Kva("measure " + Q(dir / "d") + " --package " + Q(dir / "d" / "p.pkg"));
  ASSERT_EQ(Kva("pack " + Q(dir / "d") + " " + Q(dir / "d" / "p.pkg") + " --force").status, 0);
  std::uint64_t content = 1 + fs::file_size(dir / "d" / "c.kva");
  EXPECT_NE(measured.output.find("entries:       3\ncontent bytes: " + std::to_string(content)),
            std::string::npos)
      << measured.output;
  EXPECT_NE(Kva("list " + Q(dir / "d" / "p.pkg")).output.find(
                "entries: 3, content bytes: " + std::to_string(content)),
            std::string::npos);
  // An output over the very file being packed would replace it: refused.
  for (std::string command : {"pack", "seal"}) {
    std::string password = command == "seal" ? " --password-stdin" : "";
    KvaRun over = Kva(command + " " + Q(dir / "d" / "a") + " " + Q(dir / "d" / "a") + " --force" +
                          password,
                      "pw\n");
    EXPECT_EQ(over.status, 1) << over.output;
    EXPECT_EQ(ReadFile(dir / "d" / "a"), "a");
  }
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

#ifndef _WIN32  // symbolic links, a socket and POSIX signals
// Files that cannot be read and links that are not followed (to a folder,
// here an ancestor, or to nothing) are asked about; a link to a file is
// packed as its content.
TEST(KvaPackages, UnreadableFilesAndLinksCancelUnlessSkipped) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "tree" / "good", "good");
  WriteFile(dir / "outside", "outside");
  fs::create_symlink(dir / "outside", dir / "tree" / "file link");
  fs::create_directory_symlink("..", dir / "tree" / "loop");
  fs::create_symlink(dir / "nowhere", dir / "tree" / "dangling");
  int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // Control characters in the name: the message about it still takes one line.
  std::string socketPath = (dir / "tree" / "so\x1b" "ck\net").string();
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(descriptor);

  for (std::string command : {"pack", "seal"}) {
    SCOPED_TRACE(command);
    std::string out = Q(dir / (command + ".out"));
    std::string password = command == "seal" ? " --password-stdin" : "";
    KvaRun cancelled = Kva(command + " " + Q(dir / "tree") + " " + out + password, "pw\n");
    EXPECT_EQ(cancelled.status, 1);
    // Cancelled at the first of the three the listing returns, named as
    // the user writes it on this host, on one line with its reason.
    std::size_t problem = cancelled.output.find("Cannot read the file '" + (dir / "tree").string());
    ASSERT_NE(problem, std::string::npos) << cancelled.output;
    std::string line = cancelled.output.substr(problem, cancelled.output.find('\n', problem) - problem);
    bool named = false;
    for (const char* name : {"/so\\x1bck\\net': ", "/loop': ", "/dangling': "}) {
      named |= line.find(name) != std::string::npos;
    }
    EXPECT_TRUE(named) << "path and reason on one line: " << line;
    EXPECT_NE(cancelled.output.find("--skip-unreadable"), std::string::npos) << cancelled.output;
    EXPECT_FALSE(fs::exists(dir / (command + ".out")));
    KvaRun skipped = Kva(command + " " + Q(dir / "tree") + " " + out + " --skip-unreadable" + password, "pw\n");
    EXPECT_EQ(skipped.status, 0) << skipped.output;
    std::size_t notes = 0;
    for (std::size_t at = 0; (at = skipped.output.find("skipped (", at)) != std::string::npos; ++at) {
      ++notes;
    }
    EXPECT_EQ(notes, 3u) << "each told once: " << skipped.output;
  }
  KvaRun opened = Kva("open " + Q(dir / "seal.out") + " " + Q(dir / "opened") + " --password-stdin", "pw\n");
  ASSERT_EQ(opened.status, 0) << opened.output;
  ASSERT_EQ(Kva("unpack " + Q(dir / "pack.out") + " " + Q(dir / "unpacked")).status, 0);
  const std::vector<std::string> kept = {"file link = " + Hex("outside"), "good = " + Hex("good")};
  EXPECT_EQ(Listing(dir / "opened" / "tree"), kept);
  EXPECT_EQ(Listing(dir / "unpacked" / "tree"), kept);
}

// Ctrl+C while open is writing a file: the file under its hidden name goes
// with the process, as the staged output of the other commands does.
TEST(KvaPackages, InterruptedOpenLeavesNoHiddenFile) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "tree" / "big.bin", std::string(64 << 20, '\0'));
  WriteFile(dir / "password", "pw\n");
  ASSERT_EQ(Kva("seal " + Q(dir / "tree") + " " + Q(dir / "c.kva") + " --password-file " +
                Q(dir / "password")).status,
            0);
  fs::remove_all(dir / "tree");

  std::string kva = ToolPath("kva").string();
  std::string container = (dir / "c.kva").string();
  std::string destination = (dir / "out").string();
  std::string passwordFile = (dir / "password").string();
  std::vector<char*> argv = {kva.data(), const_cast<char*>("open"), container.data(),
                             destination.data(), const_cast<char*>("--password-file"),
                             passwordFile.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, kva.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  // Stopped as soon as the file appears under its hidden name, so that the
  // interruption surely comes while it is being written.
  auto hidden = [&] {
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir / "out", error), end; !error && it != end;
         it.increment(error)) {
      if (it->path().filename().string().rfind(".kva-", 0) == 0) return true;
    }
    return false;
  };
  bool seen = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!seen && std::chrono::steady_clock::now() < deadline) {
    seen = hidden();
    if (seen) ::kill(pid, SIGSTOP);
  }
  bool inProgress = seen && hidden();
  ::kill(pid, seen ? SIGINT : SIGKILL);
  ::kill(pid, SIGCONT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(seen) << "open never began writing the file";
  ASSERT_TRUE(inProgress) << "the file was complete before the interruption";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_FALSE(hidden()) << "the file in progress was left behind";
  EXPECT_FALSE(fs::exists(dir / "out" / "tree" / "big.bin"));
}
#endif  // _WIN32
