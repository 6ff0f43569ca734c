// Device paths on Windows: the native path itself. A host path is its UTF-8
// spelling, where '/' (as command lines often write it) is taken as '\'.
#include <cstring>

#include "platform/device_path.h"

namespace platform {

const char kHostSeparator = '\\';

bool ToHostPath(const char16_t* devicePath, char* hostPath, std::size_t capacity) {
  std::size_t length = WideLength(devicePath);
  for (std::size_t i = 0; i < length; ++i) {
    if (devicePath[i] == u'/') {  // a separator to Windows, a name character to the device
      if (capacity > 0) hostPath[0] = '\0';
      return false;
    }
  }
  return Utf16ToUtf8(devicePath, length, hostPath, capacity);
}

bool ToDevicePath(const char* hostPath, char16_t* devicePath, std::size_t capacity) {
  std::size_t limit = capacity < kMaxPath ? capacity : kMaxPath;
  if (!Utf8ToUtf16(hostPath, std::strlen(hostPath), devicePath, limit)) return false;
  for (char16_t* c = devicePath; *c != u'\0'; ++c) {
    if (*c == u'/') *c = u'\\';
  }
  return true;
}

std::size_t DeviceRootLength(const char16_t* path) {
  bool letter = (path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z');
  if (letter && path[1] == u':' && path[2] == u'\\') return 3;
  if (path[0] != u'\\') return 0;
  if (path[1] != u'\\') return 1;
  // \\server\share\ (and \\?\C:\, whose "server" is ?): two names, each
  // with the backslash behind it when there is one.
  std::size_t at = 2;
  for (int name = 0; name < 2 && path[at] != u'\0'; ++name) {
    while (path[at] != u'\0' && path[at] != u'\\') ++at;
    if (path[at] == u'\\') ++at;
  }
  return at;
}

}  // namespace platform
