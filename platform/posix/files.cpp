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
#include "platform/temp_files.h"

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

// Whether what `host` names in `folder` may be replaced: never a folder,
// and a symbolic link only when asked (unpacking never replaces one).
bool MayReplace(int folder, const char* host, File::Replacing replacing) {
  struct stat info;
  if (replacing == File::Replacing::kNothing) {
    errno = EEXIST;
    return false;
  }
  if (::fstatat(folder, host, &info, AT_SYMLINK_NOFOLLOW) != 0) return true;
  if (S_ISDIR(info.st_mode) || (S_ISLNK(info.st_mode) && replacing != File::Replacing::kFileOrLink)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : ELOOP;
    return false;
  }
  return true;
}

// The path by which a process names its own open descriptor: what links
// a file that has no name into a folder.
struct OwnDescriptorPath {
  explicit OwnDescriptorPath(int descriptor) {
    std::snprintf(text, sizeof text, "/proc/self/fd/%d", descriptor);
  }
  char text[32];
};

// Whether files without a name can be given one later: linkat needs the
// descriptor's path in /proc (the AT_EMPTY_PATH form needs a privilege
// before Linux 6.10).
bool CanNameUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// The errors by which a file system says it cannot make a file without a
// name (EISDIR from kernels that read O_TMPFILE as O_DIRECTORY).
bool NoUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// A new private file under a registered staging name in `folder`: the
// fallback where a file cannot be made without a name. The slot, or -1.
int CreateStaged(const Folder& folder, int* descriptor) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    host::StagingName name;
    int slot = host::RegisterStagingName(folder, name);
    if (slot < 0) return -1;
    char hostName[kMaxHostPath];
    ToHostPath(name, hostName);
    *descriptor = ::openat(folder.Descriptor(), hostName,
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (*descriptor >= 0) return slot;
    int error = errno;
    host::ForgetStagingName(slot);
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  return -1;
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

unsigned ProcessId() { return static_cast<unsigned>(::getpid()); }

int TooManyStagingNamesError() { return EMFILE; }

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

bool File::OpenRead(const char16_t* path) { return OpenExisting(path, kReadOnly); }

bool File::OpenUpdate(const char16_t* path) { return OpenExisting(path, kReadWrite); }

bool File::OpenExisting(const char16_t* path, int access) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  // Non-blocking, so that a FIFO cannot hang the open; only regular files
  // are read, since a device or a FIFO has no size to record or may never end.
  int descriptor = ::open(host, (access == kReadWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
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
  if (!Adopt(descriptor, access)) return false;
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
  if (!Adopt(descriptor, kWriteOnly)) return false;
  Describe(static_cast<std::uint64_t>(info.st_size), IdOf(info));
  return true;
}

bool File::OpenStandardInput() {
  // A duplicate, so that closing the File leaves descriptor 0 open.
  if (IsOpen() || !Adopt(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0), kReadOnly)) return false;
  // A regular file's size is known from where the reading starts; anything
  // else is read as a stream.
  struct stat info;
  off_t position = ::lseek(descriptor_, 0, SEEK_CUR);
  if (::fstat(descriptor_, &info) == 0 && S_ISREG(info.st_mode) && position >= 0 &&
      position <= info.st_size) {
    Describe(static_cast<std::uint64_t>(info.st_size - position), IdOf(info));
  }
  return true;
}

bool File::OpenStandardOutput() {
  return !IsOpen() && Adopt(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0), kWriteOnly);
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  return Adopt(::open(host, O_WRONLY | O_CLOEXEC), kWriteOnly);
}

bool File::CreateUnnamedIn(const Folder& folder) {
  if (IsOpen() || !folder.IsOpen()) return false;
  int descriptor = -1;
  if (CanNameUnnamedFiles()) {
    // Made with the mode it will keep (0666 less the umask, which the
    // kernel applies): having no name, nobody else can open it meanwhile.
    descriptor = ::openat(folder.Descriptor(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (descriptor < 0 && !NoUnnamedFiles(errno)) return false;
  }
  int slot = -1;
  if (descriptor < 0 && (slot = CreateStaged(folder, &descriptor)) < 0) return false;
  if (!Adopt(descriptor, kReadWrite)) {
    if (slot >= 0) host::DeleteStagingName(slot);
    return false;
  }
  uncommitted_ = true;
  staging_ = slot;
  return true;
}

bool File::CreateScratch(const char16_t*) {
  if (IsOpen()) return false;
  char16_t folderPath[kMaxPath];
  Folder folder;
  if (!GetTempFolder(folderPath) || !folder.Open(folderPath)) return false;
  // O_EXCL: this file can never be given a name, not even through /proc.
  int descriptor =
      ::openat(folder.Descriptor(), ".", O_TMPFILE | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    if (!NoUnnamedFiles(errno)) return false;
    // Named for a moment, empty, and gone before anything is written: the
    // name is registered before the file exists, and the file refused if
    // anyone has linked it elsewhere meanwhile.
    int slot = CreateStaged(folder, &descriptor);
    if (slot < 0) return false;
    host::DeleteStagingName(slot);
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || info.st_nlink != 0) {
      ::close(descriptor);
      errno = EEXIST;
      return false;
    }
  }
  return Adopt(descriptor, kReadWrite);
}

bool File::Commit(const Folder& folder, const char16_t* name, Replacing replacing) {
  char target[kMaxHostPath];
  if (!IsOpen() || !uncommitted_ || !folder.IsOpen() || !HostName(name, target)) {
    errno = EINVAL;
    return false;
  }
  // A named fallback file was private (0600) while it could be opened.
  if (!Flush() || (staging_ >= 0 && ::fchmod(descriptor_, DefaultFileMode()) != 0)) return false;
  int at = folder.Descriptor();
  host::StagingName staged;
  char hostStaged[kMaxHostPath];
  bool linkedNow = false;
  if (staging_ < 0) {
    OwnDescriptorPath self(descriptor_);
    if (::linkat(AT_FDCWD, self.text, at, target, AT_SYMLINK_FOLLOW) == 0) {
      uncommitted_ = false;
      return true;
    }
    if (errno != EEXIST || !MayReplace(at, target, replacing)) return false;
    // Replacing: the file is linked under a registered private name, then
    // renamed over the old one, which stays whole until that moment.
    for (int attempt = 0; attempt < 100 && !linkedNow; ++attempt) {
      if ((staging_ = host::RegisterStagingName(folder, staged)) < 0) return false;
      ToHostPath(staged, hostStaged);
      linkedNow = ::linkat(AT_FDCWD, self.text, at, hostStaged, AT_SYMLINK_FOLLOW) == 0;
      if (linkedNow) break;
      int error = errno;
      host::ForgetStagingName(staging_);
      staging_ = -1;
      if (error != EEXIST) {
        errno = error;
        return false;
      }
    }
    if (!linkedNow) return false;
  } else {
    // The fallback's staging name must still be this file: whoever can
    // write the folder may have put something else under it.
    struct stat named;
    struct stat own;
    host::StagingNameOf(staging_, staged);
    ToHostPath(staged, hostStaged);
    if (::fstatat(at, hostStaged, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstat(descriptor_, &own) != 0 || !(IdOf(named) == IdOf(own))) {
      errno = ESTALE;
      return false;
    }
    if (replacing != Replacing::kNothing && !MayReplace(at, target, replacing)) return false;
  }
  bool renamed = replacing != Replacing::kNothing
                     ? ::renameat(at, hostStaged, at, target) == 0
                     : ::renameat2(at, hostStaged, at, target, RENAME_NOREPLACE) == 0;
  if (!renamed && replacing == Replacing::kNothing && errno == EINVAL) {
    // File systems without RENAME_NOREPLACE: a hard link refuses to replace.
    renamed = ::linkat(at, hostStaged, at, target, 0) == 0;
    if (renamed) ::unlinkat(at, hostStaged, 0);
  }
  if (!renamed) {
    if (linkedNow) {
      host::DeleteStagingName(staging_);
      staging_ = -1;
    }
    return false;
  }
  host::ForgetStagingName(staging_);
  staging_ = -1;
  uncommitted_ = false;
  return true;
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

NameProblem CheckName(const char16_t* name) {
  if (name[0] == u'\0') return NameProblem::kEmpty;
  for (const char16_t* c = name; *c != u'\0'; ++c) {
    if (*c == u'/') return NameProblem::kForbiddenCharacter;
  }
  return NameProblem::kNone;
}

// Linux keeps no origin mark.
bool ReadOriginMark(const char16_t*, OriginMark* mark) {
  mark->length = 0;
  return false;
}
bool WriteOriginMark(const File&, const OriginMark&) { return true; }

int LastError() { return errno; }

int LinkNotFollowedError() { return ELOOP; }

int FileExistsError() { return EEXIST; }

void ErrorText(int error, char16_t* text, std::size_t capacity) {
  char buffer[256];
  const char* message = ::strerror_r(error, buffer, sizeof buffer);
  if (!Utf8ToUtf16(message, std::strlen(message), text, capacity) && capacity > 0) {
    text[0] = u'\0';
  }
}

}  // namespace platform
