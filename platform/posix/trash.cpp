// The freedesktop.org Trash on Linux (platform/trash.h), as desktops and
// file managers keep it: the file goes to files/ of a trash folder under a
// free name, and info/<name>.trashinfo says where it came from and when.
// The info file is made first, exclusively, so that it reserves the name.
// Every folder of the trash is opened without following links and must be
// the user's own.
#include "platform/trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/device_path.h"

namespace platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The folder `name` in `parent` (made with mode 0700 when missing and
// `create`), open; -1 when it is a link, not a folder, or not the user's.
int OpenOwnFolder(int parent, const char* name, bool create) {
  if (create && ::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return -1;
  int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  if (fd >= 0 && (::fstat(fd, &info) != 0 || info.st_uid != ::getuid())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Makes the folders along an absolute `path` that are missing, 0700 as
// the data folder is made.
void MakeFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
    ::mkdir(path.substr(0, at).c_str(), 0700);
    if (at == std::string::npos) return;
  }
}

// The device of `path`, or of its nearest folder that exists.
dev_t DeviceOf(std::string path) {
  struct stat info = {};
  while (::stat(path.c_str(), &info) != 0 && path.size() > 1) {
    path.erase(path.find_last_of('/') > 0 ? path.find_last_of('/') : 1);
  }
  return info.st_dev;
}

// The trash a file on device `device` goes to: the home trash when the
// user's data folder is on that device, else the one at the top of the
// file system `path` lies on. -1 when there is none to be had.
int OpenTrash(const std::string& path, dev_t device) {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::string data = dataHome != nullptr && dataHome[0] == '/' ? dataHome
                     : home != nullptr && home[0] == '/'       ? std::string(home) + "/.local/share"
                                                               : "";
  if (!data.empty() && DeviceOf(data) == device) {
    MakeFolders(data);
    Descriptor folder(::open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.Get() < 0 ? -1 : OpenOwnFolder(folder.Get(), "Trash", true);
  }
  // The top of the file system: the last folder up from the file that is
  // still on its device.
  std::string top = path.substr(0, path.find_last_of('/'));
  while (!top.empty()) {
    std::string parent = top.substr(0, top.find_last_of('/'));
    if (DeviceOf(parent.empty() ? "/" : parent) != device) break;
    top = parent;
  }
  Descriptor topFolder(::open(top.empty() ? "/" : top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::string uid = std::to_string(::getuid());
  struct stat shared;
  // A shared .Trash, made by the administrator with the sticky bit, holds
  // one folder per user; else the user's own .Trash-UID.
  if (::fstatat(topFolder.Get(), ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0) {
    Descriptor sharedFolder(::openat(topFolder.Get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    int own = OpenOwnFolder(sharedFolder.Get(), uid.c_str(), true);
    if (own >= 0) return own;
  }
  return OpenOwnFolder(topFolder.Get(), (".Trash-" + uid).c_str(), true);
}

// The trash info's Path: the bytes of the path, escaped as in URLs.
std::string Escaped(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        std::string("/-._~").find(static_cast<char>(c)) != std::string::npos) {
      out += static_cast<char>(c);
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    }
  }
  return out;
}

}  // namespace

bool MoveToTrash(const char16_t* path) {
  char host[kMaxHostPath];
  struct stat source;
  if (!ToHostPath(path, host) || ::lstat(host, &source) != 0) return false;
  std::string hostPath = host;
  Descriptor trash(OpenTrash(hostPath, source.st_dev));
  Descriptor files(OpenOwnFolder(trash.Get(), "files", true));
  Descriptor info(OpenOwnFolder(trash.Get(), "info", true));
  if (files.Get() < 0 || info.Get() < 0) return false;

  std::string name = hostPath.substr(hostPath.find_last_of('/') + 1);
  char date[32];
  std::time_t now = std::time(nullptr);
  struct tm local;
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", ::localtime_r(&now, &local));
  std::string text = "[Trash Info]\nPath=" + Escaped(hostPath) + "\nDeletionDate=" + date + "\n";
  for (int attempt = 1; attempt < 1000; ++attempt) {
    std::string entry = attempt == 1 ? name : name + "." + std::to_string(attempt);
    std::string infoName = entry + ".trashinfo";
    Descriptor record(::openat(info.Get(), infoName.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (record.Get() < 0) {
      if (errno == EEXIST) continue;  // the name is taken: the next one
      return false;
    }
    bool written = ::write(record.Get(), text.data(), text.size()) ==
                   static_cast<ssize_t>(text.size());
    if (written && ::renameat(AT_FDCWD, host, files.Get(), entry.c_str()) == 0) return true;
    ::unlinkat(info.Get(), infoName.c_str(), 0);
    return false;
  }
  return false;
}

}  // namespace platform
