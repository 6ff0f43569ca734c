// PackPackage and UnpackPackage on real trees, checked against the trees,
// and the folders unpacking makes.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#endif

#include "securefile/pack.h"
#include "securefile/path_helpers.h"
#include "tests/scripted_message_box.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// Nested and empty folders, files either side of 1024 bytes, names ending
// in "." (which Windows cannot hold).
void MakeTree(const fs::path& root) {
  fs::create_directories(root / "empty folder");
  fs::create_directories(root / u8"Фото" / u8"写真" / "deeper");
  WriteFile(root / "empty file", "");
  WriteFile(root / "a" / "1023", RandomBytes(1023, 1));
  WriteFile(root / "a" / "b" / "1025", RandomBytes(1025, 2));
  WriteFile(root / u8"Фото" / u8"写真" / u8"東京.txt", RandomBytes(5000, 3));
#ifndef _WIN32
  WriteFile(root / "notes.", "notes");
  WriteFile(root / "v1." / "...", "dots");
#endif
}

// What unpacking `root` into an empty folder must give.
Tree Unpacked(const fs::path& root) {
  const std::string name = Utf8(root.filename());
  if (!fs::is_directory(root)) return {{name, Hex(ReadFile(root))}};
  Tree tree{{name, "dir"}};
  for (const auto& [path, what] : Snapshot(root)) tree[name + "/" + path] = what;
  return tree;
}

}  // namespace

// A root packing takes unpacks into the tree it names, and measuring agrees,
// making and reporting nothing; one the unpacker could not place is refused.
TEST(PackageRoots, WhatPackingTakesUnpacksIntoTheSameTree) {
  const fs::path dir = ScratchDir();
  MakeTree(dir / "tree");
  const std::u16string d = DevicePath(dir);
  const std::pair<std::u16string, std::string> roots[] = {  // what it names below dir, or "" if refused
      {d + u"\\tree", "tree"}, {d + u"\\\\tree\\\\", "tree"}, {d + u"\\.\\tree\\.", "tree"},
      {d + u"\\tree\\a\\1023", "tree/a/1023"}, {d + u"\\tree\\notes.", "tree/notes."}, {d + u"\\tree\\v1.", "tree/v1."},
      {u"tree", ""}, {u"\\", ""}, {u"\\\\.", ""},  // relative (the working folder is dir), nameless
      {d + u"\\tree\\..\\tree", ""},                // ".." means what the links on the way make it
      {d + u"\\tree\\a\\1023\\", ""}};              // a file is not a folder
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  for (const auto& [root, names] : roots) {
    SCOPED_TRACE(Utf8(root));
    fs::remove_all(dir / "out");
    reports.clear();
    const Measured measured = Measure(root, DevicePath(dir / "p.pkg"));
    EXPECT_TRUE(reports.empty() && !fs::exists(dir / "p.pkg"));
    const int packed =
        PackPackage(root.c_str(), DevicePath(dir / "p.pkg").c_str(), 0, 0, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(packed == measured.result && packed == (names.empty() ? -1 : 0));
    EXPECT_EQ(fs::exists(dir / "p.pkg"), !names.empty());
    if (names.empty()) continue;
    const ParsedRecord header = ParsePackage(ReadFile(dir / "p.pkg"))[0];
    EXPECT_TRUE(header.first == measured.entries && header.second == measured.bytes);
    EXPECT_TRUE(Unpack(dir / "p.pkg", dir / "out") == 0 && Snapshot(dir / "out") == Unpacked(dir / names));
    fs::remove(dir / "p.pkg");
  }
  fs::current_path(previous);
}

// The header names the root and counts; each entry appears once with its
// kind, content and depth, in the last folder recorded one level up (so a
// subtree comes whole before the next sibling). Unpacked files replace what
// is there, with the user's default permissions (never the executable bit).
TEST(PackageFormat, RecordsFollowTheTreeDepthFirst) {
  const fs::path dir = ScratchDir(), root = dir / "tree";
  MakeTree(root);
#ifndef _WIN32
  ::chmod((root / "empty file").c_str(), 0755);
#endif
  ASSERT_EQ(Pack(root, dir / "p.pkg"), 0);
  const std::string package = ReadFile(dir / "p.pkg");
  const std::vector<ParsedRecord> records = ParsePackage(package);
  const std::u16string rootPath = DevicePath(root);
  ASSERT_GE(records.size(), 2u);
  EXPECT_TRUE(records[0].path == rootPath && records[0].first == records.size() - 1);
  EXPECT_TRUE(records[1].path == rootPath && records[1].first == 0 && records[1].third == 0);
  std::vector<std::u16string> folders{rootPath};  // the last folder seen at each depth
  std::uint32_t total = 0;
  Tree seen;
  for (std::size_t i = 2; i < records.size(); ++i) {
    const ParsedRecord& r = records[i];
    ASSERT_TRUE(r.third >= 1 && r.third <= folders.size()) << fs::path(r.path);
    const std::u16string parent = folders[r.third - 1] + u"\\";
    ASSERT_EQ(r.path.substr(0, parent.size()), parent) << "not in the last folder one level up";
    EXPECT_EQ(r.path.find(u'\\', parent.size()), std::u16string::npos);
    std::string relative = Utf8(r.path.substr(rootPath.size() + 1));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    seen[relative] = r.first == 0 ? "dir" : Hex(package.substr(r.at + 532, r.second));
    folders.resize(r.third);
    if (r.first == 0) folders.push_back(r.path);
    total += r.first == 0 ? 0 : r.second;
  }
  EXPECT_EQ(records[0].second, total);
  EXPECT_EQ(seen, Snapshot(root));
  WriteFile(dir / "out" / "tree" / "empty file", "older and longer");
  ASSERT_EQ(Unpack(dir / "p.pkg", dir / "out" / ""), 0) << "a trailing separator";
  EXPECT_EQ(Snapshot(dir / "out"), Unpacked(root));
#ifndef _WIN32
  struct stat info;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_TRUE(::stat((dir / "out" / "tree" / "empty file").c_str(), &info) == 0 &&
              (info.st_mode & 0777) == (0666u & ~mask));
#endif
}

TEST(PackageModes, AppendAddsASecondTreeBehindTheFirst) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "one" / "a", "first");
  WriteFile(dir / "two" / "b", "second!");
  ASSERT_EQ(Pack(dir / "one", dir / "p.pkg"), 0);
  const std::string before = ReadFile(dir / "p.pkg");
  reports.clear();
  ASSERT_EQ(Pack(dir / "two", dir / "p.pkg", true, Record), 0);
  const std::string after = ReadFile(dir / "p.pkg");
  EXPECT_EQ(after.substr(536, before.size() - 536), before.substr(536)) << "old entries in place";
  const std::vector<ParsedRecord> records = ParsePackage(after);
  ASSERT_EQ(records.size(), 5u);
  EXPECT_TRUE(records[0].path == DevicePath(dir / "two") && records[0].first == 4 && records[0].second == 12);
  EXPECT_TRUE(records[3].path == DevicePath(dir / "two") && records[3].third == 0) << "the new root";
  const std::u16string b = DevicePath(dir / "two" / "b");  // none for the root's record, the old total counted on
  EXPECT_EQ(reports, (std::vector<Report>{{5, 0, b}, {12, 0, b}}));
  ASSERT_EQ(Unpack(dir / "p.pkg", dir / "out"), 0);
  EXPECT_EQ(Snapshot(dir / "out"),
            (Tree{{"one", "dir"}, {"one/a", Hex("first")}, {"two", "dir"}, {"two/b", Hex("second!")}}));
  // Onto something that is no package, or nothing: -1, nothing changed.
  WriteFile(dir / "not.pkg", "not a package");
  EXPECT_EQ(Pack(dir / "one", dir / "not.pkg", true), -1);
  EXPECT_EQ(ReadFile(dir / "not.pkg"), "not a package");
  EXPECT_EQ(Pack(dir / "one", dir / "missing.pkg", true), -1);
  EXPECT_EQ(Pack(dir / "missing", dir / "new.pkg"), -1);
  EXPECT_FALSE(fs::exists(dir / "missing.pkg") || fs::exists(dir / "new.pkg"));
}

// Sealing to a stream plans the package, then writes it: a tree changed in
// between (an entry fewer of no bytes, a byte fewer) is refused.
TEST(PackageModes, ATreeChangedSincePlanningIsRefused) {
  struct Discard : securefile::ByteWriter { bool Write(const void*, std::uint32_t) override { return true; } } sink;
  const fs::path dir = ScratchDir(), empty = dir / "t" / "empty", a = dir / "t" / "a";
  const std::u16string root = DevicePath(dir / "t");
  for (const auto& change : std::vector<std::function<void()>>{[&] { fs::remove(empty); }, [&] { WriteFile(a, "ab"); }}) {
    WriteFile(a, "abc"), WriteFile(empty, "");
    securefile::PackContext context;
    std::uint32_t entries = 0;
    std::uint64_t bytes = 0;
    ASSERT_EQ(securefile::PlanPackage(context, root.c_str(), &entries, &bytes), 0);
    change();
    EXPECT_TRUE(securefile::WritePlannedPackage(context, root.c_str(), sink, entries, bytes) == -1 &&
                context.failure == securefile::PackFailure::kTreeChanged);
  }
}

#ifndef _WIN32
// A socket, a link to a folder (a loop, or outside the tree) or to nothing
// is asked about: OK leaves it out, Cancel fails, deleting a new package or
// restoring one appended to. A link to a file is packed as its content.
// Measuring opens nothing: it counts the socket, not the links.
TEST(PosixPackage, UnreadableFilesAndLinksAreAskedAbout) {
  const fs::path dir = ScratchDir(), tree = dir / "tree";
  WriteFile(dir / "outside", "outside");
  WriteFile(tree / "sub" / "a", "a");
  fs::create_symlink(dir / "outside", tree / "file link");
  fs::create_directory_symlink("..", tree / "sub" / "loop");
  fs::create_directory_symlink("/", tree / "root");
  fs::create_symlink(dir / "nowhere", tree / "dangling");
  sockaddr_un address{AF_UNIX, {}};
  (tree / "sock").string().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(socket(AF_UNIX, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const Measured measured = Measure(DevicePath(tree));
  EXPECT_TRUE(measured.entries == 5 && measured.bytes == 8);
  ScriptedMessageBox boxes;
  for (int i = 0; i < 4; ++i) boxes.Answer(platform::kAnswerOk);
  ASSERT_EQ(Pack(tree, dir / "p.pkg"), 0);
  std::set<std::u16string> asked, expected;
  for (const auto& box : boxes.boxes) {
    asked.insert(box.text.substr(0, box.text.find(u'\n')));
    EXPECT_TRUE(box.caption == u"Ошибка" && box.owner == nullptr);
    EXPECT_NE(box.text.find(u"\nЧтобы пропустить"), box.text.npos);
    EXPECT_EQ(box.style, platform::kButtonsOkCancel | platform::kIconExclamation);
  }
  for (const char* name : {"dangling", "root", "sub/loop", "sock"}) {
    expected.insert(u"При чтении файла:" + DevicePath(tree / name) + u", произошла ошибка!");
  }
  EXPECT_EQ(asked, expected);
  EXPECT_EQ(ParsePackage(ReadFile(dir / "p.pkg"))[0].first, 4u) << "left out of the count";
  ASSERT_EQ(Unpack(dir / "p.pkg", dir / "out"), 0);
  EXPECT_EQ(Snapshot(dir / "out"),
            (Tree{{"tree", "dir"}, {"tree/sub", "dir"}, {"tree/sub/a", Hex("a")}, {"tree/file link", Hex("outside")}}));
  boxes.Answer(platform::kAnswerCancel);
  EXPECT_EQ(Pack(tree, dir / "cancel.pkg"), -1);
  EXPECT_FALSE(fs::exists(dir / "cancel.pkg"));
  const std::string before = ReadFile(dir / "p.pkg");
  boxes.Answer(platform::kAnswerCancel);
  EXPECT_EQ(Pack(tree, dir / "p.pkg", true), -1);
  EXPECT_EQ(Hex(ReadFile(dir / "p.pkg")), Hex(before));
  // The root itself may be a link the user named: that one is followed.
  WriteFile(dir / "plain" / "f", "f");
  fs::create_directory_symlink(dir / "plain", dir / "named");
  ASSERT_EQ(Pack(dir / "named", dir / "named.pkg"), 0);
  ASSERT_EQ(Unpack(dir / "named.pkg", dir / "out2"), 0);
  EXPECT_EQ(Snapshot(dir / "out2"), (Tree{{"named", "dir"}, {"named/f", Hex("f")}}));
}

// Runs, when set, just before the library makes a folder: another unpacker
// getting there first. (The test is linked with --wrap=mkdir.)
std::function<void(const char*)> interloper;
extern "C" int __real_mkdir(const char* path, mode_t mode);
extern "C" int __wrap_mkdir(const char* path, mode_t mode) {
  if (interloper) interloper(path);
  return __real_mkdir(path, mode);
}

// Two unpackers into the same new folder: the one whose creation fails
// because the other has just made the folder has its folder all the same; a
// file made there meanwhile is still in the way.
TEST(PosixPackage, AFolderMadeMeanwhileIsTaken) {
  const fs::path dir = ScratchDir();
  interloper = [](const char* path) { __real_mkdir(path, 0777); };
  EXPECT_EQ(securefile::CreatePathFolders(DevicePath(dir / "x" / "y").c_str()), 0);
  interloper = [](const char* path) { WriteFile(path, ""); };
  EXPECT_EQ(securefile::CreatePathFolders(DevicePath(dir / "x" / "y" / "file").c_str()), -1);
  interloper = nullptr;
  EXPECT_TRUE(fs::is_directory(dir / "x" / "y") && fs::is_regular_file(dir / "x" / "y" / "file"));
}
#else
// Windows roots name a device: "C:\", "\\server\share\" and the "\\?\C:\"
// form shaped like one are never taken apart into folders to make.
TEST(PackageFolders, DrivesAndSharesAreLeftAlone) {
  const fs::path dir = ScratchDir();
  const std::u16string path = DevicePath(dir / "u" / "v");
  EXPECT_EQ(securefile::CreatePathFolders((u"\\\\?\\" + path).c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "u" / "v"));
  EXPECT_EQ(securefile::CreatePathFolders(path.substr(0, 3).c_str()), 0) << "a drive alone";
}
#endif

// What a package cannot hold fails, leaving none; so does a name gone since
// its folder was listed (said in a box). A package never replaces what it
// packs, and one inside the tree leaves itself out, measured or written.
TEST(PackageLimits, WhatAPackageCannotHold) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "big" / "small", "x");
  WriteFile(dir / "big" / "huge", "");
  fs::resize_file(dir / "big" / "huge", std::uint64_t{1} << 32);  // sparse
  WriteFile(dir / "names" / "back\\slash", "");
  WriteFile(dir / "names2" / "bad\xff", "");
  fs::path deep = dir;
  while (DevicePath(deep).size() < 270) deep /= std::string(40, 'd');
  WriteFile(deep / "f", "x");
  for (const fs::path& root : {dir / "big", fs::path("/proc/self/status"), dir / "names", dir / "names2", deep / "f"}) {
    EXPECT_EQ(Pack(root, dir / "p.pkg"), -1) << root;  // (/proc: its length differs from its size, 0)
    EXPECT_FALSE(fs::exists(dir / "p.pkg"));
  }
  static fs::path vanishing;
  vanishing = dir / "vanishing";
  WriteFile(vanishing / "x", "x");
  WriteFile(vanishing / "y", "y");
  ScriptedMessageBox boxes;
  EXPECT_EQ(Pack(vanishing, dir / "p.pkg", false, [](std::uint32_t, std::uint32_t, const char16_t* text) {
              for (const auto& entry : fs::directory_iterator(vanishing)) {
                if (text != nullptr && DevicePath(entry.path()) != text) fs::remove(entry.path());
              }
            }), -1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, u"Не удалось просмотреть атрибуты файла");
  EXPECT_EQ(boxes.boxes[0].style, platform::kButtonsOk | platform::kIconNone);
  EXPECT_FALSE(fs::exists(dir / "p.pkg"));

  WriteFile(dir / "tree" / "a", RandomBytes(100000, 8));
  for (bool append : {false, true}) EXPECT_EQ(Pack(dir / "tree" / "a", dir / "tree" / "a", append), -1);
  EXPECT_EQ(Measure(DevicePath(dir / "tree" / "a"), DevicePath(dir / "tree" / "a")).result, -1);
  EXPECT_EQ(fs::file_size(dir / "tree" / "a"), 100000u);
  ASSERT_EQ(Pack(dir / "tree", dir / "tree" / "self.pkg"), 0);
  const Measured measured = Measure(DevicePath(dir / "tree"), DevicePath(dir / "tree" / "self.pkg"));
  ASSERT_EQ(Pack(dir / "tree", dir / "tree" / "self.pkg"), 0);
  const ParsedRecord header = ParsePackage(ReadFile(dir / "tree" / "self.pkg"))[0];
  EXPECT_TRUE(header.first == 2 && measured.entries == 2 && measured.bytes == header.second);
}
