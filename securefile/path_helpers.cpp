#include "securefile/path_helpers.h"

#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/wide_string.h"
#include "securefile/securefile.h"

namespace securefile {

std::int32_t PathPrefix(const char16_t* path, std::uint32_t n, char16_t* out) {
  std::uint32_t seen = 0;
  std::size_t i = 0;
  for (; path[i] != u'\0' && i + 1 < platform::kMaxPath; ++i) {
    if (path[i] == u'\\') {
      if (seen == n) break;
      ++seen;
    }
    out[i] = path[i];
  }
  out[i] = u'\0';
  if (path[i] == u'\\') return kResultOk;
  // A path that does not end within the limit was cut: no prefix of it is
  // the whole path.
  if (path[i] != u'\0') return kResultFailed;
  return seen == n ? kResultOk : kResultFailed;
}

std::int32_t PathSuffix(const char16_t* path, std::uint32_t n, char16_t* out) {
  if (n == 0) return kResultFailed;
  std::size_t length = platform::WideLength(path);
  std::uint32_t seen = 0;
  for (std::size_t i = length; i > 0; --i) {
    if (path[i - 1] == u'\\' && ++seen == n) {
      return platform::WideCopy(out, platform::kMaxPath, path + i) ? kResultOk : kResultFailed;
    }
  }
  return kResultFailed;
}

std::int32_t CreatePathFolders(const char16_t* path) {
  // Longer paths do not fit the buffers: refused before anything is made.
  if (platform::WideLength(path) >= platform::kMaxPath) return kResultFailed;
  // The root part (a drive, or a UNC server and share) names a device, never
  // a folder to create; a path that is only a root is still examined whole.
  const std::size_t root = platform::DeviceRootLength(path);
  char16_t prefix[platform::kMaxPath];
  for (std::uint32_t n = 1; PathPrefix(path, n, prefix) == kResultOk; ++n) {
    if (platform::WideLength(prefix) < root) continue;
    platform::FileAttributes attributes;
    if (!platform::GetFileAttributes(prefix, &attributes)) {
      // A creation that fails because someone else (another unpacker into
      // the same place) has just made the folder has still got its folder.
      if (!platform::CreateFolder(prefix) &&
          !(platform::GetFileAttributes(prefix, &attributes) && attributes.isFolder)) {
        return kResultFailed;
      }
    } else if (!attributes.isFolder) {
      return kResultFailed;
    }
    if (platform::WideLength(prefix) == platform::WideLength(path)) break;
  }
  return kResultOk;
}

}  // namespace securefile
