// Device paths and their host counterparts.
//
// The library works on device paths: UTF-16 text with '\' as the only
// separator, at most 259 characters. On Linux the device root '\' is '/'
// and every '\' is '/'. On Windows the device path is the native path
// itself, drive letters and UNC roots included ("C:\Users\me",
// "\\server\share\dir"); host paths are its UTF-8 spelling, where '/' is
// taken as '\'. The mapping is exact both ways or it fails: a device name
// that holds '/' would change meaning on the host, and a Linux name that
// holds '\' or is not valid UTF-8 has no device spelling, so neither is
// ever guessed at.
#pragma once

#include <cstddef>

#include "platform/wide_string.h"

namespace platform {

// Host paths are UTF-8. A device path of 259 UTF-16 units needs at most 777
// bytes (three per unit), so this buffer always suffices.
inline constexpr std::size_t kMaxHostPath = 1024;

// How paths are written on this host: '/' on Linux, '\' on Windows.
extern const char kHostSeparator;

// Device path -> host path. False when the path holds '/', an unpaired
// surrogate, or does not fit.
bool ToHostPath(const char16_t* devicePath, char* hostPath, std::size_t capacity);

// Host path -> device path. False when the path holds '\', is not valid
// UTF-8, or needs kMaxPath units or more.
bool ToDevicePath(const char* hostPath, char16_t* devicePath, std::size_t capacity);

// The length of the root part of an absolute device path, which names a
// device rather than a folder and is never created: 1 for "\..." (the
// device root); on Windows also 3 for "C:\..." and the whole of
// "\\server\share\" for a UNC path. 0 for a relative path. The only
// place that knows what makes a path absolute.
std::size_t DeviceRootLength(const char16_t* path);

// What a path the user typed (a command-line argument, the folder box;
// UTF-8) fails on when it is made a full device path.
enum class TypedPathProblem {
  kNone,
  kEmpty,
  kNotText,           // not valid UTF-8
  kTooLong,           // 260 characters or more once full
  kBackslashInName,   // Linux: a name with '\', which has no device spelling
  kDeviceNamespace,   // Windows: "\\.\...", which names devices, not files
  kDotOrSpaceAtEnd,   // Windows: a name that ends in '.' or ' ', which Windows drops
  kCannotResolve,     // the working folder cannot be found
};

// The one conversion of what the user typed into a full device path: made
// absolute against the working folder, "." and ".." and doubled separators
// resolved, no trailing separator but the root's own. On Linux '/' is the
// separator. On Windows Windows' own reading of the path does it
// (GetFullPathNameW), '/' and '\' alike: a drive-relative "C:x" against
// that drive's working folder, a UNC path "\\server\share\x" on its share,
// and "\\?\C:\x" as it stands, so that each reaches what it names; the
// device namespace "\\.\" is refused, and so is a name ending in a dot or
// a blank rather than silently changed into another name. Nothing is cut.
TypedPathProblem TypedToDevicePath(const char* typed, char16_t (&path)[kMaxPath]);

// UTF-8 <-> UTF-16 without any path rules. Both refuse malformed input
// (overlong forms, surrogates encoded in UTF-8, unpaired surrogates) and
// results that do not fit, and always terminate the output when capacity > 0.
bool Utf8ToUtf16(const char* text, std::size_t length, char16_t* out, std::size_t capacity);
bool Utf16ToUtf8(const char16_t* text, std::size_t length, char* out, std::size_t capacity);

// The host spelling of a device path as UTF-16 (on Linux '/' for '\'), for
// showing to the user: the device spelling stays inside the program. A
// text that has no host spelling, or whose host spelling does not fit, is
// shown as it is (cut to fit). `capacity` counts the terminator.
void HostPathForDisplay(const char16_t* devicePath, char16_t* shown, std::size_t capacity);

template <std::size_t N>
bool ToHostPath(const char16_t* devicePath, char (&hostPath)[N]) {
  return ToHostPath(devicePath, hostPath, N);
}
template <std::size_t N>
bool ToDevicePath(const char* hostPath, char16_t (&devicePath)[N]) {
  return ToDevicePath(hostPath, devicePath, N);
}
template <std::size_t N>
void HostPathForDisplay(const char16_t* devicePath, char16_t (&shown)[N]) {
  HostPathForDisplay(devicePath, shown, N);
}

}  // namespace platform
