// Write faults: every operation under a file-size limit at many cut points,
// the same through kva, destinations that cannot be written, and the
// application's worker when its temporary file or an unpacked file cannot be
// written. A fault must never be reported as success, never damage a package
// being appended to, and never leave a partial output where kva promises none.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <grp.h>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "res/string_table.h"
#include "securefile/securefile.h"
#include "tests/test_support.h"

#ifdef TESSARON_WITH_JOB
#include <QApplication>
#include <QProgressBar>
#include <QWidget>

#include "platform/qt/window_qt.h"
#include "tests/worker_fixture.h"
#endif

namespace fs = std::filesystem;
using namespace test_support;

namespace {

const std::string kSecret = "secret";

const auto* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// A tree of about 100 KB: nested and empty folders, files on both sides of
// the 1024-byte chunk, an empty file, non-ASCII names.
void MakeBigTree(const fs::path& root) {
  WriteFile(root / "a.bin", RandomBytes(40000, 1));
  WriteFile(root / "docs" / "1023", RandomBytes(1023, 2));
  WriteFile(root / "docs" / "1024", RandomBytes(1024, 3));
  WriteFile(root / "docs" / "1025", RandomBytes(1025, 4));
  WriteFile(root / "docs" / "deep" / "deeper" / "deepest" / "record", RandomBytes(532, 5));
  WriteFile(root / "docs" / "deep" / "empty file", "");
  WriteFile(root / "media" / "photo.jpg", RandomBytes(30000, 6));
  WriteFile(root / "media" / "Фото" / "写真.bin", RandomBytes(20000, 7));
  WriteFile(root / "media" / "one", "1");
  WriteFile(root / "z" / "last", RandomBytes(5000, 8));
  fs::create_directories(root / "empty folder");
  fs::create_directories(root / "docs" / "deep" / "empty too");
}
constexpr std::uint64_t kLargestFile = 40000;

// Every entry below `root` with its full content: the oracle for unpacking.
std::map<std::string, std::string> Contents(const fs::path& root) {
  std::map<std::string, std::string> entries;
  if (!fs::exists(root)) return entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string relative = fs::relative(entry.path(), root).string();
    entries[relative] = entry.is_directory() ? std::string("<folder>") : ReadFile(entry.path());
  }
  return entries;
}

std::int32_t Pack(const fs::path& source, const fs::path& package, bool append = false) {
  return PackPackage(DevicePath(source).c_str(), DevicePath(package).c_str(), append ? 1 : 0, 0,
                     nullptr, nullptr, res::ProgramInstance(), nullptr);
}

std::int32_t Unpack(const fs::path& package, const fs::path& destination) {
  return UnpackPackage(DevicePath(package).c_str(), DevicePath(destination).c_str(), nullptr);
}

std::int32_t Encrypt(const fs::path& source, const fs::path& destination, std::uint32_t offset = 0,
                     const fs::path& carrier = {}) {
  std::u16string carrierPath = DevicePath(carrier);
  return EncryptContainer(DevicePath(source).c_str(), DevicePath(destination).c_str(),
                          Bytes(kSecret), static_cast<std::int32_t>(kSecret.size()), 3, nullptr,
                          offset, carrier.empty() ? nullptr : carrierPath.c_str(),
                          res::ProgramInstance());
}

std::int32_t Decrypt(const fs::path& source, const fs::path& destination) {
  return DecryptContainer(DevicePath(source).c_str(), DevicePath(destination).c_str(),
                          Bytes(kSecret), static_cast<std::int32_t>(kSecret.size()), nullptr, 0,
                          res::ProgramInstance());
}

// What a forked child returned: its exit status (the operation's result as
// a signed byte) and any text it handed back.
struct ChildOutcome {
  int result = -1000;  // -1000: the child did not exit normally
  std::string text;
};

struct ChildOptions {
  std::optional<rlim_t> fileSizeLimit;  // with SIGXFSZ ignored, so writes fail with EFBIG
  bool asNobody = false;                // when running as root: the permission bits count
};

// Runs `work` in a forked child, so that the limit or the dropped
// privileges end with it. `work` returns a small integer and may fill the
// text.
ChildOutcome InChild(const ChildOptions& options, const std::function<int(std::string*)>& work) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return {};
  if (child == 0) {
    close(channel[0]);
    std::signal(SIGXFSZ, SIG_IGN);
    if (options.fileSizeLimit) {
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = *options.fileSizeLimit;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(99);
    }
    if (options.asNobody && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(98);
    }
    std::string text;
    int result = work(&text);
    for (std::size_t at = 0; at < text.size();) {
      ssize_t written = write(channel[1], text.data() + at, text.size() - at);
      if (written <= 0) break;
      at += static_cast<std::size_t>(written);
    }
    _exit(result & 0xFF);
  }
  close(channel[1]);
  ChildOutcome outcome;
  char buffer[4096];
  ssize_t got;
  while ((got = read(channel[0], buffer, sizeof buffer)) > 0) outcome.text.append(buffer, got);
  close(channel[0]);
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    outcome.result = code > 127 ? code - 256 : code;
  }
  return outcome;
}

ChildOutcome UnderLimit(rlim_t limit, const std::function<int()>& operation) {
  return InChild({limit, false}, [&](std::string*) { return operation(); });
}

// Cut points for an output of `full` bytes: every byte of the first
// `everyByteUpTo`, each boundary and its neighbours, the 64 KiB flushes of
// the file buffer, a spread of `stride`, the end and past it.
std::vector<std::uint64_t> CutPoints(std::uint64_t full, const std::vector<std::uint64_t>& boundaries,
                                     std::uint64_t from, std::uint64_t everyByteUpTo,
                                     std::uint64_t stride) {
  std::set<std::uint64_t> cuts;
  auto add = [&](std::uint64_t point) {
    if (point >= from || point == 0) cuts.insert(point);
  };
  for (std::uint64_t point = from; point <= everyByteUpTo && point <= full; ++point) add(point);
  std::vector<std::uint64_t> all = boundaries;
  for (std::uint64_t flush = 65536; flush < full; flush += 65536) all.push_back(flush);
  for (std::uint64_t boundary : all) {
    for (std::uint64_t point : {boundary - 1, boundary, boundary + 1}) {
      if (boundary > 0 && point < full) add(point);
    }
  }
  for (std::uint64_t point = from; point < full; point += stride) add(point);
  for (std::uint64_t point : {full - 1, full, full + 1, full * 2}) add(point);
  return {cuts.begin(), cuts.end()};
}

// Where each record of a package starts and ends, and each content ends.
std::vector<std::uint64_t> RecordBoundaries(const std::string& package, std::uint64_t base = 0) {
  std::vector<std::uint64_t> boundaries{4, 536};
  auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(package[at + i]);
    return value;
  };
  std::size_t at = base == 0 ? 536 : base;
  while (at + 532 <= package.size()) {
    boundaries.push_back(at);
    std::uint32_t size = word(at + 520) != 0 ? word(at + 524) : 0;
    at += 532;
    boundaries.push_back(at);
    at += size;
    boundaries.push_back(at);
  }
  return boundaries;
}

// The figures the cut loops report, one line per operation.
struct Tally {
  std::string operation;
  int tried = 0;
  int successBelowLimit = 0;
  // Counts one cut. Below the full size the operation must fail: true then,
  // so that the caller checks what the failure left; from the full size on
  // it must succeed.
  bool BelowFull(std::uint64_t cut, std::uint64_t full, int result) {
    ++tried;
    if (cut >= full) {
      EXPECT_EQ(result, 0) << "the whole output fits";
      return false;
    }
    if (result == 0) ++successBelowLimit;
    EXPECT_EQ(result, -1);
    return true;
  }
  ~Tally() {
    std::printf("[cut points] %s: %d tried, %d reported success below the full size\n",
                operation.c_str(), tried, successBelowLimit);
    std::fflush(stdout);
  }
};

std::string Q(const fs::path& path) { return ShellQuote(path.string()); }

// Names in `folder` that kva's staging leaves while it writes.
std::vector<std::string> Partials(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename();
    if (name.rfind(".kva-partial-", 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace

class FaultInjectionCuts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir();
    MakeBigTree(dir_ / "tree");
    ASSERT_EQ(Pack(dir_ / "tree", dir_ / "tree.pkg"), 0);
    package_ = ReadFile(dir_ / "tree.pkg");
  }

  fs::path dir_;
  std::string package_;
};

TEST_F(FaultInjectionCuts, DecryptContainer) {
  // The plaintext is the package: long enough to cross the 64 KiB flush.
  ASSERT_EQ(Encrypt(dir_ / "tree.pkg", dir_ / "box"), 0);
  const std::uint64_t full = package_.size();
  std::vector<std::uint64_t> boundaries;
  for (std::uint64_t chunk = 1024; chunk <= 3072; chunk += 1024) boundaries.push_back(chunk);
  boundaries.push_back(full - full % 1024);
  // Each call derives the key (tens of milliseconds): fewer, chosen points.
  std::vector<std::uint64_t> cuts = CutPoints(full, boundaries, 0, 12, 16411);
  Tally tally{"DecryptContainer"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    fs::remove(dir_ / "out");
    ChildOutcome outcome = UnderLimit(cut, [&] { return Decrypt(dir_ / "box", dir_ / "out"); });
    if (!tally.BelowFull(cut, full, outcome.result)) {
      EXPECT_TRUE(ReadFile(dir_ / "out") == package_) << "the plaintext that was encrypted";
    }
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

TEST_F(FaultInjectionCuts, EncryptContainer) {
  ASSERT_EQ(Encrypt(dir_ / "tree.pkg", dir_ / "reference"), 0);
  const std::string reference = ReadFile(dir_ / "reference");
  ASSERT_EQ(Decrypt(dir_ / "reference", dir_ / "back"), 0);
  ASSERT_TRUE(ReadFile(dir_ / "back") == package_);
  const std::uint64_t full = reference.size();
  std::vector<std::uint64_t> boundaries{4, 8, 12, 28};
  for (std::uint64_t chunk = 1024; chunk <= 3072; chunk += 1024) boundaries.push_back(28 + chunk);
  boundaries.push_back(28 + (full - 28) / 1024 * 1024);
  std::vector<std::uint64_t> cuts = CutPoints(full, boundaries, 0, 4, 16411);
  Tally tally{"EncryptContainer"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ChildOutcome outcome = UnderLimit(cut, [&] { return Encrypt(dir_ / "tree.pkg", dir_ / "box"); });
    if (!tally.BelowFull(cut, full, outcome.result)) {
      EXPECT_TRUE(ReadFile(dir_ / "box") == reference);
    }
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

TEST_F(FaultInjectionCuts, EncryptContainerBehindACarrier) {
  // The carrier (3000 bytes), the zero gap up to 4096, then the container.
  const std::string carrier = RandomBytes(3000, 9);
  WriteFile(dir_ / "carrier", carrier);
  WriteFile(dir_ / "plain", RandomBytes(5000, 10));
  ASSERT_EQ(Encrypt(dir_ / "plain", dir_ / "reference", 4096, dir_ / "carrier"), 0);
  const std::string reference = ReadFile(dir_ / "reference");
  ASSERT_EQ(reference.substr(0, 3000), carrier);
  ASSERT_EQ(reference.substr(4096, 4), "~KVA");
  const std::uint64_t full = reference.size();
  std::vector<std::uint64_t> boundaries{1024, 2048, 3000, 3072, 4096, 4096 + 28, 4096 + 28 + 1024,
                                        4096 + 28 + 4096};
  std::vector<std::uint64_t> cuts = CutPoints(full, boundaries, 0, 0, 1999);
  Tally tally{"EncryptContainer with a carrier"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ChildOutcome outcome =
        UnderLimit(cut, [&] { return Encrypt(dir_ / "plain", dir_ / "box", 4096, dir_ / "carrier"); });
    if (!tally.BelowFull(cut, full, outcome.result)) {
      EXPECT_TRUE(ReadFile(dir_ / "box") == reference);
    }
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

TEST_F(FaultInjectionCuts, UnpackPackage) {
  // The limit holds for each file on its own: the largest file decides.
  const std::uint64_t full = kLargestFile;
  const auto original = Contents(dir_ / "tree");
  std::vector<std::uint64_t> boundaries{1023, 1024, 1025, 2048, 532, 5000, 20000, 30000};
  std::vector<std::uint64_t> cuts = CutPoints(full, boundaries, 0, 300, 97);
  Tally tally{"UnpackPackage"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    fs::remove_all(dir_ / "out");
    ChildOutcome outcome = UnderLimit(cut, [&] { return Unpack(dir_ / "tree.pkg", dir_ / "out"); });
    if (tally.BelowFull(cut, full, outcome.result)) {
      // Nothing lands outside the destination.
      std::vector<std::string> top;
      for (const auto& entry : fs::directory_iterator(dir_)) top.push_back(entry.path().filename());
      std::sort(top.begin(), top.end());
      EXPECT_EQ(top, (std::vector<std::string>{"out", "tree", "tree.pkg"}));
    } else {
      EXPECT_TRUE(Contents(dir_ / "out" / "tree") == original) << "the tree that was packed";
    }
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

TEST_F(FaultInjectionCuts, PackPackageFresh) {
  // The oracle for the bytes: the unlimited package, which unpacks to the
  // real tree.
  ASSERT_EQ(Unpack(dir_ / "tree.pkg", dir_ / "check"), 0);
  ASSERT_TRUE(Contents(dir_ / "check" / "tree") == Contents(dir_ / "tree"));
  const std::uint64_t full = package_.size();
  std::vector<std::uint64_t> cuts = CutPoints(full, RecordBoundaries(package_), 0, 300, 97);
  Tally tally{"PackPackage fresh"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ChildOutcome outcome = UnderLimit(cut, [&] { return Pack(dir_ / "tree", dir_ / "p.pkg"); });
    if (tally.BelowFull(cut, full, outcome.result)) {
      EXPECT_FALSE(fs::exists(dir_ / "p.pkg")) << "a new package that failed is deleted";
    } else {
      EXPECT_TRUE(ReadFile(dir_ / "p.pkg") == package_);
      fs::remove(dir_ / "p.pkg");
    }
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

TEST_F(FaultInjectionCuts, PackPackageAppend) {
  // An existing package of a small tree; the big tree is appended to it.
  WriteFile(dir_ / "old" / "kept", RandomBytes(3000, 11));
  WriteFile(dir_ / "old" / "sub" / "also kept", "x");
  ASSERT_EQ(Pack(dir_ / "old", dir_ / "existing.pkg"), 0);
  const std::string existing = ReadFile(dir_ / "existing.pkg");
  WriteFile(dir_ / "reference.pkg", existing);
  ASSERT_EQ(Pack(dir_ / "tree", dir_ / "reference.pkg", true), 0);
  const std::string reference = ReadFile(dir_ / "reference.pkg");
  ASSERT_EQ(Unpack(dir_ / "reference.pkg", dir_ / "check"), 0);
  ASSERT_TRUE(Contents(dir_ / "check" / "tree") == Contents(dir_ / "tree"));
  ASSERT_TRUE(Contents(dir_ / "check" / "old") == Contents(dir_ / "old"));

  const std::uint64_t old = existing.size();
  const std::uint64_t full = reference.size();
  // Cuts inside the old package hit the placeholder header written at its
  // start; those from its end on hit the appended entries.
  std::vector<std::uint64_t> cuts = CutPoints(full, RecordBoundaries(reference, old), old, old + 300, 97);
  for (std::uint64_t inside : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{4},
                               std::uint64_t{5}, std::uint64_t{100}, std::uint64_t{535},
                               std::uint64_t{536}, std::uint64_t{537}, old / 2, old - 1}) {
    cuts.push_back(inside);
  }
  Tally tally{"PackPackage append"};
  for (std::uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ChildOutcome outcome = UnderLimit(cut, [&] { return Pack(dir_ / "tree", dir_ / "existing.pkg", true); });
    std::string after = ReadFile(dir_ / "existing.pkg");
    if (tally.BelowFull(cut, full, outcome.result)) {
      EXPECT_EQ(after.size(), existing.size());
      EXPECT_TRUE(after == existing) << "the package appended to is back as it was";
    } else {
      EXPECT_TRUE(after == reference);
    }
    if (after != existing) WriteFile(dir_ / "existing.pkg", existing);
  }
  EXPECT_EQ(tally.successBelowLimit, 0);
}

// kva under a file-size limit: sh ignores SIGXFSZ, prlimit sets the limit,
// and both pass on to kva through exec.
class FaultInjectionKva : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir();
    MakeBigTree(dir_ / "tree");
    WriteFile(dir_ / "pw", kSecret + "\n");
  }

  KvaRun Limited(std::uint64_t limit, const std::string& arguments) {
    KvaRun run;
    run.status = RunCommand("trap '' XFSZ; exec prlimit --fsize=" + std::to_string(limit) + " " +
                                ToolPath("kva").string() + " " + arguments + " 2>&1",
                            &run.output);
    return run;
  }

  std::string Password() const { return " --password-file " + Q(dir_ / "pw"); }

  // Each cut below `full` fails with exit code 1 and a message holding
  // every one of `words`; `check` looks at what is on disk afterwards. At
  // `full` the command succeeds.
  void ExpectCuts(const std::string& name, std::uint64_t full, const std::string& arguments,
                  const std::vector<std::string>& words, const std::function<void()>& check,
                  const std::function<void()>& reset) {
    SCOPED_TRACE(name);
    for (std::uint64_t cut : {std::uint64_t{0}, std::uint64_t{1000}, full / 2, full - 1}) {
      SCOPED_TRACE("cut at " + std::to_string(cut));
      reset();
      KvaRun run = Limited(cut, arguments);
      EXPECT_EQ(run.status, 1) << run.output;
      for (const std::string& word : words) {
        EXPECT_NE(run.output.find(word), std::string::npos) << run.output;
      }
      EXPECT_EQ(run.output.find(kSecret), std::string::npos) << "no password in messages";
      check();
      EXPECT_TRUE(Partials(dir_).empty()) << "a staging file was left behind";
    }
    reset();
    KvaRun whole = Limited(full, arguments);
    EXPECT_EQ(whole.status, 0) << name << " at the full size: " << whole.output;
  }

  fs::path dir_;
};

TEST_F(FaultInjectionKva, ContainerCommands) {
  ASSERT_EQ(Kva("pack " + Q(dir_ / "tree") + " " + Q(dir_ / "tree.pkg")).status, 0);
  const std::string package = ReadFile(dir_ / "tree.pkg");
  ASSERT_EQ(Kva("encrypt " + Q(dir_ / "tree.pkg") + " " + Q(dir_ / "box") + Password()).status, 0);
  const std::string box = ReadFile(dir_ / "box");

  ExpectCuts("decrypt", package.size(),
             "decrypt " + Q(dir_ / "box") + " " + Q(dir_ / "out") + Password(),
             {"decryption of", "could not be written"},
             [&] { EXPECT_FALSE(fs::exists(dir_ / "out")); },
             [&] { fs::remove(dir_ / "out"); });
  EXPECT_TRUE(ReadFile(dir_ / "out") == package);

  // With --force the old file stays as it was until the new one is whole.
  ExpectCuts("decrypt --force", package.size(),
             "decrypt --force " + Q(dir_ / "box") + " " + Q(dir_ / "precious") + Password(),
             {"decryption of", "could not be written"},
             [&] { EXPECT_EQ(ReadFile(dir_ / "precious"), "precious"); },
             [&] { WriteFile(dir_ / "precious", "precious"); });

  ExpectCuts("encrypt", box.size(),
             "encrypt " + Q(dir_ / "tree.pkg") + " " + Q(dir_ / "new.kva") + Password(),
             {"encryption of", "write error"},
             [&] { EXPECT_FALSE(fs::exists(dir_ / "new.kva")); },
             [&] { fs::remove(dir_ / "new.kva"); });
  EXPECT_TRUE(ReadFile(dir_ / "new.kva") == box) << "the key and IV follow from the password";

  ExpectCuts("seal", box.size(),
             "seal " + Q(dir_ / "tree") + " " + Q(dir_ / "sealed.kva") + Password(),
             {"cannot write", "disk full"},
             [&] { EXPECT_FALSE(fs::exists(dir_ / "sealed.kva")); },
             [&] { fs::remove(dir_ / "sealed.kva"); });
  EXPECT_TRUE(ReadFile(dir_ / "sealed.kva") == box);

  // open writes the files themselves: the largest one decides.
  ExpectCuts("open", kLargestFile,
             "open " + Q(dir_ / "box") + " " + Q(dir_ / "opened") + Password(),
             {"cannot write", "disk full", "what was extracted before stays"},
             [&] { EXPECT_TRUE(fs::exists(dir_ / "box")); },
             [&] { fs::remove_all(dir_ / "opened"); });
  EXPECT_TRUE(Contents(dir_ / "opened" / "tree") == Contents(dir_ / "tree"));
}

TEST_F(FaultInjectionKva, PackageCommands) {
  ASSERT_EQ(Kva("pack " + Q(dir_ / "tree") + " " + Q(dir_ / "reference.pkg")).status, 0);
  const std::string package = ReadFile(dir_ / "reference.pkg");

  ExpectCuts("pack", package.size(), "pack " + Q(dir_ / "tree") + " " + Q(dir_ / "p.pkg"),
             {"cannot write the package", "disk full"},
             [&] { EXPECT_FALSE(fs::exists(dir_ / "p.pkg")); },
             [&] { fs::remove(dir_ / "p.pkg"); });
  EXPECT_TRUE(ReadFile(dir_ / "p.pkg") == package);

  WriteFile(dir_ / "old" / "kept", RandomBytes(3000, 12));
  ASSERT_EQ(Kva("pack " + Q(dir_ / "old") + " " + Q(dir_ / "existing.pkg")).status, 0);
  const std::string existing = ReadFile(dir_ / "existing.pkg");
  ExpectCuts("pack --append", existing.size() + package.size() - 536,
             "pack --append " + Q(dir_ / "tree") + " " + Q(dir_ / "existing.pkg"),
             {"cannot write the package", "disk full"},
             [&] { EXPECT_TRUE(ReadFile(dir_ / "existing.pkg") == existing); },
             [&] { WriteFile(dir_ / "existing.pkg", existing); });

  ExpectCuts("unpack", kLargestFile, "unpack " + Q(dir_ / "reference.pkg") + " " + Q(dir_ / "out"),
             {"cannot write", "disk full", "what was extracted before stays"},
             [&] { EXPECT_TRUE(fs::exists(dir_ / "out")); },
             [&] { fs::remove_all(dir_ / "out"); });
  EXPECT_TRUE(Contents(dir_ / "out" / "tree") == Contents(dir_ / "tree"));
}

// A destination folder that cannot be written. Root ignores permission
// bits, so as root the operations run as nobody; everything lives in a
// private folder under /tmp that nobody can traverse and read.
class FaultInjectionReadOnly : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaron-fault-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);
    MakeBigTree(dir_ / "tree");
    WriteFile(dir_ / "pw", kSecret + "\n");
    ASSERT_EQ(Pack(dir_ / "tree", dir_ / "tree.pkg"), 0);
    ASSERT_EQ(Encrypt(dir_ / "tree.pkg", dir_ / "box"), 0);
    ASSERT_EQ(RunCommand("chmod -R a+rX " + Q(dir_)), 0);
    fs::create_directory(dir_ / "ro");
    WriteFile(dir_ / "ro" / "existing.pkg", ReadFile(dir_ / "tree.pkg"));
    chmod((dir_ / "ro" / "existing.pkg").c_str(), 0444);
    chmod((dir_ / "ro").c_str(), 0555);
    before_ = Contents(dir_ / "ro");
  }

  void TearDown() override {
    chmod((dir_ / "ro").c_str(), 0755);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  ChildOutcome Unprivileged(const std::function<int(std::string*)>& work) {
    return InChild({std::nullopt, true}, work);
  }

  fs::path dir_;
  std::map<std::string, std::string> before_;
};

TEST_F(FaultInjectionReadOnly, LibraryOperations) {
  struct Case {
    std::string name;
    std::function<int()> operation;
  } cases[] = {
      {"DecryptContainer", [&] { return Decrypt(dir_ / "box", dir_ / "ro" / "out"); }},
      {"EncryptContainer", [&] { return Encrypt(dir_ / "tree.pkg", dir_ / "ro" / "box"); }},
      {"EncryptContainer with a carrier",
       [&] { return Encrypt(dir_ / "tree.pkg", dir_ / "ro" / "box", 8192, dir_ / "pw"); }},
      {"PackPackage", [&] { return Pack(dir_ / "tree", dir_ / "ro" / "p.pkg"); }},
      {"PackPackage append", [&] { return Pack(dir_ / "tree", dir_ / "ro" / "existing.pkg", true); }},
      {"UnpackPackage into the folder", [&] { return Unpack(dir_ / "tree.pkg", dir_ / "ro"); }},
      {"UnpackPackage into a new folder",
       [&] { return Unpack(dir_ / "tree.pkg", dir_ / "ro" / "new" / "deeper"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildOutcome outcome = Unprivileged([&](std::string*) { return c.operation(); });
    EXPECT_EQ(outcome.result, -1);
    EXPECT_TRUE(Contents(dir_ / "ro") == before_) << "nothing created or changed";
  }
}

TEST_F(FaultInjectionReadOnly, KvaCommands) {
  const std::string kva = ToolPath("kva").string();
  struct Case {
    std::string name;
    std::string arguments;
    std::string words;
    bool password = true;
  } cases[] = {
      {"decrypt", "decrypt " + Q(dir_ / "box") + " " + Q(dir_ / "ro" / "out"), "cannot create a file beside"},
      {"encrypt", "encrypt " + Q(dir_ / "tree.pkg") + " " + Q(dir_ / "ro" / "box"), "cannot create a file beside"},
      {"seal", "seal " + Q(dir_ / "tree") + " " + Q(dir_ / "ro" / "box"), "cannot create a file beside"},
      {"pack", "pack " + Q(dir_ / "tree") + " " + Q(dir_ / "ro" / "p.pkg"), "cannot create a file beside", false},
      {"pack --append", "pack --append " + Q(dir_ / "tree") + " " + Q(dir_ / "ro" / "existing.pkg"),
       "cannot write the package", false},
      {"unpack", "unpack " + Q(dir_ / "tree.pkg") + " " + Q(dir_ / "ro"), "no permission", false},
      {"unpack into a new folder", "unpack " + Q(dir_ / "tree.pkg") + " " + Q(dir_ / "ro" / "new"),
       "cannot create the folder", false},
      {"open", "open " + Q(dir_ / "box") + " " + Q(dir_ / "ro"), "no permission"},
      {"open into a new folder", "open " + Q(dir_ / "box") + " " + Q(dir_ / "ro" / "new"),
       "cannot create the folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildOutcome outcome = Unprivileged([&](std::string* text) {
      std::string password = c.password ? " --password-file " + Q(dir_ / "pw") : "";
      return RunCommand(kva + " " + c.arguments + password + " 2>&1", text);
    });
    EXPECT_EQ(outcome.result, 1) << outcome.text;
    EXPECT_NE(outcome.text.find(c.words), std::string::npos) << outcome.text;
    EXPECT_TRUE(Contents(dir_ / "ro") == before_) << "nothing created or changed";
  }
}

#ifdef TESSARON_WITH_JOB

namespace {

// The file-size limit for the worker, which runs on this thread: SIGXFSZ
// ignored and the soft limit set while it lives, both put back after.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    Set(limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, savedHandler_);
  }
  void Set(rlim_t limit) {
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }

 private:
  rlimit saved_{};
  void (*savedHandler_)(int) = SIG_DFL;
};

}  // namespace

class FaultInjectionWorker : public WorkerTest {
 protected:
  // The big tree, sealed; *packageSize is what decryption writes into the
  // temporary file.
  fs::path SealBigTree(std::uint64_t* packageSize) {
    tree_ = dir_ / "src" / "tree";
    MakeBigTree(tree_);
    std::uint32_t entries = 0;
    std::uint32_t bytes = 0;
    EXPECT_EQ(PackPackage(DevicePath(tree_).c_str(), nullptr, 0, 1, &entries, &bytes, nullptr, nullptr), 0);
    *packageSize = 4 + 532ull * (entries + 1) + bytes;
    return Seal(tree_);
  }

  fs::path tree_;
};

TEST_F(FaultInjectionWorker, DecryptingIntoTheTemporaryFileFails) {
  std::uint64_t packageSize = 0;
  fs::path container = SealBigTree(&packageSize);
  const std::string sealed = ReadFile(container);
  fs::path out = dir_ / "new";
  boxes_.Answer(platform::kAnswerYes);  // create the folder
  {
    FileSizeLimit limit(packageSize - 1);
    Run(container, out);
  }
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(1, res::kIdsDecryptFailed, res::kIdsErrorCaption, kError);
  EXPECT_FALSE(fs::exists(out)) << "the folder this run created goes again";
  EXPECT_TRUE(ReadFile(container) == sealed) << "the container is kept";
  ExpectCleanEnding();
}

TEST_F(FaultInjectionWorker, UnpackingFailsHalfway) {
  // The temporary file holds the whole package, larger than any file in
  // it, so one limit cannot let decryption pass and stop unpacking. The
  // limit is lowered when the progress bar goes back to 0, which is where
  // unpacking starts.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's runtime folder would otherwise appear in TMPDIR, the folder the
  // temporary file is watched in.
  fs::create_directories(dir_ / "runtime");
  fs::permissions(dir_ / "runtime", fs::perms::owner_all);
  qputenv("XDG_RUNTIME_DIR", (dir_ / "runtime").c_str());
  static int argc = 1;
  static char name[] = "fault_injection_test";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QWidget dialog;
  QProgressBar bar(&dialog);
  bar.setRange(0, 100);

  std::uint64_t packageSize = 0;
  fs::path container = SealBigTree(&packageSize);
  const std::string sealed = ReadFile(container);
  fs::path out = dir_ / "out";
  fs::create_directories(out);
  {
    // Exactly the package's size: decryption just fits.
    FileSizeLimit limit(packageSize);
    int highest = 0;
    bool lowered = false;
    QObject::connect(&bar, &QProgressBar::valueChanged, [&](int value) {
      if (value < highest && !lowered) {
        limit.Set(kLargestFile / 2);
        lowered = true;
      }
      highest = std::max(highest, value);
    });
    job::progressDialog = platform::qt::HandleOf(&dialog);
    job::progressBar = platform::qt::HandleOf(&bar);
    Run(container, out);
    job::progressDialog = nullptr;
    job::progressBar = nullptr;
    ASSERT_TRUE(lowered) << "unpacking never started";
  }
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  ExpectBox(0, res::kIdsUnpackFailed, res::kIdsErrorCaption, kError);
  EXPECT_TRUE(ReadFile(container) == sealed) << "the container is kept";
  EXPECT_TRUE(fs::is_directory(out / "tree")) << "what was extracted stays";
  EXPECT_NE(Contents(out / "tree"), Contents(tree_));
  ExpectCleanEnding();
}

#endif
