// PathPrefix, PathSuffix and CreatePathFolders.
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

#include "platform/wide_string.h"
#include "securefile/path_helpers.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace securefile;
using namespace test_support;

namespace {

std::pair<std::int32_t, std::u16string> Prefix(const char16_t* path, std::uint32_t n) {
  char16_t out[platform::kMaxPath] = u"untouched";
  std::int32_t result = PathPrefix(path, n, out);
  return {result, out};
}

std::pair<std::int32_t, std::u16string> Suffix(const char16_t* path, std::uint32_t n) {
  char16_t out[platform::kMaxPath] = u"untouched";
  std::int32_t result = PathSuffix(path, n, out);
  return {result, out};
}

using Result = std::pair<std::int32_t, std::u16string>;

}  // namespace

TEST(PathHelpers, PrefixUpToTheNthBackslash) {
  EXPECT_EQ(Prefix(u"\\a\\b\\c", 0), Result(0, u""));
  EXPECT_EQ(Prefix(u"\\a\\b\\c", 1), Result(0, u"\\a"));
  EXPECT_EQ(Prefix(u"\\a\\b\\c", 2), Result(0, u"\\a\\b"));
  EXPECT_EQ(Prefix(u"\\a\\b\\c", 3), Result(0, u"\\a\\b\\c"));
  EXPECT_EQ(Prefix(u"\\a\\b\\c", 4), Result(-1, u"\\a\\b\\c"));
  EXPECT_EQ(Prefix(u"plain", 0), Result(0, u"plain"));
  EXPECT_EQ(Prefix(u"plain", 1), Result(-1, u"plain"));
  EXPECT_EQ(Prefix(u"", 0), Result(0, u""));
  EXPECT_EQ(Prefix(u"", 1), Result(-1, u""));
  EXPECT_EQ(Prefix(u"\\a\\\\b", 2), Result(0, u"\\a\\")) << "an empty component counts";
}

TEST(PathHelpers, SuffixFromTheNthBackslashFromTheEnd) {
  EXPECT_EQ(Suffix(u"\\a\\b\\c", 1), Result(0, u"c"));
  EXPECT_EQ(Suffix(u"\\a\\b\\c", 2), Result(0, u"b\\c"));
  EXPECT_EQ(Suffix(u"\\a\\b\\c", 3), Result(0, u"a\\b\\c"));
  EXPECT_EQ(Suffix(u"\\a\\b\\c", 4), Result(-1, u"untouched"));
  EXPECT_EQ(Suffix(u"\\a\\b\\", 1), Result(0, u""));
  EXPECT_EQ(Suffix(u"", 1), Result(-1, u"untouched"));
  EXPECT_EQ(Suffix(u"\\a\\b", 0), Result(-1, u"untouched"));
}

TEST(PathHelpers, CreatePathFoldersMakesEveryMissingFolder) {
  fs::path dir = ScratchDir();
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "x" / "y" / "z").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "x" / "y" / "z"));
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "x" / "y" / "z").c_str()), 0) << "all exist";
  EXPECT_EQ(CreatePathFolders((DevicePath(dir / "t") + u"\\").c_str()), 0) << "trailing backslash";
  EXPECT_TRUE(fs::is_directory(dir / "t"));
  EXPECT_EQ(CreatePathFolders(u""), 0);
  EXPECT_EQ(CreatePathFolders(u"\\"), 0);

  WriteFile(dir / "x" / "file", "");
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "x" / "file" / "below").c_str()), -1);
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "made" / "file" / "q").c_str()), 0);
}

#ifndef _WIN32  // the race is staged in the C library's mkdir
namespace {

// Runs, when set, just before the library makes a folder: another process
// getting there first. The test binary is linked with --wrap=mkdir.
std::function<void(const char*)> interloper;

}  // namespace

extern "C" int __real_mkdir(const char* path, mode_t mode);
extern "C" int __wrap_mkdir(const char* path, mode_t mode) {
  if (interloper) interloper(path);
  return __real_mkdir(path, mode);
}

TEST(PathHelpers, CreatePathFoldersAcceptsAFolderMadeMeanwhile) {
  // Two unpackers into the same new folder: the one whose creation fails
  // because the other has just made the folder has its folder all the same;
  // a file made there meanwhile is still in the way.
  fs::path dir = ScratchDir();
  interloper = [](const char* path) { __real_mkdir(path, 0777); };
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "x" / "y").c_str()), 0);
  interloper = [](const char* path) { WriteFile(path, ""); };
  EXPECT_EQ(CreatePathFolders(DevicePath(dir / "x" / "y" / "file").c_str()), -1);
  interloper = nullptr;
  EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
  EXPECT_TRUE(fs::is_regular_file(dir / "x" / "y" / "file"));
}
#endif

TEST(PathHelpers, CreatePathFoldersNeverExaminesTheFirstComponentAlone) {
  // "a\b" examines only the whole path: with no folder "a" that fails, and
  // "a" is not created on its own.
  fs::path dir = ScratchDir();
  fs::path previous = fs::current_path();
  fs::current_path(dir);
  EXPECT_EQ(CreatePathFolders(u"a\\b"), -1);
  EXPECT_FALSE(fs::exists(dir / "a"));
  fs::create_directory(dir / "a");
  EXPECT_EQ(CreatePathFolders(u"a\\b"), 0);
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b"));
  fs::current_path(previous);
}

#ifdef _WIN32
// Windows roots name a device: "C:\" and "\\server\share\", and the
// "\\?\C:\" form shaped like one, are never taken apart into folders to
// examine or create.
TEST(PathHelpers, CreatePathFoldersLeavesDrivesAndSharesAlone) {
  fs::path dir = ScratchDir();
  std::u16string path = DevicePath(dir / "u" / "v");
  EXPECT_EQ(CreatePathFolders((u"\\\\?\\" + path).c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "u" / "v"));
  EXPECT_EQ(CreatePathFolders(path.substr(0, 3).c_str()), 0) << "a drive alone";
}
#endif
