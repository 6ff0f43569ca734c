#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/device_path.h"
#include "platform/shared/host.h"

namespace platform {
namespace {

void FillAttributes(const struct stat& info, bool isLink, FileAttributes* attributes) {
  attributes->isFolder = S_ISDIR(info.st_mode);
  attributes->isLink = isLink;
  attributes->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// A single name inside a folder, on the host.
bool HostName(const char16_t* name, char (&host)[kMaxHostPath]) {
  return ToHostPath(name, host) && std::strchr(host, '/') == nullptr;
}

// Unpacking never writes through a link, nor replaces one or a folder.
bool NeitherLinkNorFolder(int folder, const char* host) {
  struct stat info;
  if (::fstatat(folder, host, &info, AT_SYMLINK_NOFOLLOW) != 0) return true;
  if (S_ISLNK(info.st_mode) || S_ISDIR(info.st_mode)) {
    errno = S_ISLNK(info.st_mode) ? ELOOP : EISDIR;
    return false;
  }
  return true;
}

FileId IdOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

mode_t DefaultFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

// What the shared file logic stands on (shared/host.h).
namespace host {

long long ReadSome(int descriptor, unsigned char* data, std::size_t size) {
  for (;;) {
    ssize_t got = ::read(descriptor, data, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// write() until everything is out or an error other than an interruption.
bool WriteAll(int descriptor, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool Seek(int descriptor, std::uint64_t position) {
  return ::lseek(descriptor, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool SeekToEnd(int descriptor) { return ::lseek(descriptor, 0, SEEK_END) >= 0; }

bool Truncate(int descriptor, std::uint64_t length) {
  return ::ftruncate(descriptor, static_cast<off_t>(length)) == 0;
}

bool Close(int descriptor) { return ::close(descriptor) == 0; }

bool GetOpenFileId(int descriptor, FileId* id) {
  struct stat info;
  if (::fstat(descriptor, &info) != 0) return false;
  *id = IdOf(info);
  return true;
}

void SetError(int error) { errno = error; }
int OutOfMemoryError() { return ENOMEM; }
int FileExistsError() { return EEXIST; }

unsigned ProcessId() { return static_cast<unsigned>(::getpid()); }

bool MayReplace(const Folder& folder, const char16_t* name) {
  char host[kMaxHostPath];
  return HostName(name, host) && NeitherLinkNorFolder(folder.Descriptor(), host);
}

HostHandle CreateNewIn(const Folder& folder, const char16_t* name) {
  char host[kMaxHostPath];
  if (!HostName(name, host)) return -1;
  return ::openat(folder.Descriptor(), host, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0666);
}

bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to, bool replace) {
  char hostFrom[kMaxHostPath];
  char hostTo[kMaxHostPath];
  int at = folder.Descriptor();
  if (!HostName(from, hostFrom) || !HostName(to, hostTo)) return false;
  if (!replace) {
    if (::renameat2(at, hostFrom, at, hostTo, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL) return false;
    // File systems without RENAME_NOREPLACE: a hard link refuses to replace.
    if (::linkat(at, hostFrom, at, hostTo, 0) != 0) return false;
    ::unlinkat(at, hostFrom, 0);
    return true;
  }
  // Checked again: a link may have been planted since the staging file was
  // made. rename() would replace the link itself, but a link is refused as
  // at creation.
  return NeitherLinkNorFolder(at, hostTo) && ::renameat(at, hostFrom, at, hostTo) == 0;
}

bool DeleteIn(const Folder& folder, const char16_t* name) {
  char host[kMaxHostPath];
  return HostName(name, host) && ::unlinkat(folder.Descriptor(), host, 0) == 0;
}

bool Hold(const Folder& folder, HeldFolder* held) {
  int duplicate = ::fcntl(folder.Descriptor(), F_DUPFD_CLOEXEC, 0);
  held->descriptor.store(duplicate);
  return duplicate >= 0;
}

void Release(HeldFolder* held) {
  ::close(held->descriptor.load());
  held->descriptor.store(-1);
}

void DeleteIn(const HeldFolder& folder, const char16_t* name) {
  // A staging name is ASCII, so a plain copy converts it: this runs in
  // signal handlers.
  char host[kMaxHostPath];
  std::size_t i = 0;
  for (; name[i] != u'\0' && i + 1 < sizeof host; ++i) host[i] = static_cast<char>(name[i]);
  host[i] = '\0';
  ::unlinkat(folder.descriptor.load(), host, 0);
}

}  // namespace host

bool GetFileAttributes(const char16_t* path, FileAttributes* attributes) {
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  struct stat linkInfo;
  if (::lstat(host, &linkInfo) != 0) return false;
  bool isLink = S_ISLNK(linkInfo.st_mode);
  struct stat info;
  if (isLink) {
    if (::stat(host, &info) != 0) return false;  // a dangling link names nothing
  } else {
    info = linkInfo;
  }
  FillAttributes(info, isLink, attributes);
  return true;
}

bool GetLinkAttributes(const char16_t* path, FileAttributes* attributes) {
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  struct stat info;
  if (::lstat(host, &info) != 0) return false;
  FillAttributes(info, S_ISLNK(info.st_mode), attributes);
  return true;
}

bool File::OpenRead(const char16_t* path) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  // Non-blocking, so that a FIFO cannot hang the open; only regular files
  // are read, since a device or a FIFO has no size to record or may never end.
  int descriptor = ::open(host, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info;
  if (::fstat(descriptor, &info) != 0) {
    int error = errno;
    ::close(descriptor);
    errno = error;
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(descriptor);
    errno = S_ISDIR(info.st_mode) ? EISDIR : ENXIO;
    return false;
  }
  // O_NONBLOCK means nothing to a regular file: no need to clear it.
  if (!Adopt(descriptor, false)) return false;
  Describe(static_cast<std::uint64_t>(info.st_size), IdOf(info));
  return true;
}

bool File::Create(const char16_t* path) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  // Non-blocking, so that a FIFO nobody reads fails at once instead of
  // hanging the open.
  int descriptor = ::open(host, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (descriptor < 0) return false;
  // Empty the file only when it holds something: on ext4 a truncation
  // makes the close flush the whole new content at once, a cost that a
  // freshly reserved (empty) temporary file should not pay.
  struct stat info;
  if (::fstat(descriptor, &info) != 0 || (info.st_size != 0 && ::ftruncate(descriptor, 0) != 0)) {
    ::close(descriptor);
    return false;
  }
  if (!S_ISREG(info.st_mode)) ::fcntl(descriptor, F_SETFL, 0);  // a FIFO with a reader, a device
  if (!Adopt(descriptor, true)) return false;
  Describe(static_cast<std::uint64_t>(info.st_size), IdOf(info));
  return true;
}

bool File::OpenStandardInput() {
  if (IsOpen()) return false;
  // A duplicate, so that closing the File leaves descriptor 0 open.
  int descriptor = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (descriptor < 0) return false;
  struct stat info;
  if (::fstat(descriptor, &info) != 0) {
    ::close(descriptor);
    return false;
  }
  if (!Adopt(descriptor, false)) return false;
  off_t position = ::lseek(descriptor, 0, SEEK_CUR);
  if (S_ISREG(info.st_mode) && position >= 0 && position <= info.st_size) {
    Describe(static_cast<std::uint64_t>(info.st_size - position), IdOf(info));
  }
  return true;
}

bool File::OpenStandardOutput() {
  return !IsOpen() && Adopt(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0), true);
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  return Adopt(::open(host, O_WRONLY | O_CLOEXEC), true);
}

Folder::~Folder() { Close(); }

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    Close();
    descriptor_ = other.descriptor_;
    other.descriptor_ = -1;
  }
  return *this;
}

bool Folder::Open(const char16_t* path) {
  Close();
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  descriptor_ = ::open(host, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return descriptor_ >= 0;
}

bool Folder::OpenChild(const Folder& parent, const char16_t* name, bool create) {
  Close();
  char host[kMaxHostPath];
  if (!parent.IsOpen() || !ToHostPath(name, host) || std::strchr(host, '/') != nullptr) {
    return false;
  }
  if (create && ::mkdirat(parent.Descriptor(), host, 0777) != 0 && errno != EEXIST) return false;
  // O_NOFOLLOW with O_DIRECTORY refuses a link even when it leads to a folder.
  descriptor_ = ::openat(parent.Descriptor(), host, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return descriptor_ >= 0;
}

void Folder::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool GetFileId(const char16_t* path, FileId* id) {
  char host[kMaxHostPath];
  struct stat info;
  if (!ToHostPath(path, host) || ::stat(host, &info) != 0) return false;
  *id = IdOf(info);
  return true;
}

bool DeleteFile(const char16_t* path) {
  char host[kMaxHostPath];
  return ToHostPath(path, host) && ::unlink(host) == 0;
}

bool MoveIntoPlace(const char16_t* fromPath, const char16_t* toPath, bool replace) {
  char from[kMaxHostPath];
  char to[kMaxHostPath];
  if (!ToHostPath(fromPath, from) || !ToHostPath(toPath, to)) {
    errno = EINVAL;
    return false;
  }
  ::chmod(from, DefaultFileMode());
  // Without replace, a file that appeared meanwhile is still not replaced.
  bool moved = replace ? ::rename(from, to) == 0
                       : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0;
  if (!moved && !replace && errno == EINVAL) {
    // File systems without RENAME_NOREPLACE: a hard link refuses to replace.
    moved = ::link(from, to) == 0;
    if (moved) ::unlink(from);
  }
  return moved;
}

bool CreateFolder(const char16_t* path) {
  char host[kMaxHostPath];
  return ToHostPath(path, host) && ::mkdir(host, 0777) == 0;
}

bool RemoveFolder(const char16_t* path) {
  char host[kMaxHostPath];
  return ToHostPath(path, host) && ::rmdir(host) == 0;
}

FolderSearch::~FolderSearch() { End(); }

bool FolderSearch::Start(const char16_t* folder, bool followLink) {
  End();
  char host[kMaxHostPath];
  if (!ToHostPath(folder, host)) return false;
  int descriptor =
      ::open(host, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
  if (descriptor < 0) return false;
  directory_ = ::fdopendir(descriptor);
  if (directory_ == nullptr) {
    int error = errno;
    ::close(descriptor);
    errno = error;
  }
  return directory_ != nullptr;
}

FolderSearch::Result FolderSearch::Next(char16_t* name) {
  if (directory_ == nullptr) return Result::kError;
  errno = 0;
  struct dirent* entry = ::readdir(static_cast<DIR*>(directory_));
  if (entry == nullptr) return errno == 0 ? Result::kEnd : Result::kError;
  hostName_ = entry->d_name;
  if (std::strchr(entry->d_name, '\\') != nullptr ||
      !Utf8ToUtf16(entry->d_name, std::strlen(entry->d_name), name, kMaxPath)) {
    name[0] = u'\0';
    return Result::kUnrepresentableName;
  }
  return Result::kName;
}

void FolderSearch::End() {
  if (directory_ != nullptr) ::closedir(static_cast<DIR*>(directory_));
  directory_ = nullptr;
  hostName_ = "";
}

int LastError() { return errno; }

int LinkNotFollowedError() { return ELOOP; }

void ErrorText(int error, char16_t* text, std::size_t capacity) {
  char buffer[256];
  const char* message = ::strerror_r(error, buffer, sizeof buffer);
  if (!Utf8ToUtf16(message, std::strlen(message), text, capacity) && capacity > 0) {
    text[0] = u'\0';
  }
}

}  // namespace platform
