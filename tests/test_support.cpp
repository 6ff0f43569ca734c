#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace test_support {

fs::path ScratchDir() {
  const char* root = std::getenv("TESSARON_TEST_TMP");
  // Absolute, so that tests measuring path lengths see the real ones.
  fs::path base = fs::absolute(root != nullptr ? fs::path(root)
                                                : fs::temp_directory_path() / "tessaron-tests");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr
                         ? std::string(info->test_suite_name()) + "." + info->name()
                         : std::string("scratch");
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  fs::path dir = base / name;
  std::error_code ignored;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(dir, ignored);
  fs::create_directories(dir);
  return dir;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(engine() & 0xFF);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Le32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string RecordBytes(const std::u16string& path, std::uint32_t first, std::uint32_t second,
                        std::uint32_t third) {
  std::string bytes = Utf16(path);  // resize cuts a longer path at 260 units
  bytes.resize(520, '\0');
  return bytes + Le32(first) + Le32(second) + Le32(third);
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

fs::path HostPath(const std::u16string& devicePath) {
  std::u16string host = devicePath;
  for (char16_t& c : host) {
    if (c == u'\\') c = static_cast<char16_t>(fs::path::preferred_separator);
  }
  return fs::path(host);
}

std::string Utf8(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::u16string DevicePath(const fs::path& hostPath) {
  std::u16string device = hostPath.u16string();
  for (char16_t& c : device) {
    if (c == u'/') c = u'\\';
  }
  return device;
}

fs::path ToolPath(const std::string& name) {
  return fs::path(TESSARON_BIN_DIR) / (name + TESSARON_EXE_SUFFIX);
}

}  // namespace test_support
