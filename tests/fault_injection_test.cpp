// Write faults (Linux only): each library operation and kva command under a
// file-size limit cut at many points (SIGXFSZ ignored: writes past it fail).
// Below the output's size it must fail, leave no partial output where kva
// promises none, never change a package appended to; at it, write exactly
// the output. kva runs twice more: with SIGXFSZ at its default action, and
// with standard error a pipe nobody reads (its message ends it by SIGPIPE);
// each time it ends with 1 and leaves nothing half done.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>

#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// How kva's writes past the limit and its standard error behave.
enum class Mode { kIgnored, kSignal, kClosedErrors };
Mode mode = Mode::kIgnored;

// `work` in a forked child under the limit: its result as a signed byte
// (-1000 if it did not exit) and the text it wrote.
std::pair<int, std::string> UnderLimit(rlim_t limit, const std::function<int(std::string*)>& work) {
  int channel[2];
  if (pipe(channel) != 0) return {-1000, ""};
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    if (mode != Mode::kSignal) std::signal(SIGXFSZ, SIG_IGN);
    int unread[2];
    if (mode == Mode::kClosedErrors && (pipe(unread) != 0 || close(unread[0]) != 0 || dup2(unread[1], 2) != 2)) _exit(98);
    rlimit lowered{};
    getrlimit(RLIMIT_FSIZE, &lowered);
    lowered.rlim_cur = limit;
    std::string text;
    const int result = setrlimit(RLIMIT_FSIZE, &lowered) == 0 ? work(&text) : 99;
    _exit(write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? result & 0xFF : 97);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
  close(channel[0]);
  int status = 0;
  const bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
  return {exited ? static_cast<signed char>(WEXITSTATUS(status)) : -1000, text};
}

std::function<int(std::string*)> KvaCommand(const std::string& arguments) {
  return [=](std::string* text) {
    return RunCommand(ToolPath("kva").string() + " " + arguments + (mode == Mode::kClosedErrors ? "" : " 2>&1"), text);
  };
}

// One operation writing `out` under the limit; the largest file it writes
// decides (`full`, from which on it succeeds). `boundaries` are where the
// parts of the output meet. A failure leaves `out` as `before` (absent if
// empty), or anything when `partial`; a success leaves `whole` ("tree": a
// folder holding the tree).
struct Operation {
  std::string name;
  std::uint64_t full;
  std::vector<std::uint64_t> boundaries;
  std::function<int(std::string*)> run;
  std::string before, whole;
  bool partial = false;
};

class FaultInjection : public ::testing::TestWithParam<int> {
 protected:
  static constexpr std::uint64_t kLargestFile = 40000;
  void SetUp() override {
    dir_ = ScratchDir();
    // About 100 KB: nested and empty folders, files either side of 1024 bytes.
    WriteFile(dir_ / "tree" / "a.bin", RandomBytes(kLargestFile, 1));
    WriteFile(dir_ / "tree" / "docs" / "1023", RandomBytes(1023, 2));
    WriteFile(dir_ / "tree" / "docs" / "1025", RandomBytes(1025, 4));
    WriteFile(dir_ / "tree" / "docs" / "deep" / "deeper" / "record", RandomBytes(532, 5));
    WriteFile(dir_ / "tree" / "docs" / "deep" / "empty file", "");
    WriteFile(dir_ / "tree" / "media" / "Фото" / "写真.bin", RandomBytes(30000, 7));
    WriteFile(dir_ / "tree" / "z" / "last", RandomBytes(25000, 8));
    fs::create_directories(dir_ / "tree" / "empty folder");
    WriteFile(dir_ / "old" / "kept", RandomBytes(3000, 11));
    WriteFile(dir_ / "carrier", RandomBytes(3000, 9));
    WriteFile(dir_ / "pw", kPassword + "\n");
    ASSERT_EQ(Pack(dir_ / "tree", dir_ / "tree.pkg") + Encrypt(dir_ / "tree.pkg", dir_ / "box") +
              Encrypt(dir_ / "tree.pkg", dir_ / "carried", 3, 4096, dir_ / "carrier") +
              Pack(dir_ / "old", dir_ / "existing.pkg"), 0);
    fs::copy_file(dir_ / "existing.pkg", dir_ / "appended.pkg");
    ASSERT_EQ(Pack(dir_ / "tree", dir_ / "appended.pkg", true), 0);
  }

  std::vector<Operation> Operations() const {
    const std::string package = ReadFile(dir_ / "tree.pkg"), box = ReadFile(dir_ / "box"),
                      existing = ReadFile(dir_ / "existing.pkg"), appended = ReadFile(dir_ / "appended.pkg");
    const auto records = [](const std::string& bytes) {  // where records start and end, and contents end
      std::vector<std::uint64_t> at = {4};
      for (const ParsedRecord& r : ParsePackage(bytes)) at.insert(at.end(), {r.at, r.at + 532, r.at + 532 + r.second});
      return at;
    };
    const fs::path d = dir_, out = dir_ / "out";
    const std::string pw = " --password-file " + Q(d / "pw");
    return {
        {"DecryptContainer", package.size(), {1024, 2048, package.size() / 1024 * 1024},
         [=](std::string*) { return Decrypt(d / "box", out); }, "", package, true},
        {"EncryptContainer", box.size(), {4, 8, 12, 28, 1052, 2076, 28 + (box.size() - 28) / 1024 * 1024},
         [=](std::string*) { return Encrypt(d / "tree.pkg", out); }, "", box, true},
        {"EncryptContainer behind a carrier", box.size() + 4096, {3000, 4096, 4124, 5148},
         [=](std::string*) { return Encrypt(d / "tree.pkg", out, 3, 4096, d / "carrier"); }, "",
         ReadFile(d / "carried"), true},
        {"UnpackPackage", kLargestFile, {1023, 1024, 1025, 25000, 30000},
         [=](std::string*) { return Unpack(d / "tree.pkg", out); }, "", "tree"},
        {"PackPackage", package.size(), records(package), [=](std::string*) { return Pack(d / "tree", out); }, "", package},
        // Cuts inside the old package hit the placeholder header written at
        // its start; later ones the appended entries.
        {"PackPackage append", appended.size(), records(appended), [=](std::string*) { return Pack(d / "tree", out, true); },
         existing, appended},
        {"kva decrypt", package.size(), {}, KvaCommand("decrypt " + Q(d / "box") + " " + Q(out) + pw), "", package},
        // With --force the old file stays as it was until the new one is whole.
        {"kva decrypt --force", package.size(), {}, KvaCommand("decrypt -f " + Q(d / "box") + " " + Q(out) + pw),
         "precious", package},
        {"kva encrypt", box.size(), {}, KvaCommand("encrypt " + Q(d / "tree.pkg") + " " + Q(out) + pw), "", box},
        {"kva seal", box.size(), {}, KvaCommand("seal " + Q(d / "tree") + " " + Q(out) + pw), "", box},
        {"kva open", kLargestFile, {}, KvaCommand("open " + Q(d / "box") + " " + Q(out) + pw), "", "tree"},
        {"kva pack", package.size(), {}, KvaCommand("pack " + Q(d / "tree") + " " + Q(out)), "", package},
        {"kva pack --append", appended.size(), {}, KvaCommand("pack --append " + Q(d / "tree") + " " + Q(out)),
         existing, appended},
        {"kva unpack", kLargestFile, {}, KvaCommand("unpack " + Q(d / "tree.pkg") + " " + Q(out)), "", "tree"}};
  }

  fs::path dir_;
};

}  // namespace

TEST_P(FaultInjection, EveryCutFailsAndLeavesNothingHalfDone) {
  const Operation op = Operations().at(static_cast<std::size_t>(GetParam()));
  SCOPED_TRACE(op.name);
  const bool kva = op.name.rfind("kva", 0) == 0;
  // The first bytes, each boundary and its neighbours, the file buffer's
  // 64 KiB flushes, a spread, the last byte; fewer where each try derives a
  // key (tens of milliseconds).
  std::set<std::uint64_t> cuts = {0, 1000, op.full / 2, op.full - 1, op.full};
  if (!kva) {
    std::vector<std::uint64_t> all = op.boundaries;
    for (std::uint64_t flush = 65536; flush < op.full; flush += 65536) all.push_back(flush);
    for (std::uint64_t b : all) cuts.insert({b - 1, b, b + 1});
    const std::uint64_t stride = op.name.find("Container") != std::string::npos ? 16411 : 997;
    for (std::uint64_t cut = 1; cut < op.full; cut += cut < 8 ? 1 : stride) cuts.insert(cut);
    std::erase_if(cuts, [&](std::uint64_t cut) { return cut > op.full; });
  }
  const fs::path out = dir_ / "out";
  for (const auto& [cut, how] : [&] {
         std::vector<std::pair<std::uint64_t, Mode>> runs;
         for (Mode m : {Mode::kIgnored, Mode::kSignal, Mode::kClosedErrors}) {
#ifdef __SANITIZE_THREAD__
           if (m == Mode::kSignal) continue;  // ThreadSanitizer writes a file of its own at start
#endif
           for (std::uint64_t c : cuts) if (kva || m == Mode::kIgnored) runs.emplace_back(c, m);
         }
         return runs;
       }()) {
    SCOPED_TRACE("cut at " + std::to_string(cut) + ", mode " + std::to_string(static_cast<int>(how)));
    mode = how;
    fs::remove_all(out);
    if (!op.before.empty()) WriteFile(out, op.before);
    // (An existing folder: "created" is not said, which would end a run
    // whose standard error nobody reads.)
    if (how == Mode::kClosedErrors && op.whole == "tree") fs::create_directories(out);
    const auto [result, text] = UnderLimit(cut, op.run);
    if (cut == op.full) {
      EXPECT_EQ(result, 0) << text;
      EXPECT_TRUE(op.whole == "tree" ? Snapshot(out / "tree") == Snapshot(dir_ / "tree") : ReadFile(out) == op.whole);
      continue;
    }
    ASSERT_EQ(result, kva ? 1 : -1) << text;
    if (op.whole == "tree") {  // nothing lands beside the destination
      std::set<std::string> names;
      for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
      // kva removes the destination it made when no file reached it, and
      // keeps one that was there.
      const bool existed = how == Mode::kClosedErrors;
      EXPECT_TRUE(!kva || (existed ? fs::is_directory(out) : !names.erase("out") || !fs::is_empty(out)));
      names.insert("out");
      EXPECT_EQ(names, (std::set<std::string>{"appended.pkg", "box", "carried", "carrier", "existing.pkg", "old",
                                              "out", "pw", "tree", "tree.pkg"}));
    } else if (!op.partial) {
      EXPECT_TRUE(op.before.empty() ? !fs::exists(out) : ReadFile(out) == op.before);
    }
    if (kva) {
      const bool said = how == Mode::kClosedErrors ? text.empty()
                                                   : text.find("disk full") != std::string::npos ||
                                                         text.find("could not be written") != std::string::npos;
      EXPECT_TRUE(said && (how == Mode::kClosedErrors || text.find("kva: ") != std::string::npos)) << text;
      EXPECT_EQ(text.find(kPassword), std::string::npos) << "no password in messages";
      for (const auto& [path, what] : Snapshot(dir_)) EXPECT_EQ(path.find(".kva-"), std::string::npos) << path;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultInjection, ::testing::Range(0, 14));
