#include "platform/device_path.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace platform {

const char kHostSeparator = '/';

bool ToHostPath(const char16_t* devicePath, char* hostPath, std::size_t capacity) {
  std::size_t length = WideLength(devicePath);
  for (std::size_t i = 0; i < length; ++i) {
    if (devicePath[i] == u'/') {
      if (capacity > 0) hostPath[0] = '\0';
      return false;
    }
  }
  if (!Utf16ToUtf8(devicePath, length, hostPath, capacity)) return false;
  for (char* c = hostPath; *c != '\0'; ++c) {
    if (*c == '\\') *c = '/';
  }
  return true;
}

bool ToDevicePath(const char* hostPath, char16_t* devicePath, std::size_t capacity) {
  if (std::strchr(hostPath, '\\') != nullptr) {
    if (capacity > 0) devicePath[0] = u'\0';
    return false;
  }
  std::size_t limit = capacity < kMaxPath ? capacity : kMaxPath;
  if (!Utf8ToUtf16(hostPath, std::strlen(hostPath), devicePath, limit)) return false;
  for (char16_t* c = devicePath; *c != u'\0'; ++c) {
    if (*c == u'/') *c = u'\\';
  }
  return true;
}

std::size_t DeviceRootLength(const char16_t* path) { return path[0] == u'\\' ? 1 : 0; }

TypedPathProblem TypedToDevicePath(const char* typed, char16_t (&path)[kMaxPath]) {
  namespace fs = std::filesystem;
  path[0] = u'\0';
  std::string text = typed;
  if (text.empty()) return TypedPathProblem::kEmpty;
  char16_t check[kMaxHostPath];
  if (!Utf8ToUtf16(text.data(), text.size(), check, kMaxHostPath)) {
    return text.size() >= kMaxHostPath ? TypedPathProblem::kTooLong : TypedPathProblem::kNotText;
  }
  std::string tidy;
  try {
    std::error_code failure;
    fs::path absolute = fs::absolute(fs::path(text), failure);
    if (failure) return TypedPathProblem::kCannotResolve;
    tidy = absolute.lexically_normal().string();
  } catch (const std::exception&) {
    return TypedPathProblem::kCannotResolve;
  }
  // Trailing separators go, but not the root itself.
  while (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
  if (tidy.find('\\') != std::string::npos) return TypedPathProblem::kBackslashInName;
  return ToDevicePath(tidy.c_str(), path) ? TypedPathProblem::kNone : TypedPathProblem::kTooLong;
}

}  // namespace platform
