#include "platform/device_path.h"

#include <cstring>

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

}  // namespace platform
