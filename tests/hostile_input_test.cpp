// Hostile packages and containers, each row run through every way in: the
// library (UnpackPackage; DecryptContainer at offset 0 and behind a
// carrier), kva (unpack, list; decrypt, info, open) and the worker (packages
// sealed in a container). Inputs are built after docs/FORMAT.md; containers
// are encrypted by `openssl enc` under cipher/README.md's worked example
// (password "secret"). Each run gets a fresh sandbox (input, destination,
// an "outside" folder) in which only the destination may change, and only
// as the row says. Builds without the Qt application (Windows, the
// ThreadSanitizer build) leave the worker's route out.
#ifdef TESSARON_WITH_WORKER
#include <sys/stat.h>

#include "tests/worker_fixture.h"
#else
#include <gtest/gtest.h>

#include <functional>

#include "res/resource_ids.h"
#include "tests/test_support.h"
#ifndef _WIN32
#include <sys/stat.h>
#endif
#endif

namespace fs = std::filesystem;
using namespace test_support;
using namespace std::string_literals;

namespace {

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ScratchDir(), box_ = root_ / "sandbox", dest_ = box_ / "dest";
    fs::create_directories(root_ / "tmp");
  }

  std::string Seal(const std::string& package) {
    WriteFile(root_ / "plain", package);
    std::string cipher;
    EXPECT_EQ(RunCommand("openssl enc -aes-128-cbc -K 2e9852e9eef59dde11254fdb7e53c88e -iv "
                         "2113f4bc3dd82699de1afa1a984941e2 -in " + Q(root_ / "plain"), &cipher), 0);
    return "~KVA\3\0\0\0"s + Le32(static_cast<std::uint32_t>(cipher.size())) +
           FromHex("ffea57bc0691b5bf26055afb86da48ca") + cipher;
  }

  // `route` on a fresh sandbox with `input` and what `plant` adds: then only
  // the destination differs, by `kept` (unless null).
  void Around(const std::string& input, const Tree* kept, const std::function<void()>& plant,
              const std::string& route, const std::function<void()>& run) {
    ASSERT_EQ(RunCommand("rm -rf " + Q(box_)), 0);  // (Wine's remove_all cannot remove a Linux link)
    fs::create_directories(dest_);
    fs::create_directories(box_ / "outside" / "folder");
    WriteFile(box_ / "outside" / "victim", "untouched");
    WriteFile(box_ / "in", input);
    if (plant) plant();
    Tree expected = Snapshot(box_);
    run();
    Tree after = Snapshot(box_);
    for (Tree* tree : {&expected, &after}) {
      if (kept == nullptr) std::erase_if(*tree, [](const auto& entry) { return entry.first.rfind("dest/", 0) == 0; });
    }
    for (const auto& [path, what] : kept != nullptr ? *kept : Tree{}) expected["dest/" + path] = what;
    EXPECT_EQ(after, expected) << route;
  }

  // kva, {in} and {dest} standing for the input and destination.
  KvaRun RunKva(const std::string& input, std::string arguments, const Tree& kept = {},
                const std::function<void()>& plant = nullptr, const std::string& password = kPassword) {
    for (const auto& [key, path] : {std::pair<std::string, fs::path>{"{in}", box_ / "in"}, {"{dest}", Where()}}) {
      for (std::size_t at; (at = arguments.find(key)) != std::string::npos;) arguments.replace(at, key.size(), Q(path));
    }
    KvaRun run;
    Around(input, &kept, plant, "kva " + arguments, [&] { run = Kva(arguments, password + "\n"); });
    return run;
  }

#ifdef TESSARON_WITH_WORKER
  // The worker shows `box` (after nothing else) and ends cleanly.
  WorkerOutcome Worker(const std::string& container, std::uint32_t box, const Tree& kept = {},
                       const std::function<void()>& plant = nullptr, const std::string& password = kPassword) {
    WorkerOutcome outcome;
    Around(container, &kept, plant, "worker", [&] {
      ExpectBoxes(outcome = RunWorker(box_ / "in", Where(), root_ / "tmp", password), {box});
    });
    return outcome;
  }
#else
  struct WorkerOutcome {
    int bar = 100;
  };
  WorkerOutcome Worker(const std::string&, std::uint32_t, const Tree& = {}, const std::function<void()>& = nullptr,
                       const std::string& = kPassword) {
    return {};
  }
#endif

  static void Fails(const KvaRun& run, int status, const std::string& problem) {
    const std::size_t at = run.output.find("kva: ");
    EXPECT_TRUE(run.status == status && at != std::string::npos && run.output.find(problem, at) != std::string::npos)
        << "expected " << status << " and '" << problem << "' from: " << run.output;
  }

  fs::path Where() const { return destination_.empty() ? dest_ : destination_; }

  fs::path root_, box_, dest_, destination_;
};

// A package on every route; no problem: it unpacks everywhere.
struct PackageCase {
  std::string name, bytes;
  std::string problem;  // in kva unpack's error line
  std::string listed;   // in kva list's output
  int listStatus = 0;   // kva list shows it (unsafe paths marked), or fails
  Tree kept = {};       // the destination afterwards
  std::function<void(const fs::path& dest)> plant = nullptr;
};

class HostilePackages : public Hostile {
 protected:
  WorkerOutcome Try(const PackageCase& c) {
    SCOPED_TRACE(c.name);
    const auto plant = [&] { if (c.plant) c.plant(dest_); };
    const bool whole = c.problem.empty();
    Around(c.bytes, &c.kept, plant, "library", [&] { EXPECT_EQ(Unpack(box_ / "in", dest_), whole ? 0 : -1); });
    // kva looks at every record before it writes: what it finds there
    // leaves the destination as it was.
    const bool seen = !whole && c.problem != "cannot create";
    const KvaRun unpack = RunKva(c.bytes, "unpack {in} {dest} --force", seen ? Tree{} : c.kept, plant);
    EXPECT_EQ(unpack.status, whole ? 0 : 1) << unpack.output;
    if (!whole) Fails(unpack, 1, c.problem);
    std::string listed = c.listed;  // with the host's separator, as kva writes paths
    std::replace(listed.begin(), listed.end(), '/', static_cast<char>(fs::path::preferred_separator));
    const KvaRun list = RunKva(c.bytes, "list {in} --password-stdin", {}, plant);
    EXPECT_TRUE(list.status == c.listStatus && list.output.find(listed) != std::string::npos) << list.output;
    // Whatever the names hold, no control byte (C0, DEL, C1) reaches the
    // terminal but kva's own line ends.
    for (std::size_t i = 0; i < list.output.size(); ++i) {
      const auto byte = static_cast<unsigned char>(list.output[i]);
      const bool c1 = byte == 0xC2 && i + 1 < list.output.size() && (list.output[i + 1] & 0xE0) == 0x80;
      EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7F && !c1)) << i << ": " << list.output;
    }
    return Worker(Seal(c.bytes), whole ? res::kIdsKeepOriginal : res::kIdsUnpackFailed, c.kept, plant);
  }
};

// A container on every route.
struct ContainerCase {
  std::string name, bytes;
  int library;                // DecryptContainer's result, at offset 0 and behind a carrier
  std::string problem, info;  // in kva decrypt's and open's error line; in kva info's output
  int infoStatus = 1;
  std::string openProblem = "";  // when open words it differently
  std::string password = kPassword;
};

class HostileContainers : public Hostile {
 protected:
  void Try(const ContainerCase& c) {
    SCOPED_TRACE(c.name);
    const int status = c.library == -2 ? 2 : 1;
    // Failing before any ciphertext is decrypted, the library leaves the
    // output empty; behind a carrier nothing changes.
    const Tree empty = {{"plain", ""}};
    for (std::uint32_t offset : {0u, 1024u}) {
      Around(offset == 0 ? c.bytes : RandomBytes(1000, 1) + std::string(24, '\0') + c.bytes,
             c.infoStatus != 0 || c.library == -2 ? &empty : nullptr, nullptr, "library",
             [&] { EXPECT_EQ(Decrypt(box_ / "in", dest_ / "plain", offset, c.password), c.library) << offset; });
    }
    Fails(RunKva(c.bytes, "decrypt {in} {dest}/plain --password-stdin", {}, nullptr, c.password), status, c.problem);
    const KvaRun info = RunKva(c.bytes, "info {in}");
    EXPECT_TRUE(info.status == c.infoStatus && info.output.find(c.info) != std::string::npos) << info.output;
    Fails(RunKva(c.bytes, "open {in} {dest} --password-stdin", {}, nullptr, c.password), status,
          c.openProblem.empty() ? c.problem : c.openProblem);
    Worker(c.bytes, c.library == -2 ? res::kIdsWrongPassword : res::kIdsDecryptFailed, {}, nullptr, c.password);
  }
};

const Tree kNothing;
const std::string kUnsafe = "its path could lead outside the destination", kEarly = "the package ends early",
                  kNotPackage = "is not a KVA package", kNoEnd = "its path does not end within its record",
                  kTooLong = "would need a path of 260 characters or more",
                  kPackage = "is a KVA package, not an encrypted container: use kva unpack";

}  // namespace

TEST_F(HostilePackages, TraversalAndMalformedNames) {
  const std::pair<std::u16string, std::uint32_t> names[] = {  // path, depth
      {u"\\p\\..\\evil", 1}, {u"\\p\\.", 0}, {u"\\p\\a\\.\\b", 2},
      {u"\\p\\\\abs", 1},  // the relative part would start at the root
      {u"\\p\\", 0}, {u"\\p\\a\\\\b", 2},  // empty components
      {u"\\abs", 1}, {u"\\p\\x", 0xFFFFFFFF},  // fewer backslashes than depth + 1
      {u"\\p\\a/b", 0}, {u"\\p\\..\\outside/victim", 1}};  // '/' separates on the host
  bool file = false;
  for (const auto& [path, depth] : names) {
    file = !file;
    const std::string entry = file ? FileEntry(path, "evil", depth) : FolderEntry(path, depth);
    Try({Utf8(path), PackageBytes(1, file ? 4 : 0, entry), kUnsafe, "(unsafe path)"});
  }
  Try({"climbing out of the first folder",
       PackageBytes(3, 6, FolderEntry(u"\\p\\top", 0) + FileEntry(u"\\p\\top\\f", "ok", 1) +
                              FileEntry(u"\\p\\top\\..\\..\\evil", "evil", 3)),
       kUnsafe, "(unsafe path)", 0, {{"top", "dir"}, {"top/f", Hex("ok")}}});
  // A path that fills its record without a NUL: cut short, it would name
  // "abc", which the package never held.
  std::u16string full(260, u'n');
  full[0] = u'\\';
  full.replace(255, 5, u"\\abcZ");
  Try({"a path with no end in its record", PackageBytes(1, 4, FileEntry(full, "evil", 0)), kNoEnd, kNoEnd, 1});
  // ESC, BEL, a line end and U+009B (a terminal's CSI) in a name: listed
  // escaped, so that a name can neither forge a line nor hide a mark.
  const std::u16string loud = u"a\x1b[31m\a\nfake\u009bА";  // "А" is D0 90: no C1 control
#ifdef _WIN32
  Try({"control characters", PackageBytes(1, 2, FileEntry(u"\\p\\" + loud, "ok", 0)), "cannot create",
       "a\\x1b[31m\\x07\\nfake\\u009bА"});
  // Names Windows cannot hold or would read as something else (a device, a
  // stream of another file, a name without its final dot) are refused there,
  // and kva says why (on Linux they are names like any other).
  const std::string device = "is the name of a device on Windows", dot = "ends in a dot or a space",
                    character = "holds a character Windows names cannot hold";
  for (const auto& [name, why] : std::vector<std::pair<std::u16string, std::string>>{
           {u"CON", device}, {u"nul.txt", device}, {u"Com1", device}, {u"COM0", device}, {u"lpt0.log", device},
           {u"COM\u00b9", device}, {u"lpt\u00b3.txt", device}, {u"CONIN$", device}, {u"conout$.x", device},
           {u"a:b", character}, {u"C:", character}, {u"dots.", dot}, {u"space ", dot}, {u"star*", character},
           {u"pipe|", character}, {u"quote\"", character}, {u"tab\t", character}}) {
    const std::string package = PackageBytes(1, 2, FileEntry(u"\\p\\" + name, "ok", 0));
    Around(package, &kNothing, nullptr, Utf8(name), [&] { EXPECT_EQ(Unpack(box_ / "in", dest_), -1); });
    Fails(RunKva(package, "unpack {in} {dest}"), 1, why);
  }
#else
  Try({"control characters", PackageBytes(1, 2, FileEntry(u"\\p\\" + loud, "ok", 0)), "",
       "a\\x1b[31m\\x07\\nfake\\u009bА", 0, {{Utf8(loud), Hex("ok")}}});
#endif
}

TEST_F(HostilePackages, CutShortForeignOrLying) {
  const std::string f = RandomBytes(1500, 5);
  const std::string whole = PackageBytes(3, 1510, FolderEntry(u"\\p\\top", 0) + FileEntry(u"\\p\\top\\f", f, 1) +
                                                      FileEntry(u"\\p\\top\\g", "0123456789", 1));
  const Tree top = {{"top", "dir"}}, topF = {{"top", "dir"}, {"top/f", Hex(f)}};
  const PackageCase cases[] = {
      {"cut inside the magic", whole.substr(0, 2), kNotPackage, "is not a KVA package", 1},
      {"cut inside the first record", whole.substr(0, 736), kEarly, "0 of 3 entries", 1},
      {"cut inside a file's content", whole.substr(0, 2300), kEarly, "inside the content of 'top/f'", 1, top},
      {"cut inside the last record", whole.substr(0, 3631), kEarly, "2 of 3 entries", 1, topF},
      {"cut one byte short", whole.substr(0, whole.size() - 1), kEarly, "inside the content of 'top/g'", 1, topF},
      {"wrong magic", "~KVB" + whole.substr(4), kNotPackage, "is not a KVA package", 1},
      {"a count of 4294967295", PackageBytes(0xFFFFFFFF, 3, FolderEntry(u"\\p\\d", 0) + FileEntry(u"\\p\\d\\f", "abc", 1)),
       kEarly, "2 of 4294967295 entries", 1, {{"d", "dir"}, {"d/f", Hex("abc")}}},
      {"a file claiming 4 GiB - 1 bytes", PackageBytes(1, 0xFFFFFFFF, RecordBytes(u"\\p\\big", 1, 0xFFFFFFFF, 0) + f),
       kEarly, "inside the content of 'big'", 1},
      // Content that ends early leaves the file of that name as it was.
      {"cut short over a file", PackageBytes(1, 3000, RecordBytes(u"\\p\\kept", 1, 3000, 0) + f), kEarly,
       "inside the content of 'kept'", 1, {}, [](const fs::path& d) { WriteFile(d / "kept", "the user's"); }},
      // The same magic, then ciphertext read as records by the library;
      // kva tells them apart, and list decrypts it.
      {"a container as a package", Seal(whole), "is an encrypted container: use kva open", "top/g", 0},
      {"a file where a folder must go", PackageBytes(2, 1, FileEntry(u"\\p\\x", "1", 0) + FolderEntry(u"\\p\\x\\y", 1)),
       "cannot create", "x/y", 0, {{"x", Hex("1")}}},
      {"no record made the folder", PackageBytes(1, 1, FileEntry(u"\\p\\no\\f", "1", 1)), "cannot create", "no/f", 0}};
  for (const PackageCase& c : cases) Try(c);
  // The header's total only feeds progress: a lying one unpacks everywhere,
  // and the worker's bar ends full (clamped, when done passes the total).
  const std::string content = RandomBytes(5000, 6);
  for (std::uint32_t total : {0u, 1u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Try({"a total of " + std::to_string(total),
                   PackageBytes(2, total, FolderEntry(u"\\p\\d", 0) + FileEntry(u"\\p\\d\\f", content, 1)), "",
                   "content bytes: " + std::to_string(total), 0, {{"d", "dir"}, {"d/f", Hex(content)}}})
                  .bar, 100) << total;
  }
}

// Links planted in the destination are never followed or written through
// (under Wine too, which sees the Linux links as reparse points); a hard
// link to a file outside and a FIFO nobody reads are replaced.
TEST_F(HostilePackages, LinksAndSpecialFilesInTheDestination) {
  const auto link = [](const fs::path& d) { ASSERT_EQ(RunCommand("ln -s ../outside " + Q(d / "link")), 0); };
  std::vector<PackageCase> cases = {
      {"a folder through a link", PackageBytes(1, 0, FolderEntry(u"\\p\\link", 0)), "cannot create", "link", 0, {}, link},
      {"a file below a link", PackageBytes(2, 1, FolderEntry(u"\\p\\link", 0) + FileEntry(u"\\p\\link\\victim", "1", 1)),
       "cannot create", "link/victim", 0, {}, link},
#ifdef _WIN32
      // Wine shows a Linux link to a file as a plain file: replaced, never
      // written through.
      {"a file over a link", PackageBytes(1, 1, FileEntry(u"\\p\\flink", "1", 0)), "", "flink", 0, {{"flink", Hex("1")}},
#else
      {"a file over a link", PackageBytes(1, 1, FileEntry(u"\\p\\flink", "1", 0)), "cannot create", "flink", 0, {},
#endif
       [](const fs::path& d) { ASSERT_EQ(RunCommand("ln -s ../outside/victim " + Q(d / "flink")), 0); }}};
#ifndef _WIN32
  cases.push_back({"a hard link and a FIFO replaced",
                   PackageBytes(2, 3, FileEntry(u"\\p\\hard", "ne", 0) + FileEntry(u"\\p\\fifo", "f", 0)), "", "fifo", 0,
                   {{"hard", Hex("ne")}, {"fifo", Hex("f")}}, [](const fs::path& d) {
                     fs::create_hard_link(d / ".." / "outside" / "victim", d / "hard");
                     ASSERT_EQ(mkfifo((d / "fifo").c_str(), 0600), 0);
                   }});
#endif
  for (const PackageCase& c : cases) Try(c);
}

TEST_F(HostileContainers, EveryField) {
  const std::string sealed = Seal(PackageBytes(1, 1500, FileEntry(u"\\p\\f", RandomBytes(1500, 6), 0)));
  ASSERT_EQ(sealed.size(), 28u + 2576u);  // three chunks
  const std::string notContainer = "is not a KVA container", truncated = "is truncated",
                    unknown = "names an unknown cipher", damaged = "failed: the file is damaged";
  std::vector<ContainerCase> cases = {
      {"cut inside the magic", sealed.substr(0, 2), -1, notContainer, notContainer},
      {"empty", "", -1, notContainer, notContainer},
      {"wrong magic", "K" + sealed.substr(1), -1, notContainer, notContainer},
      {"a package as a container", PackageBytes(1, 3, FileEntry(u"\\p\\f", "abc", 0)), -1, kPackage, kPackage},
      {"wrong password", sealed, -2, "wrong password", "state:       complete", 0, "", "wrong"}};
  for (std::size_t cut : {4u, 5u, 10u}) {
    cases.push_back({"cut at " + std::to_string(cut), sealed.substr(0, cut), -1, truncated,
                     "the file ends inside the header"});
  }
  // A truncated container fails before its password is looked at.
  for (const std::size_t cut : {std::size_t{12}, std::size_t{28}, std::size_t{1052}, sealed.size() - 1}) {
    cases.push_back({"cut at " + std::to_string(cut), sealed.substr(0, cut), -1, truncated,
                     "the file ends " + std::to_string(sealed.size() - cut) + " bytes short", 1, "",
                     cut % 2 ? kPassword : "wrong"});
  }
  for (std::uint32_t length : {2577u, 0xFFFFFFFFu}) {
    cases.push_back({"L = " + std::to_string(length), sealed.substr(0, 8) + Le32(length) + sealed.substr(12), -1, truncated,
                     "bytes short", 1, "", "wrong"});
  }
  // L cut at a piece's edges, the header sound: the cipher finds the damage.
  for (std::uint32_t length : {1000u, 1024u, 1040u, 2560u}) {
    cases.push_back({"L = " + std::to_string(length), sealed.substr(0, 8) + Le32(length) + sealed.substr(12, 16 + length),
                     -1, damaged, "state:       complete", 0, "the container is damaged"});
  }
  // Identifiers 0 and 9 to 255 are refused at the header, whatever the
  // password (92, '\\', starts a package's path); 4 to 8 pass it, and the
  // cipher library refuses them.
  for (unsigned id : {0u, 4u, 8u, 9u, 92u, 255u}) {
    const std::string bytes = sealed.substr(0, 4) + std::string(1, static_cast<char>(id)) + sealed.substr(5);
    const std::string& refused = id == 92 ? kPackage : unknown;
    cases.push_back(id >= 4 && id <= 8 ? ContainerCase{"id", bytes, -1, damaged, "(not known to this version)", 0,
                                        "the container is damaged"}
                        : ContainerCase{"id", bytes, -1, refused, refused, 1, "", "wrong"});
  }
  for (const ContainerCase& c : cases) Try(c);
  const std::string size = std::to_string(sealed.size());
  const std::tuple<std::string, std::string, int> offsets[] = {  // kva decrypt and info at offsets
      {size, "is not a KVA container at offset " + size, 1}, {std::to_string(sealed.size() + 1), "is beyond the end of", 1},
      {"4294967295", "is beyond the end of", 1}, {"4294967296", "--offset", 64}, {"-1", "--offset", 64}};
  for (const auto& [offset, problem, status] : offsets) {
    for (std::string command : {"decrypt {in} {dest}/plain --password-stdin", "info {in}"}) {
      const KvaRun run = RunKva(sealed, command + " --offset " + offset);
      EXPECT_TRUE(run.status == status && run.output.find(problem) != std::string::npos) << run.output;
    }
  }
}

// A destination that is no folder stays as it was; one of 259 units takes an
// empty package (nothing more fits), one of 260 is refused before anything
// is made (the worker's buffer, like the folder box, holds 259 at most).
TEST_F(Hostile, DestinationsThatAreNoFoldersOrTooLong) {
  const std::string package = PackageBytes(1, 2, FileEntry(u"\\p\\f", "ok", 0)), sealed = Seal(package);
  const std::vector<std::function<void()>> plants = {
      [this] { fs::remove(dest_), WriteFile(dest_, "a file"); },
#ifndef _WIN32
      [this] { fs::remove(dest_), fs::create_symlink("outside/victim", dest_); },
#endif
  };
  for (const auto& plant : plants) {
    destination_.clear();
    Fails(RunKva(package, "unpack {in} {dest}", {}, plant), 1, "exists and is not a folder");
    Fails(RunKva(sealed, "open {in} {dest} --password-stdin", {}, plant), 1, "exists and is not a folder");
    Worker(sealed, res::kIdsWrongFolder, {}, plant);
    destination_ = dest_ / "below";
    Fails(RunKva(package, "unpack {in} {dest}", {}, plant), 1, "cannot create the folder");
  }
  const std::u16string first(100, u'Я');
  const std::string empty = PackageBytes(0, 0, ""), one = PackageBytes(1, 0, FolderEntry(u"\\p\\d", 0));
  for (std::size_t length : {259u, 260u}) {
    const std::u16string second = u"😀" + std::u16string(length - DevicePath(dest_).size() - 104, u'z');
    destination_ = dest_ / first / second;
    const std::string name = Utf8(first);
    const Tree made = {{name, "dir"}, {name + "/" + Utf8(second), "dir"}};
    if (length == 259) {
      EXPECT_EQ(RunKva(empty, "unpack {in} {dest}", made).status, 0);
      EXPECT_EQ(RunKva(Seal(empty), "open {in} {dest} --password-stdin", made).status, 0);
      Fails(RunKva(one, "unpack {in} {dest}"), 1, kTooLong);
      const auto parent = [&] { fs::create_directories(destination_); };
      Worker(Seal(empty), res::kIdsKeepOriginal, made, parent);
      Worker(Seal(one), res::kIdsUnpackFailed, made, parent);
    } else {
      Fails(RunKva(empty, "unpack {in} {dest}"), 1, "longer than 259 characters");
      Fails(RunKva(Seal(empty), "open {in} {dest} --password-stdin"), 1, "longer than 259 characters");
    }
  }
}
