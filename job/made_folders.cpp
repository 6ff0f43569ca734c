#include "job/made_folders.h"

#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/wide_string.h"
#include "securefile/path_helpers.h"
#include "securefile/securefile.h"

namespace job {
namespace {

// Cuts the last component (and the backslash in front of it) off the
// first `length` units of `path`, never into its root.
std::size_t Parent(const char16_t* path, std::size_t length) {
  const std::size_t root = platform::DeviceRootLength(path);
  while (length > root && path[length - 1] != u'\\') --length;
  return length > root ? length - 1 : root;
}

}  // namespace

bool MakeFolders(const char16_t* path, std::size_t* existing) {
  char16_t prefix[platform::kMaxPath];
  if (!platform::WideCopy(prefix, path)) return false;
  std::size_t length = platform::WideLength(prefix);
  platform::FileAttributes attributes;
  while (length > platform::DeviceRootLength(path) &&
         !platform::GetFileAttributes(prefix, &attributes)) {
    length = Parent(path, length);
    prefix[length] = u'\0';
  }
  *existing = length;
  if (securefile::CreatePathFolders(path) == kResultOk) return true;
  RemoveMadeFolders(path, *existing);
  return false;
}

void RemoveMadeFolders(const char16_t* path, std::size_t existing) {
  char16_t level[platform::kMaxPath];
  if (!platform::WideCopy(level, path)) return;
  for (std::size_t length = platform::WideLength(level); length > existing;
       length = Parent(path, length)) {
    level[length] = u'\0';
    // A level never made (creation failed there) is passed over.
    platform::FileAttributes attributes;
    if (!platform::RemoveFolder(level) && platform::GetFileAttributes(level, &attributes)) return;
  }
}

}  // namespace job
