// The platform layer: device paths, buffered files, temporary files, string
// tables and the password code page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#ifdef _WIN32
#include "platform/win32/windows_api.h"  // before aclapi.h: it undoes the macros that clash

#include <aclapi.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/code_page.h"
#include "platform/device_path.h"
#include "platform/files.h"
#ifndef _WIN32
#include "platform/instance_lock.h"
#endif
#include "platform/language.h"
#include "platform/string_table.h"
#include "platform/temp_files.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

// Device path <-> host path, both ways, on this host.
struct Mapping {
  std::u16string device;
  std::string host;
};

#ifdef _WIN32
// On Windows the device path is the native path: drive letters, UNC roots
// and relative paths stay as they are.
const Mapping kMappings[] = {
    {u"C:\\", "C:\\"},
    {u"C:\\My Documents\\Фото\\写真.jpg", "C:\\My Documents\\Фото\\写真.jpg"},
    {u"\\\\server\\share\\отчёт.kva", "\\\\server\\share\\отчёт.kva"},
    {u"relative\\x", "relative\\x"},
    // A character outside the basic plane travels as a surrogate pair.
    {u"D:\\\U0001F600", "D:\\\xF0\x9F\x98\x80"},
};
#else
const Mapping kMappings[] = {
    {u"\\", "/"},
    {u"\\My Documents\\Фото\\写真.jpg", "/My Documents/Фото/写真.jpg"},
    {u"relative\\x", "relative/x"},
    {u"\\\U0001F600", "/\xF0\x9F\x98\x80"},
};
#endif

}  // namespace

TEST(DevicePaths, MapBothWaysExactly) {
  for (const Mapping& mapping : kMappings) {
    SCOPED_TRACE(mapping.host);
    char host[platform::kMaxHostPath];
    ASSERT_TRUE(platform::ToHostPath(mapping.device.c_str(), host));
    EXPECT_STREQ(host, mapping.host.c_str());
    char16_t device[platform::kMaxPath];
    ASSERT_TRUE(platform::ToDevicePath(mapping.host.c_str(), device));
    EXPECT_EQ(std::u16string(device), mapping.device);
  }
#ifdef _WIN32
  // Command lines often write '/': it is the same separator.
  char16_t device[platform::kMaxPath];
  ASSERT_TRUE(platform::ToDevicePath("C:/Users/Фото/a.kva", device));
  EXPECT_EQ(std::u16string(device), u"C:\\Users\\Фото\\a.kva");
#endif
}

TEST(DevicePaths, RefuseWhatCannotBeMapped) {
  char host[platform::kMaxHostPath];
  char16_t device[platform::kMaxPath];
  EXPECT_FALSE(platform::ToHostPath(u"\\a/b", host)) << "'/' inside a device name";
  const char16_t lone[] = {u'\\', 0xD800, u'x', 0};
  EXPECT_FALSE(platform::ToHostPath(lone, host)) << "unpaired surrogate";

#ifndef _WIN32
  EXPECT_FALSE(platform::ToDevicePath("/a\\b", device)) << "'\\' inside a host name";
#endif
  for (const char* bad : {"/\xFF", "/\xC0\xAF", "/\xE0\x80\xAF", "/\xED\xA0\x80", "/\xC3",
                          "/\xF4\x90\x80\x80"}) {
    EXPECT_FALSE(platform::ToDevicePath(bad, device)) << "invalid UTF-8 " << Hex(bad);
  }
  std::string longest = "/" + std::string(258, 'a');
  EXPECT_TRUE(platform::ToDevicePath(longest.c_str(), device));
  EXPECT_FALSE(platform::ToDevicePath((longest + "a").c_str(), device)) << "260 units";
}

// The part of an absolute path that names a device, never a folder.
TEST(DevicePaths, RootLength) {
  const std::pair<std::u16string, std::size_t> cases[] = {
      {u"", 0}, {u"relative\\x", 0}, {u"\\", 1}, {u"\\My Documents\\x", 1},
#ifdef _WIN32
      {u"C:\\", 3}, {u"c:\\Users\\me", 3}, {u"C:relative", 0},
      {u"\\\\server\\share\\dir\\x", 15}, {u"\\\\server\\share", 14},
      {u"\\\\server\\share\\", 15}, {u"\\\\?\\C:\\x", 7},
#else
      {u"C:\\x", 0}, {u"\\\\server\\share\\dir", 1},
#endif
  };
  for (const auto& [path, root] : cases) {
    EXPECT_EQ(platform::DeviceRootLength(path.c_str()), root) << Utf8(fs::path(path));
  }
}

TEST(Files, BufferedReadsAndWritesOfAnySize) {
  fs::path dir = ScratchDir();
  std::u16string path = DevicePath(dir / "f");
  std::string data = RandomBytes(300000, 1);
  platform::File out;
  ASSERT_TRUE(out.Create(path.c_str()));
  // Mixed sizes cross the buffer's edges, including a write larger than it.
  std::size_t at = 0;
  for (std::size_t step : {1u, 1023u, 1024u, 70000u, 5u, 100000u}) {
    ASSERT_TRUE(out.Write(data.data() + at, static_cast<std::uint32_t>(step)));
    at += step;
  }
  ASSERT_TRUE(out.Write(data.data() + at, static_cast<std::uint32_t>(data.size() - at)));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(ReadFile(dir / "f"), data);

  platform::File in;
  ASSERT_TRUE(in.OpenRead(path.c_str()));
  std::string back(201000 + 200000, '\0');  // room for every byte each Read may deliver
  std::uint32_t got = 0;
  ASSERT_TRUE(in.Read(back.data(), 1000, &got));
  ASSERT_EQ(got, 1000u);
  ASSERT_TRUE(in.Read(back.data() + 1000, 200000, &got));
  ASSERT_EQ(got, 200000u);
  ASSERT_TRUE(in.Read(back.data() + 201000, 200000, &got));
  EXPECT_EQ(got, data.size() - 201000) << "short only at the end";
  ASSERT_TRUE(in.Read(back.data(), 10, &got));
  EXPECT_EQ(got, 0u);
  back.resize(data.size());
  EXPECT_EQ(back, data);
  ASSERT_TRUE(in.Seek(299990));
  ASSERT_TRUE(in.Read(back.data(), 100, &got));
  EXPECT_EQ(got, 10u);
}

TEST(Files, OpenWriteKeepsContentAndSeeksOverwriteInPlace) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "f", "0123456789");
  std::u16string path = DevicePath(dir / "f");
  platform::File file;
  ASSERT_TRUE(file.OpenWrite(path.c_str()));
  ASSERT_TRUE(file.Write("ab", 2));
  ASSERT_TRUE(file.SeekToEnd());
  ASSERT_TRUE(file.Write("XY", 2));
  ASSERT_TRUE(file.Seek(4));
  ASSERT_TRUE(file.Write("--", 2));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadFile(dir / "f"), "ab23--6789XY");
}

TEST(Files, AFailedFlushFailsTheClose) {
  platform::File file;
  ASSERT_TRUE(file.Create(u"\\dev\\full"));
  ASSERT_TRUE(file.Write("x", 1)) << "buffered";
  EXPECT_FALSE(file.Close());
}

TEST(Files, AttributesFoldersAndSearch) {
  fs::path dir = ScratchDir();
  WriteFile(dir / "file", "12345");
  fs::create_directory(dir / "sub");
  platform::FileAttributes attributes;
  ASSERT_TRUE(platform::GetFileAttributes(DevicePath(dir / "file").c_str(), &attributes));
  EXPECT_FALSE(attributes.isFolder);
  EXPECT_EQ(attributes.size, 5u);
  ASSERT_TRUE(platform::GetFileAttributes(DevicePath(dir / "sub").c_str(), &attributes));
  EXPECT_TRUE(attributes.isFolder);
  EXPECT_FALSE(platform::GetFileAttributes(DevicePath(dir / "none").c_str(), &attributes));

  std::u16string made = DevicePath(dir / "made");
  EXPECT_TRUE(platform::CreateFolder(made.c_str()));
  EXPECT_FALSE(platform::CreateFolder(made.c_str()));
  EXPECT_TRUE(platform::RemoveFolder(made.c_str()));

  WriteFile(dir / "sub" / u8"Фото", "");
  int expectedUnrepresentable = 0;
#ifndef _WIN32  // symbolic links, and names with a backslash, as Linux has them
  fs::create_symlink(dir / "file", dir / "link");
  ASSERT_TRUE(platform::GetFileAttributes(DevicePath(dir / "link").c_str(), &attributes));
  EXPECT_TRUE(attributes.isLink);
  EXPECT_EQ(attributes.size, 5u);
  EXPECT_TRUE(platform::DeleteFile(DevicePath(dir / "link").c_str()));
  WriteFile(dir / "sub" / "back\\slash", "");
  expectedUnrepresentable = 1;
#endif
  platform::FolderSearch search;
  ASSERT_TRUE(search.Start(DevicePath(dir / "sub").c_str()));
  std::set<std::u16string> names;
  int unrepresentable = 0;
  char16_t name[platform::kMaxPath];
  for (;;) {
    auto result = search.Next(name);
    if (result == platform::FolderSearch::Result::kEnd) break;
    if (result == platform::FolderSearch::Result::kUnrepresentableName) {
      ++unrepresentable;
      EXPECT_STREQ(search.HostName(), "back\\slash");
      continue;
    }
    ASSERT_EQ(result, platform::FolderSearch::Result::kName);
    names.insert(name);
  }
  EXPECT_EQ(names, (std::set<std::u16string>{u".", u"..", u"Фото"}));
  EXPECT_EQ(unrepresentable, expectedUnrepresentable);
}

TEST(TempFiles, PrivateUniqueAndEmpty) {
  fs::path dir = ScratchDir();
  std::u16string folder = DevicePath(dir) + u"\\";
  char16_t first[platform::kMaxPath];
  char16_t second[platform::kMaxPath];
  ASSERT_TRUE(platform::CreateTempFile(folder.c_str(), u"$kva@tmp", first));
  ASSERT_TRUE(platform::CreateTempFile(folder.c_str(), u"$kva@tmp", second));
  EXPECT_NE(std::u16string(first), std::u16string(second));
  std::u16string name = HostPath(first).filename().u16string();
  EXPECT_EQ(fs::file_size(HostPath(first)), 0u);
#ifdef _WIN32
  // The platform's own naming: the prefix's first three characters, a
  // number, ".tmp". The access list admits the user alone (Wine, which
  // keeps access as Unix permission bits, shows the system account too).
  EXPECT_EQ(name.substr(0, 3), u"$kv");
  EXPECT_EQ(name.substr(name.size() - 4), u".tmp");
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(reinterpret_cast<const wchar_t*>(first), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                                  &descriptor),
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
    bool isUser = EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    userAllowed = userAllowed || isUser;
    EXPECT_TRUE(isUser || IsWellKnownSid(sid, WinLocalSystemSid)) << "entry " << i << " admits another";
  }
  EXPECT_TRUE(userAllowed);
  LocalFree(descriptor);
#else
  struct stat info;
  ASSERT_EQ(stat(HostPath(first).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(name.substr(0, 8), u"$kva@tmp");
#endif
  EXPECT_FALSE(platform::CreateTempFile((DevicePath(dir / "missing") + u"\\").c_str(), u"x", first));

  char16_t temp[platform::kMaxPath];
  ASSERT_TRUE(platform::GetTempFolder(temp));
  EXPECT_EQ(temp[platform::WideLength(temp) - 1], u'\\');
}

#ifndef _WIN32  // the instances of the Linux application meet in a private folder
// The instances of one user meet only where nobody else can write (that
// the lock there lasts exactly as long as its holder, the end-to-end test
// shows with a killed instance and two starts at once).
TEST(InstanceLock, PrivateFolderIsNeverOneOthersCanWrite) {
  fs::path dir = ScratchDir();
  fs::path good = dir / "runtime";
  fs::path open = dir / "open";
  fs::create_directories(good);
  fs::create_directories(open);
  fs::permissions(good, fs::perms::owner_all, fs::perm_options::replace);
  fs::permissions(open, fs::perms::all, fs::perm_options::replace);
  fs::create_directory_symlink(good, dir / "link");
  std::string own = "tessaron-" + std::to_string(::getuid());

  enum Fallback { kMissing, kLinkPlanted, kOpenMode, kOtherOwner };
  const struct {
    const char* name;
    std::string runtime;  // "" unsets XDG_RUNTIME_DIR
    Fallback fallback;
    std::string expected;  // "" for none
  } cases[] = {
      {"runtime folder", good.string(), kLinkPlanted, good.string()},
      {"runtime folder others can write", open.string(), kMissing, "fallback"},
      {"runtime folder is a link", (dir / "link").string(), kMissing, "fallback"},
      {"runtime folder is relative", "runtime", kMissing, "fallback"},
      {"no runtime folder", "", kMissing, "fallback"},
      {"fallback is a planted link", "", kLinkPlanted, ""},
      {"fallback others can enter", "", kOpenMode, ""},
      {"fallback of another user", "", kOtherOwner, ""},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path temp = dir / ("tmp" + std::to_string(index++));
    fs::create_directories(temp);
    fs::path fallback = temp / own;
    if (c.fallback == kLinkPlanted) fs::create_directory_symlink(good, fallback);
    if (c.fallback == kOpenMode) {
      fs::create_directory(fallback);
      fs::permissions(fallback, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec,
                      fs::perm_options::replace);
    }
    if (c.fallback == kOtherOwner) {
      if (::getuid() != 0) continue;  // only root can give a folder away
      fs::create_directory(fallback);
      fs::permissions(fallback, fs::perms::owner_all, fs::perm_options::replace);
      ASSERT_EQ(::chown(fallback.c_str(), 65534, 65534), 0);
    }
    // Set for each case; no later test depends on these two.
    if (c.runtime.empty()) {
      ::unsetenv("XDG_RUNTIME_DIR");
    } else {
      ::setenv("XDG_RUNTIME_DIR", c.runtime.c_str(), 1);
    }
    ::setenv("TMPDIR", temp.c_str(), 1);
    std::string folder;
    bool found = platform::PrivateRuntimeFolder(&folder);
    std::string expected = c.expected == "fallback" ? fallback.string() : c.expected;
    EXPECT_EQ(found ? folder : "", expected);
    if (c.expected == "fallback") {
      struct stat info;
      ASSERT_EQ(::lstat(fallback.c_str(), &info), 0);
      EXPECT_TRUE(S_ISDIR(info.st_mode));
      EXPECT_EQ(info.st_mode & 07777, 0700u);
    }
  }
}
#endif

TEST(StringTables, LoadIntoZeroedBuffers) {
  const platform::StringEntry english[] = {{3, u"Decrypt into folder"}};
  const platform::StringTable englishTable{english, 1};
  const platform::StringEntry entries[] = {{1, u"Tessaron"}, {3, u"Расшифровать в папку"}};
  const platform::StringTable table{entries, 2, &englishTable};
  char16_t buffer[128];
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(platform::LoadString(&table, 1, buffer), 8u);
  EXPECT_EQ(std::u16string(buffer), u"Tessaron");
  EXPECT_EQ(buffer[127], 0) << "the rest is zeroed";
  EXPECT_EQ(platform::LoadString(&table, 2, buffer), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(platform::LoadString(nullptr, 1, buffer), 0u);
  char16_t two[2];
  EXPECT_EQ(platform::LoadString(&table, 3, two), 1u);
  EXPECT_EQ(std::u16string(two), u"Р") << "a two-unit buffer keeps the first character";

  // In English the second table answers, and the first one for ids it lacks.
  platform::SetResourceLanguage(platform::Language::kEnglish);
  EXPECT_EQ(platform::LoadString(&table, 3, buffer), 19u);
  EXPECT_EQ(std::u16string(buffer), u"Decrypt into folder");
  EXPECT_EQ(platform::LoadString(&table, 1, buffer), 8u);
  EXPECT_EQ(platform::LoadString(&table, 2, buffer), 0u);
  platform::SetResourceLanguage(platform::Language::kRussian);
  platform::LoadString(&table, 3, buffer);
  EXPECT_EQ(std::u16string(buffer), u"Расшифровать в папку");
}

// The language of the texts, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG as
// gettext reads them: English only where English is asked for.
TEST(StringTables, LanguageFromTheEnvironment) {
  using platform::Language;
  struct Case {
    const char *language, *lcAll, *lcMessages, *lang;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, nullptr, Language::kRussian},
      {nullptr, nullptr, nullptr, "ru_RU.UTF-8", Language::kRussian},
      {nullptr, nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
      {nullptr, nullptr, nullptr, "en", Language::kEnglish},
      {nullptr, nullptr, nullptr, "de_DE.UTF-8", Language::kRussian},
      {nullptr, nullptr, nullptr, "eo.UTF-8", Language::kRussian},
      {"", "", "", "en_GB@euro", Language::kEnglish},  // empty is unset
      {nullptr, nullptr, "en_US.UTF-8", "ru_RU.UTF-8", Language::kEnglish},
      {nullptr, "ru_RU.UTF-8", "en_US.UTF-8", "en_US.UTF-8", Language::kRussian},
      {nullptr, "en_US.UTF-8", "ru_RU.UTF-8", "ru_RU.UTF-8", Language::kEnglish},
      // LANGUAGE comes first: its first entry we have texts for decides.
      {"ru", nullptr, nullptr, "en_US.UTF-8", Language::kRussian},
      {"en_GB:ru", nullptr, nullptr, "ru_RU.UTF-8", Language::kEnglish},
      {"de:fr:en:ru", nullptr, nullptr, "de_DE.UTF-8", Language::kEnglish},
      {"de:ru_RU:en", "en_US.UTF-8", nullptr, nullptr, Language::kRussian},
      {"de", nullptr, nullptr, "en_US.UTF-8", Language::kRussian},
      {"english", nullptr, nullptr, "ru_RU.UTF-8", Language::kRussian},
      // ... except under the C locale, where gettext ignores it.
      {"en", nullptr, nullptr, nullptr, Language::kRussian},
      {"en", "C", nullptr, "en_US.UTF-8", Language::kRussian},
      {"en", nullptr, nullptr, "C.UTF-8", Language::kRussian},
      {"en", nullptr, "POSIX", nullptr, Language::kRussian},
      {"en", nullptr, nullptr, "ru_RU.UTF-8", Language::kEnglish},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::LanguageFromLocale(c.language, c.lcAll, c.lcMessages, c.lang), c.expected)
        << (c.language ? c.language : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
        << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
  }
}

TEST(CodePage, PasswordsBecomeWindows1251Bytes) {
  unsigned char bytes[platform::kPasswordBytes];
  std::size_t length = 0;
  std::u16string text = u"Пароль€ Ё1";
  ASSERT_EQ(platform::PasswordToCodePage(text.data(), text.size(), bytes, &length),
            platform::PasswordConversion::kOk);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(bytes), length)), "cfe0f0eeebfc8820a831");
}

TEST(CodePage, RefusesInsteadOfSubstituting) {
  unsigned char bytes[platform::kPasswordBytes];
  std::size_t length = 0;
  std::u16string ok = u"Пароль";
  ASSERT_EQ(platform::PasswordToCodePage(ok.data(), ok.size(), bytes, &length),
            platform::PasswordConversion::kOk);
  EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(bytes), length)), "cfe0f0eeebfc");
  EXPECT_EQ(bytes[length], 0);

  for (std::u16string bad : {std::u16string(u"pass写"), std::u16string(u"caf\u00e9"),
                             std::u16string(u"a\0b", 3)}) {
    EXPECT_EQ(platform::PasswordToCodePage(bad.data(), bad.size(), bytes, &length),
              platform::PasswordConversion::kUnrepresentable);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(bytes[0], 0);
  }
  std::u16string longest(31, u'ж');
  EXPECT_EQ(platform::PasswordToCodePage(longest.data(), 31, bytes, &length),
            platform::PasswordConversion::kOk);
  EXPECT_EQ(length, 31u);
  std::u16string tooLong(32, u'a');
  EXPECT_EQ(platform::PasswordToCodePage(tooLong.data(), 32, bytes, &length),
            platform::PasswordConversion::kTooLong);
  EXPECT_EQ(platform::PasswordToCodePage(u"", 0, bytes, &length),
            platform::PasswordConversion::kEmpty);
}
