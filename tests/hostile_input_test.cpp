// Hostile containers and packages through every way in: kva unpack and list
// (packages), kva decrypt and info (containers), kva open and the
// application's decryption worker (containers holding packages).
//
// Inputs are built byte by byte here, after docs/FORMAT.md, because the
// point is to produce what the product's writer never would. Containers are
// encrypted with `openssl enc` under the worked example of cipher/README.md
// (password "secret"), so no key is derived while building them.
//
// Every run happens in a sandbox holding the input, the destination, an
// "outside" folder and the worker's TMPDIR. The whole sandbox is compared
// before and after: only the destination may change, and only by exactly
// what the product is expected to leave there (entries extracted before the
// hostile one). The test ends with a one-line count of inputs and of files
// found outside their destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include "cli/exit_codes.h"
#include "job/globals.h"
#include "job/progress.h"
#include "job/worker.h"
#include "platform/string_table.h"
#include "platform/wide_string.h"
#include "res/resource_ids.h"
#include "res/string_table.h"
#include "securefile/securefile.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// cipher/README.md's worked example: the key K, the IV and the verifier of
// the password "secret".
const std::string kPassword = "secret";
const std::string kKeyHex = "2e9852e9eef59dde11254fdb7e53c88e";
const std::string kIvHex = "2113f4bc3dd82699de1afa1a984941e2";
const std::string kVerifierHex = "ffea57bc0691b5bf26055afb86da48ca";

int inputsTried = 0;
int runs = 0;
int filesOutside = 0;

class Summary : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("[hostile] %d inputs tried through kva and the worker (%d runs), %d files outside "
                "their destination\n",
                inputsTried, runs, filesOutside);
  }
};
[[maybe_unused]] ::testing::Environment* const summary =
    ::testing::AddGlobalTestEnvironment(new Summary);

// ---- Builders -------------------------------------------------------------

std::string FolderEntry(const std::u16string& path, std::uint32_t depth) {
  return RecordBytes(path, 0, 0, depth);
}

std::string FileEntry(const std::u16string& path, const std::string& content,
                      std::uint32_t depth) {
  return RecordBytes(path, 1, static_cast<std::uint32_t>(content.size()), depth) + content;
}

std::string Package(std::uint32_t entryCount, std::uint32_t totalBytes,
                    const std::string& entries) {
  return "~KVA" + RecordBytes(u"\\p", entryCount, totalBytes, 0) + entries;
}

std::string ContainerHeader(unsigned cipher, std::uint32_t length,
                            const std::string& verifier = FromHex(kVerifierHex)) {
  return "~KVA" + std::string(1, static_cast<char>(cipher)) + std::string(3, '\0') +
         Le32(length) + verifier;
}

// AES-128-CBC under the example key, by openssl: what cipher 3 produces.
std::string Encrypt(const std::string& plain, const fs::path& work) {
  fs::path in = work / "plain.tmp";
  fs::path out = work / "cipher.tmp";
  WriteFile(in, plain);
  fs::permissions(in, fs::perms::owner_read | fs::perms::owner_write);
  int status = RunCommand("openssl enc -aes-128-cbc -K " + kKeyHex + " -iv " + kIvHex +
                          " -nosalt -in " + ShellQuote(in.string()) + " -out " +
                          ShellQuote(out.string()));
  EXPECT_EQ(status, 0) << "openssl enc";
  std::string cipher = ReadFile(out);
  fs::remove(in);
  fs::remove(out);
  return cipher;
}

// ---- The sandbox ----------------------------------------------------------

// What a tree holds, without following links: "dir", "link -> target" or
// the file's bytes in hex, by path relative to the root.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(fs::symlink_status(root))) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    fs::file_status status = it->symlink_status();
    std::string what;
    if (fs::is_symlink(status)) {
      what = "link -> " + fs::read_symlink(it->path()).string();
    } else if (fs::is_directory(status)) {
      what = "dir";
    } else {
      what = Hex(ReadFile(it->path()));
    }
    // Lexically: fs::relative would resolve the links being described.
    tree[it->path().lexically_relative(root).generic_string()] = what;
  }
  return tree;
}

const char* const kVictim = "untouched";

struct KvaResult {
  int status;
  std::string output;
};

class HostileInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ScratchDir();
    work_ = root_ / "work";
    sandbox_ = root_ / "sandbox";
    dest_ = sandbox_ / "dest";
    temp_ = sandbox_ / "tmp";
    fs::create_directories(work_);
    const char* saved = std::getenv("TMPDIR");
    savedTemp_ = saved != nullptr ? saved : "";
    hadTemp_ = saved != nullptr;
    ::setenv("TMPDIR", temp_.c_str(), 1);
    job::instance = res::ProgramInstance();
  }

  void TearDown() override {
    if (hadTemp_) {
      ::setenv("TMPDIR", savedTemp_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  fs::path Input() const { return sandbox_ / "in" / "input"; }

  // A fresh sandbox holding `input`, then whatever `plant` adds.
  void Reset(const std::string& input, const std::function<void()>& plant) {
    fs::remove_all(sandbox_);
    fs::create_directories(dest_);
    fs::create_directories(temp_);
    fs::create_directories(sandbox_ / "outside" / "folder");
    WriteFile(sandbox_ / "outside" / "victim", kVictim);
    WriteFile(Input(), input);
    if (plant) plant();
  }

  // Compares the sandbox with `before`: nothing may differ outside the
  // destination, and the destination must hold exactly `kept` (relative
  // paths, as Snapshot gives them) on top of what was planted there.
  void ExpectOnly(const std::map<std::string, std::string>& before,
                  const std::map<std::string, std::string>& kept, const std::string& route) {
    ++runs;
    std::map<std::string, std::string> after = Snapshot(sandbox_);
    std::map<std::string, std::string> expected = before;
    for (const auto& [path, what] : kept) expected["dest/" + path] = what;
    std::vector<std::string> outside;
    std::vector<std::string> inside;
    for (const auto& [path, what] : after) {
      auto found = expected.find(path);
      if (found != expected.end() && found->second == what) continue;
      (path == "dest" || path.rfind("dest/", 0) == 0 ? inside : outside).push_back(path);
    }
    for (const auto& [path, what] : expected) {
      if (after.count(path) == 0) {
        (path == "dest" || path.rfind("dest/", 0) == 0 ? inside : outside)
            .push_back(path + " (gone)");
      }
    }
    filesOutside += static_cast<int>(outside.size());
    EXPECT_TRUE(outside.empty()) << route << ": changed outside the destination: "
                                 << ::testing::PrintToString(outside);
    EXPECT_TRUE(inside.empty()) << route << ": the destination differs at "
                                << ::testing::PrintToString(inside);
  }

  // Runs kva in a fresh sandbox; `arguments` may use {in} and {dest}.
  KvaResult RunKva(const std::string& input, std::string arguments,
                   const std::map<std::string, std::string>& kept,
                   const std::function<void()>& plant = nullptr,
                   const std::string& password = kPassword) {
    Reset(input, plant);
    auto replace = [&](const std::string& key, const fs::path& path) {
      for (std::size_t at; (at = arguments.find(key)) != std::string::npos;) {
        arguments.replace(at, key.size(), ShellQuote(path.string()));
      }
    };
    replace("{in}", Input());
    replace("{dest}", destination_.empty() ? dest_ : destination_);
    std::map<std::string, std::string> before = Snapshot(sandbox_);
    bool asks = arguments.find("--password-stdin") != std::string::npos;
    KvaRun run = Kva(arguments, asks ? password + "\n" : "");
    ExpectOnly(before, kept, "kva " + arguments.substr(0, arguments.find(' ')));
    return {run.status, run.output};
  }

  // kva failed with its failure code and said `problem` on its error line.
  static void ExpectError(const KvaResult& run, const std::string& problem) {
    EXPECT_EQ(run.status, cli::kExitFailure) << run.output;
    std::size_t at = run.output.find("kva: ");
    ASSERT_NE(at, std::string::npos) << "no error line: " << run.output;
    EXPECT_NE(run.output.find(problem, at), std::string::npos)
        << "expected '" << problem << "' in: " << run.output;
  }

  // The application's run: the worker decrypts the input to a temporary file
  // in TMPDIR, then unpacks that. It must show exactly one box, `box`, and
  // end cleanly: process ended with 0, no temporary file, password wiped.
  void RunWorker(const std::string& input, std::uint32_t box,
                 const std::map<std::string, std::string>& kept,
                 const std::function<void()>& plant = nullptr,
                 const std::string& password = kPassword) {
    Reset(input, plant);
    std::map<std::string, std::string> before = Snapshot(sandbox_);
    ScriptedMessageBox boxes;
    CapturedEnding ending;
    job::progressState = job::ProgressState{};
    std::u16string source = DevicePath(Input());
    std::u16string destination = DevicePath(destination_.empty() ? dest_ : destination_);
    ASSERT_TRUE(platform::WideCopy(job::sourcePath, source.c_str()));
    ASSERT_TRUE(platform::WideCopy(job::destinationFolder, destination.c_str()));
    std::memset(job::passwordBytes, 0, sizeof job::passwordBytes);
    std::memcpy(job::passwordBytes, password.data(), password.size());
    job::RunWorker(&boxes);

    ASSERT_EQ(boxes.boxes.size(), 1u) << "one box: the outcome";
    char16_t text[128];
    platform::LoadString(res::ProgramInstance(), box, text);
    EXPECT_EQ(boxes.boxes[0].text, std::u16string(text)) << "box " << box;
    EXPECT_EQ(ending.orderly, std::vector<int>{0});
    EXPECT_TRUE(fs::is_empty(temp_)) << "temporary file left behind";
    for (unsigned char byte : job::passwordBytes) ASSERT_EQ(byte, 0) << "password not wiped";
    ExpectOnly(before, kept, "worker");
  }

  std::string Seal(const std::string& package) {
    std::string cipher = Encrypt(package, work_);
    return ContainerHeader(3, static_cast<std::uint32_t>(cipher.size())) + cipher;
  }

  fs::path root_, work_, sandbox_, dest_, temp_;
  fs::path destination_;  // when set, used in place of dest_
  std::string savedTemp_;
  bool hadTemp_ = false;
};

// What a hostile package must end in on every route.
struct PackageCase {
  std::string name;
  std::string bytes;
  std::string problem;      // in kva unpack's and open's error line
  std::string listed;       // in kva list's output
  int listStatus;           // kExitOk: list shows it (unsafe paths marked); kExitFailure: it cannot
  std::map<std::string, std::string> kept = {};  // the destination afterwards
  std::function<void()> plant = nullptr;
};

}  // namespace

// A package through unpack and list, and sealed through open and the worker.
// A hostile package is a failure everywhere, with the same reason from kva.
class HostilePackages : public HostileInputs {
 protected:
  void Try(const PackageCase& c) {
    SCOPED_TRACE(c.name);
    ++inputsTried;
    KvaResult unpack = RunKva(c.bytes, "unpack {in} {dest}", c.kept, c.plant);
    ExpectError(unpack, c.problem);
    ExpectError(unpack, "; what was extracted before stays in");
    KvaResult list = RunKva(c.bytes, "list {in}", {}, c.plant);
    EXPECT_EQ(list.status, c.listStatus) << list.output;
    EXPECT_NE(list.output.find(c.listed), std::string::npos) << list.output;

    std::string sealed = Seal(c.bytes);
    ExpectError(RunKva(sealed, "open {in} {dest} --password-stdin", c.kept, c.plant), c.problem);
    RunWorker(sealed, res::kIdsUnpackFailed, c.kept, c.plant);
  }
};

TEST_F(HostilePackages, TraversalAndMalformedNames) {
  const std::string unsafe = "its path could lead outside the destination";
  struct Name {
    std::u16string path;
    std::uint32_t depth;
  };
  const Name names[] = {
      {u"\\p\\..\\evil", 1},
      {u"\\p\\a\\..\\..\\evil", 3},
      {u"\\x\\..\\..\\escape", 2},
      {u"\\p\\..", 0},
      {u"\\p\\.", 0},
      {u"\\p\\a\\.\\b", 2},
      {u"\\p\\\\abs", 1},         // the relative part would start at the root
      {u"\\p\\", 0},              // an empty name
      {u"\\p\\a\\", 1},           // an empty last component
      {u"\\p\\a\\\\b", 2},        // an empty component inside
      {u"\\abs", 1},              // fewer backslashes than depth + 1
      {u"C:\\x", 1},
      {u"C:x", 0},
      {u"no backslash", 0},
      {u"\\p\\x", 0xFFFFFFFF},
      {u"\\p\\a/b", 0},           // '/' is a separator on the host
      {u"\\p\\../evil", 0},
      {u"\\p\\..\\outside/victim", 1},
      {u"\\p\\/etc", 0},
  };
  for (const Name& name : names) {
    for (bool isFile : {false, true}) {
      std::string entry = isFile ? FileEntry(name.path, "evil", name.depth)
                                 : FolderEntry(name.path, name.depth);
      Try({"entry " + fs::path(name.path).string() + (isFile ? " (file)" : " (folder)"),
           Package(1, isFile ? 4 : 0, entry), unsafe, "(unsafe path)", 0});
    }
  }

  // The first entry is a folder; a later one climbs out of it.
  std::string climbing = FolderEntry(u"\\p\\top", 0) + FileEntry(u"\\p\\top\\f", "ok", 1) +
                         FileEntry(u"\\p\\top\\..\\..\\evil", "evil", 3);
  Try({"climbing out of the first folder", Package(3, 6, climbing), unsafe, "(unsafe path)", 0,
       {{"top", "dir"}, {"top/f", Hex("ok")}}});

  // A path that fills its record without a NUL: cut short, it would name
  // "abc", which the package never held.
  const std::string unterminated = "its path does not end within its record";
  std::u16string full(260, u'n');
  full[0] = u'\\';
  full.replace(255, 5, u"\\abcZ");
  Try({"a path with no end in its record", Package(1, 4, FileEntry(full, "evil", 0)), unterminated,
       unterminated, 1});
}

TEST_F(HostilePackages, LinksPlantedInTheDestinationAreNeverFollowed) {
  const std::string inTheWay = "(a file or link is in the way";
  auto folderLink = [this] { fs::create_directory_symlink("../outside", dest_ / "link"); };
  auto fileLink = [this] { fs::create_symlink(sandbox_ / "outside" / "victim", dest_ / "flink"); };
  std::map<std::string, std::string> withFolderLink = {{"link", "link -> ../outside"}};
  std::map<std::string, std::string> withFileLink = {
      {"flink", "link -> " + (sandbox_ / "outside" / "victim").string()}};
  // Planted links stay as they were; ExpectOnly treats them as kept.
  Try({"a folder entry over a link", Package(2, 4, FolderEntry(u"\\p\\link", 0) +
                                                       FileEntry(u"\\p\\link\\victim", "evil", 1)),
       inTheWay, "link/victim", 0, withFolderLink, folderLink});
  Try({"a file below a link", Package(1, 4, FileEntry(u"\\p\\link\\new", "evil", 1)), inTheWay,
       "link/new", 0, withFolderLink, folderLink});
  Try({"a file over a link to a file", Package(1, 4, FileEntry(u"\\p\\flink", "evil", 0)),
       inTheWay, "flink", 0, withFileLink, fileLink});
  // A file where a later entry needs a folder.
  Try({"a file where a folder goes",
       Package(2, 1, FileEntry(u"\\p\\x", "1", 0) + FolderEntry(u"\\p\\x\\y", 1)), inTheWay,
       "x/y", 0, {{"x", Hex("1")}}});
}

TEST_F(HostilePackages, CountsAndSizesThatLie) {
  const std::string early = "the package ends early";
  // 0xFFFFFFFF entries announced, two there: both extracted, then the end.
  Try({"entry count 0xFFFFFFFF",
       Package(0xFFFFFFFF, 3, FolderEntry(u"\\p\\d", 0) + FileEntry(u"\\p\\d\\f", "abc", 1)),
       early, "the package ends early: 2 of 4294967295 entries", 1,
       {{"d", "dir"}, {"d/f", Hex("abc")}}});
  // A file of 4 GiB - 1 bytes with a short body: no partial file is left.
  std::string body = RandomBytes(3000, 4);
  Try({"a file claiming 4 GiB - 1 bytes",
       Package(1, 0xFFFFFFFF, RecordBytes(u"\\p\\big", 1, 0xFFFFFFFF, 0) + body), early,
       "the package ends inside the content of 'big'", 1});
  Try({"a file claiming one byte more than there is",
       Package(1, 5, RecordBytes(u"\\p\\short", 1, 5, 0) + "four"), early,
       "the package ends inside the content of 'short'", 1});
  // Trailing records beyond the count are not looked at, but an empty
  // package with a count is not one.
  Try({"a count with no records", Package(5, 0, ""), early, "0 of 5 entries", 1});
}

TEST_F(HostilePackages, TotalBytesOnlyFeedProgress) {
  // The header's total is used for progress only: a package whose total
  // lies unpacks completely everywhere, and the worker's bar does not trip
  // over done > total (or a total of 0).
  for (std::uint32_t total : {0u, 1u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(total);
    ++inputsTried;
    std::string content = RandomBytes(5000, total);
    std::string package = Package(2, total, FolderEntry(u"\\p\\d", 0) + FileEntry(u"\\p\\d\\f", content, 1));
    std::map<std::string, std::string> whole = {{"d", "dir"}, {"d/f", Hex(content)}};
    EXPECT_EQ(RunKva(package, "unpack {in} {dest}", whole).status, cli::kExitOk);
    KvaResult list = RunKva(package, "list {in}", {});
    EXPECT_NE(list.output.find("content bytes: " + std::to_string(total)), std::string::npos)
        << list.output;
    std::string sealed = Seal(package);
    EXPECT_EQ(RunKva(sealed, "open {in} {dest} --password-stdin", whole).status, cli::kExitOk);
    RunWorker(sealed, res::kIdsKeepOriginal, whole);
  }
}

TEST_F(HostilePackages, CutShortAndForeign) {
  std::string f = RandomBytes(1500, 5);
  std::string whole = Package(3, 1510, FolderEntry(u"\\p\\top", 0) + FileEntry(u"\\p\\top\\f", f, 1) +
                                           FileEntry(u"\\p\\top\\g", "0123456789", 1));
  const std::size_t firstRecord = 536;
  const std::size_t fContent = firstRecord + 2 * 532;
  const std::size_t gRecord = fContent + 1500;
  const std::string notPackage = "this is not a KVA package";
  const std::string early = "the package ends early";
  Try({"cut inside the magic", whole.substr(0, 2), notPackage, "is not a KVA package", 1});
  Try({"cut inside the header record", whole.substr(0, 300), notPackage, "is not a KVA package", 1});
  Try({"cut inside the first record", whole.substr(0, firstRecord + 200), early,
       "0 of 3 entries", 1});
  Try({"cut inside a file's content", whole.substr(0, fContent + 700), early,
       "ends inside the content of 'top/f'", 1, {{"top", "dir"}}});
  Try({"cut inside the last record", whole.substr(0, gRecord + 531), early, "2 of 3 entries", 1,
       {{"top", "dir"}, {"top/f", Hex(f)}}});
  Try({"cut one byte short", whole.substr(0, whole.size() - 1), early,
       "ends inside the content of 'top/g'", 1,
       {{"top", "dir"}, {"top/f", Hex(f)}}});

  std::string wrongMagic = whole;
  wrongMagic[3] = 'B';
  Try({"wrong magic", wrongMagic, notPackage, "is not a KVA package", 1});
  // A container where a package is expected: the same magic, then a
  // "header record" cut short or, from a longer one, ciphertext read as
  // records (here: an entry whose path has no end within its record).
  std::string small = Seal(Package(0, 0, ""));
  Try({"a container as a package", small.substr(0, 500), notPackage, "is not a KVA package", 1});
  std::string container = Seal(whole);
  Try({"a long container as a package", container, "its path does not end within its record",
       "its path does not end within its record", 1});
}

TEST_F(HostilePackages, TargetPathsAtTheLimit) {
  // Target paths are measured in UTF-16 units of the device path: the
  // destination, '\', the entry's relative path. A folder of Cyrillic
  // letters (two UTF-8 bytes, one unit each) holds a file whose name starts
  // with an emoji (four bytes, two units).
  const std::size_t base = DevicePath(dest_).size() + 1;
  std::u16string folder(100, u'Ж');
  auto fileName = [&](std::size_t targetLength) {
    return u"😀" + std::u16string(targetLength - base - folder.size() - 1 - 2, u'n');
  };
  for (std::size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    std::u16string name = fileName(length);
    ASSERT_EQ(base + folder.size() + 1 + name.size(), length);
    std::string package = Package(2, 2, FolderEntry(u"\\p\\" + folder, 0) +
                                             FileEntry(u"\\p\\" + folder + u"\\" + name, "ok", 1));
    std::string folderName = fs::path(folder).string();
    std::map<std::string, std::string> kept = {{folderName, "dir"}};
    if (length == 259) {
      kept[folderName + "/" + fs::path(name).string()] = Hex("ok");
      ++inputsTried;
      EXPECT_EQ(RunKva(package, "unpack {in} {dest}", kept).status, cli::kExitOk);
      std::string sealed = Seal(package);
      EXPECT_EQ(RunKva(sealed, "open {in} {dest} --password-stdin", kept).status, cli::kExitOk);
      RunWorker(sealed, res::kIdsKeepOriginal, kept);
    } else {
      Try({"a target of 260 units", package, "would need a path of 260 characters or more",
           fs::path(name).string(), 0, kept});
    }
  }
  // A single top-level entry of 260: nothing at all is created.
  std::u16string top(260 - base, u'x');
  Try({"a top-level target of 260 units", Package(1, 0, FolderEntry(u"\\p\\" + top, 0)),
       "would need a path of 260 characters or more", std::string(260 - base, 'x'), 0});
}

// What a hostile container must end in on every route.
struct ContainerCase {
  std::string name;
  std::string bytes;
  std::string problem;      // in kva decrypt's and open's error line
  std::string infoShows;    // in kva info's output
  int infoStatus = cli::kExitFailure;
  std::string openProblem = "";  // when open words it differently
};

// A container through decrypt and info, and open and the worker.
class HostileContainers : public HostileInputs {
 protected:
  void Try(const ContainerCase& c, const std::string& password = kPassword) {
    SCOPED_TRACE(c.name);
    ++inputsTried;
    // decrypt's output would go into the destination; nothing may stay.
    ExpectError(RunKva(c.bytes, "decrypt {in} {dest}/plain --password-stdin", {}, nullptr, password),
                c.problem);
    KvaResult info = RunKva(c.bytes, "info {in}", {});
    EXPECT_EQ(info.status, c.infoStatus) << info.output;
    EXPECT_NE(info.output.find(c.infoShows), std::string::npos) << info.output;
    ExpectError(RunKva(c.bytes, "open {in} {dest} --password-stdin", {}, nullptr, password),
                c.openProblem.empty() ? c.problem : c.openProblem);
    RunWorker(c.bytes, res::kIdsDecryptFailed, {}, nullptr, password);
  }

  // A sealed package with a file of 1500 bytes: 2568 bytes of plaintext,
  // L = 2576, three chunks.
  std::string Sealed() {
    return Seal(Package(1, 1500, FileEntry(u"\\p\\f", RandomBytes(1500, 6), 0)));
  }
};

TEST_F(HostileContainers, CutAtEveryField) {
  std::string sealed = Sealed();
  ASSERT_EQ(sealed.size(), 28u + 2576u);
  const std::string truncated = "is truncated";
  Try({"cut inside the magic", sealed.substr(0, 2), "is not a KVA container",
       "is not a KVA container"});
  for (std::size_t cut : {4u, 5u, 6u, 10u}) {
    Try({"cut at " + std::to_string(cut), sealed.substr(0, cut), truncated,
         "the file ends inside the header"});
  }
  for (std::size_t cut : {std::size_t{12}, std::size_t{20}, std::size_t{27}, std::size_t{28},
                          std::size_t{28 + 512}, std::size_t{28 + 1024}, std::size_t{28 + 1500},
                          sealed.size() - 1}) {
    std::size_t shortBy = sealed.size() - cut;
    Try({"cut at " + std::to_string(cut), sealed.substr(0, cut), truncated,
         "the file ends " + std::to_string(shortBy) + " bytes short"});
  }
  // Cut mid-chunk with L rewritten to match: the header is sound, the
  // password right, and the cipher finds the damage.
  for (std::size_t length : {1000u, 1024u, 1040u, 2560u}) {
    std::string cut = sealed.substr(0, 28 + length);
    cut.replace(8, 4, Le32(static_cast<std::uint32_t>(length)));
    Try({"L rewritten to " + std::to_string(length), cut, "failed: the file is damaged",
         "state:       complete", cli::kExitOk, "the container is damaged"});
  }
  // L beyond the file.
  for (std::uint32_t length : {2577u, 0xFFFFFFFFu}) {
    std::string longer = sealed;
    longer.replace(8, 4, Le32(length));
    Try({"L = " + std::to_string(length), longer, truncated, "bytes short"});
  }
}

TEST_F(HostileContainers, ForeignFiles) {
  std::string sealed = Sealed();
  std::string wrongMagic = sealed;
  wrongMagic[0] = 'K';
  Try({"wrong magic", wrongMagic, "is not a KVA container", "is not a KVA container"});
  // A package starts with the same magic; its header record's first unit
  // ('\', 0x5C) lands on the cipher identifier.
  std::string package = Package(1, 3, FileEntry(u"\\p\\f", "abc", 0));
  Try({"a package as a container", package, "names an unknown cipher", "names an unknown cipher"});
  Try({"empty file", "", "is not a KVA container", "is not a KVA container"});
}

TEST_F(HostileContainers, UnknownCipherIdentifiers) {
  std::string sealed = Sealed();
  std::string cipher = sealed.substr(28);
  for (unsigned id = 0; id < 256; ++id) {
    if (id >= 1 && id <= 3) continue;
    SCOPED_TRACE(id);
    // The verifier is right for the password.
    std::string container = ContainerHeader(id, static_cast<std::uint32_t>(cipher.size())) + cipher;
    if (id >= 4 && id <= 8) {
      // A sound header: the cipher library refuses the identifier.
      Try({"cipher " + std::to_string(id), container, "failed: the file is damaged",
           "cipher:      " + std::to_string(id) + " (not known to this version)", cli::kExitOk,
           "the container is damaged"});
    } else {
      // Refused at the header, before the password is looked at: a wrong
      // one changes nothing.
      Try({"cipher " + std::to_string(id), container, "names an unknown cipher",
           "names an unknown cipher"},
          id % 2 == 0 ? kPassword : "wrong");
    }
  }
  // The library itself: -1, not -2, for a wrong password, and no plaintext.
  fs::path in = work_ / "c.kva";
  fs::path out = work_ / "out";
  WriteFile(in, ContainerHeader(9, static_cast<std::uint32_t>(cipher.size())) + cipher);
  const unsigned char wrong[] = "wrong";
  EXPECT_EQ(DecryptContainer(DevicePath(in).c_str(), DevicePath(out).c_str(), wrong, 5, nullptr, 0,
                             res::ProgramInstance()),
            kResultFailed);
  EXPECT_EQ(fs::file_size(out), 0u);
}

TEST_F(HostileContainers, OffsetsAtAndBeyondTheEnd) {
  std::string sealed = Sealed();
  const std::string size = std::to_string(sealed.size());
  struct Offset {
    std::string value;
    std::string problem;
    int status;
  };
  const Offset offsets[] = {
      {size, "is not a KVA container at offset " + size, cli::kExitFailure},
      {std::to_string(sealed.size() + 1), "is beyond the end of", cli::kExitFailure},
      {"4294967295", "is beyond the end of", cli::kExitFailure},
      {"4294967296", "--offset", cli::kExitUsage},  // not a 32-bit offset at all
      {"-1", "--offset", cli::kExitUsage},
  };
  for (const Offset& offset : offsets) {
    SCOPED_TRACE(offset.value);
    ++inputsTried;
    for (std::string command : {"decrypt {in} {dest}/plain --password-stdin", "info {in}"}) {
      KvaResult run = RunKva(sealed, command + " --offset " + offset.value, {});
      EXPECT_EQ(run.status, offset.status) << run.output;
      EXPECT_NE(run.output.find(offset.problem), std::string::npos) << run.output;
    }
  }
}

TEST_F(HostileContainers, DestinationsThatAreNoFolders) {
  std::string sealed = Seal(Package(1, 2, FileEntry(u"\\p\\f", "ok", 0)));
  std::string package = Package(1, 2, FileEntry(u"\\p\\f", "ok", 0));
  // The destination is replaced by a file, or by a link to one outside; it
  // must stay exactly as it was.
  const std::function<void()> plants[] = {
      [this] {
        fs::remove(dest_);
        WriteFile(dest_, "a file");
      },
      [this] {
        fs::remove(dest_);
        fs::create_symlink(sandbox_ / "outside" / "victim", dest_);
      },
  };
  for (const auto& plant : plants) {
    ++inputsTried;
    ExpectError(RunKva(package, "unpack {in} {dest}", {}, plant), "exists and is not a folder");
    ExpectError(RunKva(sealed, "open {in} {dest} --password-stdin", {}, plant),
                "exists and is not a folder");
    RunWorker(sealed, res::kIdsWrongFolder, {}, plant);
    // Below it, no folder can be made.
    destination_ = dest_ / "below";
    ExpectError(RunKva(package, "unpack {in} {dest}", {}, plant), "cannot create the folder");
    destination_.clear();
  }
}

TEST_F(HostileContainers, DestinationsAtTheLimit) {
  // Destinations of 259 and 260 UTF-16 units below dest: kva takes 259 (the
  // package's root then has no room, so an empty package is used) and
  // refuses 260 before anything is made. The worker's buffer holds 259 at
  // most, as does the main window's folder box.
  const std::size_t base = DevicePath(dest_).size() + 1;
  std::u16string first(100, u'Я');
  std::string firstName = fs::path(first).string();
  std::string empty = Package(0, 0, "");
  for (std::size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    ++inputsTried;
    std::u16string second = u"😀" + std::u16string(length - base - first.size() - 1 - 2, u'z');
    destination_ = dest_ / first / second;
    ASSERT_EQ(DevicePath(destination_).size(), length);
    std::string secondName = fs::path(second).string();
    if (length == 259) {
      std::map<std::string, std::string> made = {{firstName, "dir"},
                                                 {firstName + "/" + secondName, "dir"}};
      EXPECT_EQ(RunKva(empty, "unpack {in} {dest}", made).status, cli::kExitOk);
      EXPECT_EQ(RunKva(Seal(empty), "open {in} {dest} --password-stdin", made).status, cli::kExitOk);
      // A package with an entry has no room left in a destination of 259.
      std::string one = Package(1, 0, FolderEntry(u"\\p\\d", 0));
      ExpectError(RunKva(one, "unpack {in} {dest}", made),
                  "would need a path of 260 characters or more");
      auto parent = [&] { fs::create_directories(dest_ / first / second); };
      RunWorker(Seal(empty), res::kIdsKeepOriginal, made, parent);
      RunWorker(Seal(one), res::kIdsUnpackFailed, made, parent);
    } else {
      ExpectError(RunKva(empty, "unpack {in} {dest}", {}), "longer than 259 characters");
      ExpectError(RunKva(Seal(empty), "open {in} {dest} --password-stdin", {}),
                  "longer than 259 characters");
    }
    destination_.clear();
  }
}
