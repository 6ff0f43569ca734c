#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The lock this process holds; its descriptor stays open until the end.
int heldDescriptor = -1;
std::string heldPath;

// A real folder (lstat: not a link) that belongs to this user.
bool OwnFolder(const std::string& path, struct stat* info) {
  return ::lstat(path.c_str(), info) == 0 && S_ISDIR(info->st_mode) &&
         info->st_uid == ::getuid();
}

}  // namespace

bool PrivateRuntimeFolder(std::string* folder) {
  struct stat info;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && OwnFolder(runtime, &info) &&
      (info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
    *folder = runtime;
    return true;
  }
  // The same temporary folder as the temporary files.
  const char* temporary = std::getenv("TMPDIR");
  if (temporary == nullptr || temporary[0] != '/') temporary = "/tmp";
  // (A doubled slash, when TMPDIR ends in one, names the same folder.)
  std::string own = std::string(temporary) + "/tessaron-" + std::to_string(::getuid());
  // Someone else may have made it first, or put a link there: it is used
  // only when it is ours and closed to everyone else.
  if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (!OwnFolder(own, &info) || (info.st_mode & 07777) != 0700) return false;
  *folder = own;
  return true;
}

InstanceLock TakeInstanceLock(const std::string& path) {
  if (heldDescriptor >= 0 && path == heldPath) return InstanceLock::kTaken;
  int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (descriptor < 0) return InstanceLock::kUnavailable;
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(descriptor);
    return error == EWOULDBLOCK ? InstanceLock::kHeldByAnother : InstanceLock::kUnavailable;
  }
  heldDescriptor = descriptor;
  heldPath = path;
  return InstanceLock::kTaken;
}

}  // namespace platform
