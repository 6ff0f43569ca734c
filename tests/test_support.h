// Helpers shared by the test executables: scratch folders, files, random
// bytes, running shell commands (the openssl oracle, the kva binary).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace test_support {

// A fresh, empty folder for the running test, below the build tree.
std::filesystem::path ScratchDir();

std::string ReadFile(const std::filesystem::path& path);
// Writes a file, creating its folder first when needed.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// Deterministic pseudo-random bytes.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

std::string Hex(const std::string& bytes);

// Package bytes built by hand, as docs/FORMAT.md lays them out, for inputs
// the packer never writes: UTF-16LE text, a little-endian 32-bit word, and
// a 532-byte record (the path NUL-padded, or cut, to 520 bytes, then three
// words).
std::string Utf16(const std::u16string& text);
std::string Le32(std::uint32_t value);
std::string RecordBytes(const std::u16string& path, std::uint32_t first, std::uint32_t second,
                        std::uint32_t third);
std::string FromHex(const std::string& hex);

// Runs `command` through /bin/sh; returns its exit status (or -1), and its
// standard output in *out when out is given. The Windows build runs the
// forms the tests use without a shell (test_support_win32.cpp).
int RunCommand(const std::string& command, std::string* out = nullptr);

// Quotes a string as one argument of a command: for /bin/sh, or on Windows
// by the rules programs split their command line by.
std::string ShellQuote(const std::string& text);

// The device form of a host path: UTF-16, '\' as separator.
std::u16string DevicePath(const std::filesystem::path& hostPath);

// The host path of a device path (the inverse of DevicePath).
std::filesystem::path HostPath(const std::u16string& devicePath);

// A path as UTF-8 text on every host. (On Windows, path::string() speaks
// the C library's narrow encoding, not UTF-8; paths with non-ASCII names
// are therefore also built from u8"" literals in the tests.)
std::string Utf8(const std::filesystem::path& path);

// Makes a file that exists but cannot be read while the object lives: a
// socket on Linux, a file held open without sharing on Windows.
class UnreadableFile {
 public:
  explicit UnreadableFile(const std::filesystem::path& path);
  ~UnreadableFile();
  UnreadableFile(const UnreadableFile&) = delete;
  UnreadableFile& operator=(const UnreadableFile&) = delete;

 private:
  void* handle_ = nullptr;
};

struct KvaRun {
  int status = -1;
  std::string output;  // standard output and standard error together
};

// Runs the built kva with `arguments` (already quoted for the shell),
// feeding `standardInput` when it is not empty.
KvaRun Kva(const std::string& arguments, const std::string& standardInput = "");

// Runs kva with no terminal (no console on Windows) to ask a password on.
KvaRun KvaWithoutTerminal(const std::string& arguments);

// Path of a built tool (kva, tessaron) in the build's bin folder, with the
// host's suffix (.exe on Windows).
std::filesystem::path ToolPath(const std::string& name);

}  // namespace test_support
