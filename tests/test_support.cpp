#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace test_support {

fs::path ScratchDir() {
  const char* root = std::getenv("TESSARON_TEST_TMP");
  // Absolute, so that tests measuring path lengths see the real ones.
  const fs::path base = fs::absolute(root != nullptr ? fs::path(root) : fs::temp_directory_path() / "tessaron-tests");
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
  std::replace(name.begin(), name.end(), '/', '_');
  const fs::path dir = base / name;
  std::error_code ignored;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
  // Wine's remove_all cannot remove a Linux link (and may not come back).
  if (fs::path::preferred_separator == '\\' && fs::exists(dir)) RunCommand("rm -rf " + Q(dir));
  fs::remove_all(dir, ignored), fs::create_directories(dir);
  return dir;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(engine() & 0xFF);
  return bytes;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::string Le32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string RecordBytes(const std::u16string& path, std::uint32_t first, std::uint32_t second, std::uint32_t third) {
  std::string bytes;
  for (char16_t unit : path) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  bytes.resize(520, '\0');  // cuts a longer path at 260 units
  return bytes + Le32(first) + Le32(second) + Le32(third);
}

std::vector<ParsedRecord> ParsePackage(const std::string& bytes) {
  std::vector<ParsedRecord> records;
  const auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  for (std::size_t at = 4; at + 532 <= bytes.size() && (records.empty() || records.size() <= records[0].first);) {
    ParsedRecord record{u"", word(at + 520), word(at + 524), word(at + 528), at};
    for (std::size_t i = at; i < at + 520 && (bytes[i] != 0 || bytes[i + 1] != 0); i += 2) {
      record.path += static_cast<char16_t>(word(i) & 0xFFFF);
    }
    at += 532 + (records.empty() || record.first == 0 ? 0 : record.second);
    records.push_back(record);
  }
  return records;
}

std::u16string DevicePath(const fs::path& hostPath) {
  std::u16string device = hostPath.u16string();
  std::replace(device.begin(), device.end(), u'/', u'\\');
  return device;
}

Tree Snapshot(const fs::path& root) {
  Tree tree;
  if (!fs::is_directory(fs::symlink_status(root))) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::file_status status = it->symlink_status();
    // Lexically: fs::relative would resolve the links being described.
    tree[Utf8(it->path().lexically_relative(root).generic_u8string())] =
        fs::is_symlink(status)        ? "link -> " + Utf8(fs::read_symlink(it->path()))
        : fs::is_directory(status)    ? "dir"
        : fs::is_regular_file(status) ? Hex(ReadFile(it->path())) : "special";
  }
  return tree;
}

fs::path HostPath(const std::u16string& devicePath) {
  std::u16string host = devicePath;
  std::replace(host.begin(), host.end(), u'\\', static_cast<char16_t>(fs::path::preferred_separator));
  return fs::path(host);
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path ToolPath(const std::string& name) { return fs::path(TESSARON_BIN_DIR) / (name + TESSARON_EXE_SUFFIX); }

std::vector<Report> reports;
void Record(std::uint32_t done, std::uint32_t total, const char16_t* text) {
  reports.push_back({done, total, text != nullptr ? text : u"(null)"});
}

}  // namespace test_support
