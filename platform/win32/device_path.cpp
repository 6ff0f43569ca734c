// Device paths on Windows: the native path itself. A host path is its UTF-8
// spelling, where '/' (as command lines often write it) is taken as '\'.
#include <cstring>

#include "platform/device_path.h"

#include "platform/win32/windows_api.h"

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

TypedPathProblem TypedToDevicePath(const char* typed, char16_t (&path)[kMaxPath]) {
  path[0] = u'\0';
  std::size_t size = std::strlen(typed);
  if (size == 0) return TypedPathProblem::kEmpty;
  // Room for what a working folder adds; a full path must fit kMaxPath.
  char16_t text[2 * kMaxPath];
  if (!Utf8ToUtf16(typed, size, text, 2 * kMaxPath)) {
    return size >= 2 * kMaxPath ? TypedPathProblem::kTooLong : TypedPathProblem::kNotText;
  }
  bool literal = text[0] == u'\\' && text[1] == u'\\' && text[2] == u'?' && text[3] == u'\\';
  if ((text[0] == u'\\' || text[0] == u'/') && (text[1] == u'\\' || text[1] == u'/') &&
      text[2] == u'.' && (text[3] == u'\\' || text[3] == u'/')) {
    return TypedPathProblem::kDeviceNamespace;
  }
  // GetFullPathNameW drops a trailing dot or blank from every name: a typed
  // "C:\out." would become another folder, "C:\out". (".." and "." are
  // steps, not names; "\\?\" paths are taken as they stand.)
  for (std::size_t begin = literal ? 4 : 0; !literal && text[begin] != u'\0';) {
    std::size_t end = begin;
    while (text[end] != u'\0' && text[end] != u'\\' && text[end] != u'/') ++end;
    bool step = (end - begin == 1 && text[begin] == u'.') ||
                (end - begin == 2 && text[begin] == u'.' && text[begin + 1] == u'.');
    if (end > begin && !step && (text[end - 1] == u'.' || text[end - 1] == u' ')) {
      return TypedPathProblem::kDotOrSpaceAtEnd;
    }
    begin = text[end] == u'\0' ? end : end + 1;
  }
  wchar_t full[kMaxPath];
  DWORD length = ::GetFullPathNameW(win32::Wide(text), kMaxPath, full, nullptr);
  if (length == 0) return TypedPathProblem::kCannotResolve;
  if (length >= kMaxPath) return TypedPathProblem::kTooLong;
  auto* device = reinterpret_cast<char16_t*>(full);
  std::size_t root = DeviceRootLength(device);
  while (length > root && length > 1 && device[length - 1] == u'\\') device[--length] = u'\0';
  WideCopy(path, device);
  return TypedPathProblem::kNone;
}

}  // namespace platform
