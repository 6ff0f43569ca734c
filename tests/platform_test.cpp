// The platform layer where the other tests cannot reach it: device paths at
// their edges, temporary files, string tables and their language, the
// password code page.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#undef LoadString  // <windows.h> would rename platform::LoadString to LoadStringW
#else
#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/instance_lock.h"
#endif

#include "platform/code_page.h"
#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/temp_files.h"
#include "platform/trash.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

#ifdef _WIN32
const bool kWays[] = {false};
bool refuseUnnamed = false;
#else
// Each way a file is made: without a name, and (refused that) under a
// hidden name, as on file systems without O_TMPFILE (vfat, older NFS).
const bool kWays[] = {false, true};
bool refuseUnnamed = false;

}  // namespace

// The test is linked with -Wl,--wrap=openat, so that the platform layer's
// calls come here.
extern "C" int __real_openat(int at, const char* path, int flags, ...);
extern "C" int __wrap_openat(int at, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  if (refuseUnnamed && (flags & O_TMPFILE) == O_TMPFILE) {
    static int refusals = 0;  // each way a file system or kernel says it has no unnamed files, in turn
    errno = std::array{EOPNOTSUPP, EISDIR, EINVAL}[refusals++ % 3];
    return -1;
  }
  return __real_openat(at, path, flags, mode);
}

namespace {
#endif

}  // namespace

// On Windows the device path is the native one: drive letters, UNC roots
// and relative paths stay as they are, and '/' is the same separator.
TEST(DevicePaths, MapBothWaysOrNotAtAll) {
  char host[platform::kMaxHostPath];
  char16_t device[platform::kMaxPath];
  // U+10000 and U+10FFFF: the first and last characters in surrogate pairs.
#ifdef _WIN32
  const std::pair<const char16_t*, const char*> mappings[] = {
      {u"relative\\x", "relative\\x"}, {u"C:\\Фото\\写真", "C:\\Фото\\写真"},
      {u"\\\\server\\share\\отчёт.kva", "\\\\server\\share\\отчёт.kva"},
      {u"D:\\\U00010000\U0010FFFF", "D:\\\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}};
  EXPECT_TRUE(platform::ToDevicePath("C:/Users/a.kva", device) && std::u16string(device) == u"C:\\Users\\a.kva");
#else
  const std::pair<const char16_t*, const char*> mappings[] = {
      {u"relative\\x", "relative/x"}, {u"\\Фото\\写真", "/Фото/写真"},
      {u"\\\U00010000\U0010FFFF", "/\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}};
  EXPECT_FALSE(platform::ToHostPath(u"\\a/b", host));
  EXPECT_FALSE(platform::ToDevicePath("/a\\b", device)) << "'\\' inside a host name";
  char16_t shown[8];  // in a control: the host's spelling, else (a '/' in a name, no room) the device path, cut to fit
  for (const auto& [path, room, seen] : {std::tuple{u"\\a\\b", 8, u"/a/b"}, {u"\\a/b", 8, u"\\a/b"}, {u"\\abc\\d", 4, u"\\ab"}}) {
    platform::HostPathForDisplay(path, shown, room);
    EXPECT_EQ(std::u16string(shown), seen) << room;
  }
#endif
  for (const auto& [d, h] : mappings) {
    EXPECT_TRUE(platform::ToHostPath(d, host) && std::string(host) == h && platform::ToDevicePath(h, device) &&
                std::u16string(device) == d) << h;
  }
  const char16_t lone[] = {u'\\', 0xD800, u'x', 0}, lowFirst[] = {u'\\', 0xDC00, 0xD800, 0};
  for (const char16_t* bad : {lone, lowFirst}) EXPECT_FALSE(platform::ToHostPath(bad, host));
  std::string longest(259, 'a');
  longest[0] = '/';
  EXPECT_TRUE(platform::ToDevicePath(longest.c_str(), device));
  for (const std::string& bad : {std::string("/\xFF"), std::string("/\xC0\xAF"), std::string("/\xED\xA0\x80"),
                                 std::string("/\xED\xBF\xBF"), std::string("/\xF4\x90\x80\x80"), longest + "a"}) {
    EXPECT_FALSE(platform::ToDevicePath(bad.c_str(), device)) << Hex(bad);
  }
  // A text is read to its length, never past it: "ж" cut after its first byte is refused.
  char16_t wide[4];
  EXPECT_TRUE(platform::Utf8ToUtf16("\xD0\xB6", 2, wide, 4) && std::u16string(wide) == u"ж" &&
              !platform::Utf8ToUtf16("\xD0\xB6", 1, wide, 4) && !platform::Utf16ToUtf8(u"ж", 1, nullptr, 0) &&
              !platform::Utf16ToUtf8(u"жж", 2, reinterpret_cast<char*>(wide), 4));  // 5 bytes with the NUL
  // The part of an absolute path that names a device, never a folder.
  const std::pair<std::u16string, std::size_t> roots[] = {
      {u"", 0}, {u"relative\\x", 0}, {u"\\", 1}, {u"\\My Documents\\x", 1},
#ifdef _WIN32
      {u"C:\\", 3}, {u"c:\\Users\\me", 3}, {u"C:relative", 0}, {u"\\\\server\\share\\dir\\x", 15},
      {u"\\\\server\\share", 14}, {u"\\\\server\\share\\", 15}, {u"\\\\?\\C:\\x", 7},
#else
      {u"C:\\x", 0}, {u"\\\\server\\share\\dir", 1},
#endif
  };
  for (const auto& [path, root] : roots) EXPECT_EQ(platform::DeviceRootLength(path.c_str()), root) << Utf8(path);
}

// Scratch space (the application's decrypted package) reads back what was
// written and has no name anyone could open: none at all on Linux, in
// TMPDIR when it is absolute; on Windows the platform's own naming (the
// prefix's first three characters, ".tmp"), an access list that admits the
// user alone (Wine, which keeps access as Unix permission bits, shows the
// system account too), and gone with its handle.
TEST(TempFiles, ScratchIsPrivateAndGoesWithItsHandle) {
  const fs::path dir = ScratchDir();
  char16_t folder[platform::kMaxPath];
#ifndef _WIN32
  for (const std::string& tmpdir : {dir.string(), dir.string() + "/", std::string("relative")}) {
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    ASSERT_TRUE(platform::GetTempFolder(folder));
    EXPECT_EQ(std::u16string(folder), tmpdir[0] == '/' ? DevicePath(dir) + u"\\" : u"\\tmp\\");
  }
  ::setenv("TMPDIR", dir.c_str(), 1);
#endif
  ASSERT_TRUE(platform::GetTempFolder(folder));
  const std::string content = RandomBytes(200000, 3);
  for (const bool fallback : kWays) {
    SCOPED_TRACE(fallback ? "named for a moment" : "never named");
    refuseUnnamed = fallback;
    platform::File scratch;
    ASSERT_TRUE(scratch.CreateScratch(u"$kva@tmp") && scratch.Write(content.data(), 200000) && scratch.Seek(0));
    std::string back(200001, '\0');
    std::uint32_t got = 0;
    EXPECT_TRUE(scratch.Read(back.data(), 200001, &got) && got == 200000 && back.substr(0, got) == content);
    std::vector<fs::path> named;
    for (const auto& entry : fs::directory_iterator(HostPath(folder))) {
      if (entry.path().filename().u16string().rfind(u"$kv", 0) == 0) named.push_back(entry.path());
    }
#ifndef _WIN32
    EXPECT_TRUE(named.empty() && fs::is_empty(dir));
#else
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].extension(), ".tmp");
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(reinterpret_cast<HANDLE>(scratch.Descriptor()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &acl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(acl, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD needed = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &needed));
    CloseHandle(token);
    bool userAllowed = false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
      void* ace = nullptr;
      ASSERT_TRUE(GetAce(acl, i, &ace));
      PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
      const bool isUser = EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
      userAllowed = userAllowed || isUser;
      EXPECT_TRUE(isUser || IsWellKnownSid(sid, WinLocalSystemSid)) << "entry " << i << " admits another";
    }
    EXPECT_TRUE(userAllowed);
    LocalFree(descriptor);
    scratch.Close();
    EXPECT_FALSE(fs::exists(named[0]));
#endif
  }
  refuseUnnamed = false;
}

// An output made by CreateUnnamedIn is named only by Commit, which
// replaces what is in the way only as it is asked to (never a folder; a
// link, itself, only when asked; a read-only file too) and gives the file
// the access a new file gets there; one closed uncommitted leaves nothing.
TEST(UnnamedFiles, NamedOnlyByCommitAndOnlyAsAllowed) {
  using R = platform::File::Replacing;
  const fs::path dir = ScratchDir(), d = dir / "d", out = d / "out";
  fs::create_directories(dir / "victim");
  const std::tuple<std::string, R, bool> rows[] = {  // what is in the way, what may be replaced, named?
      {"", R::kNothing, true}, {"file", R::kNothing, false}, {"file", R::kFile, true}, {"read-only", R::kFile, true},
      {"folder", R::kFileOrLink, false}, {"link", R::kFile, false},
      // (Windows never puts a file where a link to a folder is.)
      {"link", R::kFileOrLink, fs::path::preferred_separator == '/'}, {"swapped", R::kNothing, true}, {"", R::kNothing, false}};
  for (const auto& [inWay, replacing, named] : rows) for (const bool fallback : kWays) {
    SCOPED_TRACE(inWay + " " + std::to_string(static_cast<int>(replacing)) + (fallback ? " hidden name" : ""));
    refuseUnnamed = fallback;
    ASSERT_EQ(RunCommand("rm -rf " + Q(d)), 0);
    fs::create_directories(d);
    if (inWay == "folder") fs::create_directories(out);
    if (inWay == "file" || inWay == "read-only") WriteFile(out, "old");
    if (inWay == "read-only") fs::permissions(out, fs::perms::owner_write, fs::perm_options::remove);
    if (inWay == "link") {
      ASSERT_EQ(RunCommand("ln -s ../victim " + Q(out)), 0);
    }
    const Tree before = Snapshot(d);
    platform::Folder folder;
    platform::File file;
    ASSERT_TRUE(folder.Open(DevicePath(d).c_str()) && file.CreateUnnamedIn(folder) && file.Write("new", 3));
#ifndef _WIN32
    // Where a name is needed, it is a hidden one only the owner may open, and packing knows as its own.
    Tree during = Snapshot(d);
    struct stat hidden;
    const auto staged = std::find_if(during.begin(), during.end(), [](const auto& e) { return e.first.rfind(".kva-", 0) == 0; });
    EXPECT_TRUE(!fallback || (staged != during.end() && ::stat((d / staged->first).c_str(), &hidden) == 0 &&
                              (hidden.st_mode & 0777) == 0600 &&
                              platform::IsStagingName(std::u16string(staged->first.begin(), staged->first.end()).c_str())));
    // Someone who may write the folder swaps the hidden name for a file of theirs: that file is not named.
    if (inWay == "swapped" && staged != during.end()) WriteFile(dir / "theirs", "theirs"), fs::rename(dir / "theirs", d / staged->first);
    if (fallback && staged != during.end()) during.erase(staged);
    EXPECT_EQ(during, before) << "a name before Commit";
#endif
    // The last row is closed without a Commit.
    const bool swapped = inWay == "swapped" && fallback;
    const bool committed = named || inWay != "" ? file.Commit(folder, u"out", replacing) : false;
    EXPECT_EQ(committed, named && !swapped);
    EXPECT_FALSE(committed && file.Commit(folder, u"again", R::kNothing)) << "a file is named once";
    EXPECT_TRUE(file.Close());
    const Tree made = {{"out", Hex("new")}};
    EXPECT_EQ(Snapshot(d), named && !swapped ? made : before);
    EXPECT_TRUE(fs::is_empty(dir / "victim"));
#ifndef _WIN32
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat info;
    EXPECT_TRUE(!named || swapped || (::stat(out.c_str(), &info) == 0 && (info.st_mode & 0777) == (0666u & ~mask)));
#endif
  }
  refuseUnnamed = false;
}

#ifdef _WIN32
// What the user types, as Windows reads it (one conversion for kva.exe's
// arguments, tessaron.exe's command line and its folder box): each path
// reaches what it names, and a path Windows would silently change, or one
// that names a device, is refused. The tests run on drive Z: (Wine's view
// of the Linux root), so "C:x" is taken against C:'s own working folder,
// set to C:\ here.
TEST(DevicePaths, TypedPathsAsWindowsReadsThem) {
  using P = platform::TypedPathProblem;
  const fs::path working = fs::current_path();
  SetCurrentDirectoryW(L"C:\\");
  fs::current_path(working);
  const std::tuple<std::string, std::u16string, P> rows[] = {
      {"\\\\srv\\share\\x", u"\\\\srv\\share\\x", P::kNone}, {"\\\\?\\C:\\x", u"\\\\?\\C:\\x", P::kNone},
      {"\\\\.\\C:\\x", u"", P::kDeviceNamespace}, {"C:x", u"C:\\x", P::kNone}, {"C:\\x\\", u"C:\\x", P::kNone},
      {"C:\\x ", u"", P::kDotOrSpaceAtEnd}, {"C:\\x.", u"", P::kDotOrSpaceAtEnd}, {"C:/a/../x/.", u"C:\\x", P::kNone},
      {"C:\\", u"C:\\", P::kNone}, {"", u"", P::kEmpty}};
  for (const auto& [typed, full, problem] : rows) {
    char16_t path[platform::kMaxPath];
    EXPECT_EQ(platform::TypedToDevicePath(typed.c_str(), path), problem) << typed;
    EXPECT_EQ(std::u16string(path), full) << typed;
  }
  // kva.exe's arguments: a share it cannot reach is named as it was typed.
  const fs::path dir = ScratchDir();
  WriteFile(dir / "f", "f");
  ASSERT_EQ(Pack(dir / "f", dir / "p.pkg"), 0);
  for (const auto& [typed, full, problem] : rows) {
    if (typed.empty() || typed == "C:\\") continue;
    const KvaRun run = Kva("unpack --force " + Q(dir / "p.pkg") + " " + ShellQuote(typed));
    const bool share = typed[1] == '\\' && typed[2] == 's';
    EXPECT_EQ(run.status, problem == P::kNone && !share ? 0 : 1) << typed << ": " << run.output;
    EXPECT_TRUE(!share || run.output.find("'\\\\srv\\share\\x'") != std::string::npos) << run.output;
  }
  EXPECT_EQ(ReadFile("C:\\x\\f"), "f");
  fs::remove_all("C:\\x");
}
#endif

#ifndef _WIN32
// The instances of one user meet only where nobody else can write: the
// runtime folder when it is a real folder of ours closed to others, else
// tessaron-UID in TMPDIR, made 0700, and nothing at all when that name is
// a link, or a folder others may enter or that is not ours.
TEST(PosixInstance, PrivateFolderIsNeverOneOthersCanWrite) {
  const fs::path dir = ScratchDir(), good = dir / "runtime", open = dir / "open";
  fs::create_directories(good), fs::create_directories(open);
  fs::permissions(good, fs::perms::owner_all, fs::perm_options::replace);
  fs::permissions(open, fs::perms::all, fs::perm_options::replace);
  fs::create_directory_symlink(good, dir / "link");
  const std::string own = "tessaron-" + std::to_string(::getuid());
  const std::tuple<std::string, std::function<void(const fs::path&)>, std::string> cases[] = {
      // XDG_RUNTIME_DIR ("" unset), what is planted at the fallback, the folder expected ("" none)
      {good.string(), [&](const fs::path& f) { fs::create_directory_symlink(good, f); }, good.string()},
      {open.string(), nullptr, "fallback"}, {(dir / "link").string(), nullptr, "fallback"},
      {"runtime", nullptr, "fallback"}, {"", nullptr, "fallback"},
      {"", [&](const fs::path& f) { fs::create_directory_symlink(good, f); }, ""},
      {"", [](const fs::path& f) { fs::create_directory(f), fs::permissions(f, fs::perms::others_exec, fs::perm_options::add); }, ""},
      {"", [](const fs::path& f) {
         fs::create_directory(f);
         if (::chown(f.c_str(), 65534, 65534) != 0) return;
       }, ::getuid() == 0 ? "" : "skip"}};
  int index = 0;
  for (const auto& [runtime, plant, expected] : cases) {
    const fs::path temp = dir / ("tmp" + std::to_string(index++)), fallback = temp / own;
    fs::create_directories(temp);
    if (plant) plant(fallback);
    runtime.empty() ? ::unsetenv("XDG_RUNTIME_DIR") : ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("TMPDIR", temp.c_str(), 1);
    std::string folder;
    const bool found = platform::PrivateRuntimeFolder(&folder);
    if (expected == "skip") continue;  // only root can give a folder away
    EXPECT_EQ(found ? folder : "", expected == "fallback" ? fallback.string() : expected) << index;
    struct stat info;
    EXPECT_TRUE(expected != "fallback" ||
                (::lstat(fallback.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & 07777) == 0700));
  }
  ::setenv("TMPDIR", "relative", 1);  // not a place: /tmp instead
  std::string folder;
  EXPECT_TRUE(platform::PrivateRuntimeFolder(&folder) && folder == "/tmp/" + own) << folder;
}

// The lock is really held, on each path taken, with mode 0600; a lock
// another holds is said to be, and a link at the path is not followed.
TEST(PosixInstance, TheLockIsHeldForReal) {
  const fs::path dir = ScratchDir();
  const auto take = [&](const char* name) { return platform::TakeInstanceLock((dir / name).string()); };
  const auto heldElsewhere = [&](const char* name) {  // by another open of the file
    const int fd = ::open((dir / name).c_str(), O_RDWR | O_CLOEXEC);
    const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (fd >= 0) ::close(fd);
    return held;
  };
  const int other = ::open((dir / "c.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_EQ(take("c.lock"), platform::InstanceLock::kHeldByAnother);
  ::close(other);
  fs::create_symlink(dir / "target", dir / "link");
  EXPECT_TRUE(take("link") == platform::InstanceLock::kUnavailable && !fs::exists(dir / "target"));
  for (const char* name : {"a.lock", "b.lock"}) {
    EXPECT_TRUE(take(name) == platform::InstanceLock::kTaken && take(name) == platform::InstanceLock::kTaken);
    EXPECT_TRUE(heldElsewhere(name) && fs::status(dir / name).permissions() == fs::perms(0600)) << name;
  }
}

// A read the disk fails (/proc/self/mem at 0, EIO) is an error, not the end
// of the file; a write it refuses (/dev/full), past the buffer or flushed
// from it, fails every later write and the close; a folder that cannot be
// opened is no empty one. The system's reason is in words.
TEST(PosixFiles, FailuresStay) {
  unsigned char bytes[16];
  std::uint32_t got = 1;
  platform::File file;
  ASSERT_TRUE(file.OpenRead(DevicePath("/proc/self/mem").c_str()));
  EXPECT_TRUE(!file.Read(bytes, sizeof bytes, &got) && got == 0 && !file.Read(bytes, sizeof bytes, &got));
  EXPECT_FALSE(platform::FolderSearch().Start(DevicePath("/proc/self/mem/none").c_str()));
  // An open File opens nothing else, by any way in; refused opens, and folders opened anew or replaced, leave no descriptor behind.
  const fs::path dir = ScratchDir();
  WriteFile(dir / "f", "f");
  const std::u16string f = DevicePath(dir / "f"), d = DevicePath(dir);
  const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
  const auto before = descriptors();
  {
    platform::Folder a, b;
    ASSERT_TRUE(a.Open(d.c_str()) && a.Open(d.c_str()) && b.Open(d.c_str()) && !platform::File().OpenRead(d.c_str()));
    EXPECT_FALSE(file.OpenRead(f.c_str()) || file.OpenUpdate(f.c_str()) || file.Create(f.c_str()) || file.OpenWrite(f.c_str()) ||
                 file.OpenStandardInput() || file.OpenStandardOutput() || file.CreateUnnamedIn(a) || file.CreateScratch(u"$kva@tmp"));
    a = std::move(b);
  }
  EXPECT_EQ(descriptors(), before);
  const std::string large(1 << 20, 'x');
  for (const std::uint32_t first : {static_cast<std::uint32_t>(large.size()), 1u}) {
    platform::File full;
    ASSERT_TRUE(full.OpenWrite(DevicePath("/dev/full").c_str()));
    EXPECT_TRUE(full.Write(large.data(), first) == (first == 1) && !full.Flush() && !full.Write("y", 1) && !full.Close());
  }
  char16_t text[256] = {};
  platform::ErrorText(ENOSPC, text, std::size(text));
  EXPECT_EQ(std::u16string(text), u"No space left on device");
}

// A file goes to the trash of its own file system: the user's data folder's
// when that is on the same one (a taken name gets ".2"), else .Trash-UID at
// the top of its own (tmpfs /dev/shm here). A trash folder that is a link is
// refused, and the file stays.
TEST(PosixTrash, TheTrashOfTheFilesOwnFileSystem) {
  const fs::path dir = ScratchDir(), data = dir / "data", trash = data / "Trash";
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  const auto trashed = [](const fs::path& file) { return platform::MoveToTrash(DevicePath(file).c_str()); };
  for (const char* entry : {"azAZ09", "azAZ09.2"}) {  // the edges of what the note's path leaves unescaped
    WriteFile(dir / "azAZ09", entry);
    EXPECT_TRUE(trashed(dir / "azAZ09") && !fs::exists(dir / "azAZ09") && ReadFile(trash / "files" / entry) == entry);
    const std::string note = ReadFile(trash / "info" / (std::string(entry) + ".trashinfo"));
    const std::string head = "[Trash Info]\nPath=" + (dir / "azAZ09").string() + "\nDeletionDate=";  // then 2026-12-08T01:02:03
    EXPECT_TRUE(note.rfind(head, 0) == 0 && note.size() == head.size() + 20 && note[head.size() + 10] == 'T') << note;
  }
  const fs::path shm = "/dev/shm", other = shm / ("tessaron-trash-" + std::to_string(::getpid()));
  struct stat here, there;
  if (::stat(dir.c_str(), &here) == 0 && ::stat(shm.c_str(), &there) == 0 && here.st_dev != there.st_dev &&
      ::access(shm.c_str(), W_OK) == 0) {
    const fs::path own = shm / (".Trash-" + std::to_string(::getuid())), kept = own / "files" / other.filename();
    WriteFile(other, "elsewhere");
    EXPECT_TRUE(trashed(other) && ReadFile(kept) == "elsewhere");
    std::error_code ignored;
    const fs::path note = own / "info" / (other.filename().string() + ".trashinfo");
    // The test's files, then the folders if they are empty.
    for (const fs::path& path : {other, kept, note, own / "files", own / "info", own}) fs::remove(path, ignored);
  }
  fs::remove_all(trash / "files"), fs::create_directory_symlink(dir, trash / "files");
  WriteFile(dir / "b", "b");
  EXPECT_TRUE(!trashed(dir / "b") && ReadFile(dir / "b") == "b");
  ::unsetenv("XDG_DATA_HOME");
}
#endif

TEST(StringTables, ZeroedBuffersInTheResourceLanguage) {
  const platform::StringEntry english[] = {{3, u"Decrypt into folder"}}, russian[] = {{1, u"Tessaron"}, {3, u"Папка"}};
  const platform::StringTable englishTable{english, 1}, table{russian, 2, &englishTable};
  char16_t buffer[16], two[2];
  // Until a language is chosen, the environment decides (on Windows, the
  // display language). In English the second table answers, and the first
  // one for ids it lacks.
#ifdef _WIN32
  platform::SetResourceLanguage(platform::Language::kEnglish);
#else
  ::setenv("LANGUAGE", "en", 1), ::setenv("LC_ALL", "en_US.UTF-8", 1);
#endif
  EXPECT_TRUE(platform::LoadString(&table, 3, buffer) == 15 && std::u16string(buffer) == u"Decrypt into fo");
  EXPECT_EQ(platform::LoadString(&table, 1, buffer), 8u);
  EXPECT_EQ(std::u16string(buffer, 16), u"Tessaron" + std::u16string(8, 0)) << "the rest zeroed";
  platform::SetResourceLanguage(platform::Language::kRussian);
  EXPECT_TRUE(platform::LoadString(&table, 3, two) == 1 && std::u16string(two) == u"П") << "cut to the buffer";
  EXPECT_TRUE(platform::LoadString(&table, 2, buffer) == 0 && buffer[0] == 0);
  EXPECT_EQ(platform::LoadString(nullptr, 1, buffer), 0u);
  EXPECT_EQ(platform::LoadString(&table, 1, buffer, 0), 0u) << "no room at all";
  // Wide copies and appends fill a buffer to its last unit, never past it.
  char16_t six[6] = u"abc";
  EXPECT_TRUE(platform::WideAppend(six, 6, u"de") && std::u16string(six) == u"abcde");
  EXPECT_FALSE(platform::WideAppend(six, 6, u"f"));
  EXPECT_TRUE(!platform::WideCopy(six, 6, u"abcdef") && six[0] == u'\0');
  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG as gettext reads them ("-" unset, empty
  // as unset); LANGUAGE first (its first language we have decides), but not
  // under the C locale.
  const char* const cases[][5] = {
      {"-", "-", "-", "-", "ru"}, {"-", "-", "-", "en", "en"}, {"-", "-", "-", "de_DE.UTF-8", "ru"},
      {"", "", "", "en_GB@euro", "en"}, {"-", "-", "en_US.UTF-8", "ru_RU.UTF-8", "en"},
      {"-", "ru_RU.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "ru"}, {"ru", "-", "-", "en_US.UTF-8", "ru"},
      {"de:fr:en:ru", "-", "-", "de", "en"}, {"de:ru_RU:en", "en_US.UTF-8", "-", "-", "ru"},
      {"english", "-", "-", "ru_RU.UTF-8", "ru"}, {"en", "-", "-", "-", "ru"}, {"en", "C", "-", "en_US.UTF-8", "ru"},
      {"en", "-", "POSIX", "-", "ru"}, {"en", "-", "-", "ru_RU.UTF-8", "en"}};
  for (const auto& c : cases) {
    const auto v = [&](int i) { return std::string(c[i]) == "-" ? nullptr : c[i]; };
    const bool inEnglish = platform::LanguageFromLocale(v(0), v(1), v(2), v(3)) == platform::Language::kEnglish;
    EXPECT_EQ(inEnglish, std::string(c[4]) == "en") << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
  }
}

TEST(CodePage, PasswordsBecomeWindows1251BytesOrAreRefused) {
  using platform::PasswordConversion;
  const std::tuple<std::u16string, PasswordConversion, std::string> cases[] = {
      {u"Пароль€ Ё1", PasswordConversion::kOk, "cfe0f0eeebfc8820a831"},
      {std::u16string(31, u'ж'), PasswordConversion::kOk, Hex(std::string(31, '\xe6'))},
      {u"pass写", PasswordConversion::kUnrepresentable, ""}, {u"caf\u00e9", PasswordConversion::kUnrepresentable, ""},
      {std::u16string(u"a\0b", 3), PasswordConversion::kUnrepresentable, ""},
      {std::u16string(32, u'a'), PasswordConversion::kTooLong, ""}, {u"", PasswordConversion::kEmpty, ""}};
  for (const auto& [text, result, hex] : cases) {
    unsigned char bytes[platform::kPasswordBytes];
    std::memset(bytes, 0xA5, sizeof bytes);  // what a longer password left
    std::size_t length = 99;
    EXPECT_EQ(platform::PasswordToCodePage(text.data(), text.size(), bytes, &length), result);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(bytes), sizeof bytes)), hex + std::string(128 - hex.size(), '0'));
    EXPECT_EQ(length, hex.size() / 2);
  }
}
