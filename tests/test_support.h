// Helpers shared by the test executables: scratch files, the shell (the
// openssl oracle, kva), trees as data, packages by hand, and the library's
// operations on host paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "res/program_strings.h"
#include "securefile/securefile.h"

namespace test_support {

std::filesystem::path ScratchDir();  // fresh and empty, for the running test
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);  // makes its folder
std::string RandomBytes(std::size_t size, std::uint32_t seed);  // deterministic
std::string Hex(const std::string& bytes);
std::string FromHex(const std::string& hex);
std::string Le32(std::uint32_t value);

// Package records as docs/FORMAT.md lays them out (the path in UTF-16LE,
// padded or cut to 520 bytes, then three words), for what packing never writes.
std::string RecordBytes(const std::u16string& path, std::uint32_t first, std::uint32_t second, std::uint32_t third);
inline std::string FolderEntry(const std::u16string& path, std::uint32_t depth) { return RecordBytes(path, 0, 0, depth); }
inline std::string FileEntry(const std::u16string& path, const std::string& content, std::uint32_t depth) {
  return RecordBytes(path, 1, static_cast<std::uint32_t>(content.size()), depth) + content;
}
inline std::string PackageBytes(std::uint32_t entryCount, std::uint32_t totalBytes, const std::string& entries) {
  return "~KVA" + RecordBytes(u"\\p", entryCount, totalBytes, 0) + entries;
}
struct ParsedRecord {  // a package's records, the header first
  std::u16string path;
  std::uint32_t first, second, third;
  std::size_t at;
};
std::vector<ParsedRecord> ParsePackage(const std::string& bytes);

// Runs `command` through /bin/sh (on Windows, the forms the tests use,
// without a shell: test_support_win32.cpp): its status, and its output.
int RunCommand(const std::string& command, std::string* out = nullptr);
std::string ShellQuote(const std::string& text);  // one argument, for /bin/sh or Windows' rules
// A path as UTF-8 on every host (Windows' path::string() is the narrow code
// page, so non-ASCII names in tests are also built from u8"" literals).
std::string Utf8(const std::filesystem::path& path);
inline std::string Q(const std::filesystem::path& path) { return ShellQuote(Utf8(path)); }
std::u16string DevicePath(const std::filesystem::path& hostPath);  // UTF-16, '\' as separator
std::filesystem::path HostPath(const std::u16string& devicePath);  // the inverse

// A file that exists but cannot be read while the object lives: a socket
// on Linux, a file held open without sharing on Windows.
class UnreadableFile {
 public:
  explicit UnreadableFile(const std::filesystem::path& path);
  ~UnreadableFile();
  UnreadableFile(const UnreadableFile&) = delete;
  UnreadableFile& operator=(const UnreadableFile&) = delete;

 private:
  void* handle_ = nullptr;
};

// A folder's content, without following links, by relative path: "dir",
// "link -> target", "special" or the file's bytes in hex.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::filesystem::path& root);

struct KvaRun {
  int status = -1;
  std::string output;  // both streams
};
KvaRun Kva(const std::string& arguments, const std::string& standardInput = "");  // arguments quoted
KvaRun KvaWithoutTerminal(const std::string& arguments);  // no terminal (console) to ask a password on
std::filesystem::path ToolPath(const std::string& name);  // kva, tessaron, with .exe on Windows

// kva running with standard input a pipe held open (so that it waits at a
// password until Feed) and both output streams into `log`.
class RunningKva {
 public:
  RunningKva(const std::vector<std::string>& arguments, const std::filesystem::path& log);
  ~RunningKva();  // kills it if it still runs
  RunningKva(const RunningKva&) = delete;
  RunningKva& operator=(const RunningKva&) = delete;
  void Feed(const std::string& input);  // writes, then closes the pipe
  int Wait();  // the exit code; on Linux 128 + the signal that ended it
  bool Running();
  long long Id() const { return id_; }

 private:
  long long id_ = -1;
  std::intptr_t process_ = 0;  // Windows: the process's handle
  std::intptr_t input_ = -1;   // the pipe's writing end
  int status_ = -1;            // Linux: what waitpid gave, once it has
};

struct Report {  // a progress report; a null text is "(null)"
  std::uint32_t done, total;
  std::u16string text;
  bool operator==(const Report&) const = default;
};
extern std::vector<Report> reports;
void Record(std::uint32_t done, std::uint32_t total, const char16_t* text);

// The library on host paths, with the program's texts and the password of
// cipher/README.md's worked example.
inline const std::string kPassword = "secret";
inline const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }
inline std::int32_t Encrypt(const std::filesystem::path& source, const std::filesystem::path& out, int cipher = 3,
                            std::uint32_t offset = 0, const std::filesystem::path& carrier = {},
                            ProgressCallback progress = nullptr) {
  const std::u16string carrierPath = DevicePath(carrier);
  return EncryptContainer(DevicePath(source).c_str(), DevicePath(out).c_str(), Bytes(kPassword),
                          static_cast<std::int32_t>(kPassword.size()), cipher, progress, offset,
                          carrier.empty() ? nullptr : carrierPath.c_str(), res::ProgramInstance());
}
inline std::int32_t Decrypt(const std::filesystem::path& source, const std::filesystem::path& out,
                            std::uint32_t offset = 0, const std::string& password = kPassword,
                            ProgressCallback progress = nullptr) {
  return DecryptContainer(DevicePath(source).c_str(), DevicePath(out).c_str(), Bytes(password),
                          static_cast<std::int32_t>(password.size()), progress, offset, res::ProgramInstance());
}
inline std::int32_t Pack(const std::filesystem::path& source, const std::filesystem::path& package,
                         bool append = false, ProgressCallback progress = nullptr) {
  return PackPackage(DevicePath(source).c_str(), DevicePath(package).c_str(), append ? 1 : 0, 0, nullptr, nullptr,
                     res::ProgramInstance(), progress);
}
struct Measured {  // measure-only packing, for a package at `package` when given
  std::int32_t result;
  std::uint32_t entries = 0, bytes = 0;
};
inline Measured Measure(const std::u16string& source, const std::u16string& package = {}) {
  Measured m{-99};
  m.result = PackPackage(source.c_str(), package.empty() ? nullptr : package.c_str(), 0, 1, &m.entries, &m.bytes,
                         res::ProgramInstance(), Record);
  return m;
}
inline std::int32_t Unpack(const std::filesystem::path& package, const std::filesystem::path& destination) {
  return UnpackPackage(DevicePath(package).c_str(), DevicePath(destination).c_str(), nullptr);
}

}  // namespace test_support
