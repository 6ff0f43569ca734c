#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/device_path.h"

namespace platform {
namespace {

void FillAttributes(const struct stat& info, bool isLink, FileAttributes* attributes) {
  attributes->isFolder = S_ISDIR(info.st_mode);
  attributes->isLink = isLink;
  attributes->size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
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

// The staging files being written, so that an ending that cannot wait for
// their writers (a signal handler, the cancel command's immediate exit)
// still removes them. A slot holds a duplicate of the folder's descriptor
// and the staging file's number, in lock-free atomics, so that reading it
// is async-signal-safe. Its owner takes it free -> filling -> set and, once
// the file is renamed or deleted, set -> emptying -> free; an ending takes
// it set -> removing -> removed, and an owner that finds it there waits for
// "removed" before it closes the descriptor (only a test's captured ending
// lets the owner go on).
enum SlotState : int { kFree, kFilling, kSet, kEmptying, kRemoving, kRemoved };

struct StagingSlot {
  std::atomic<int> state{kFree};
  std::atomic<int> folder{-1};
  std::atomic<unsigned> number{0};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);

// Unpacking writes one file at a time per thread; a full table only means
// that a file written meanwhile is not removed by an immediate ending.
StagingSlot stagingSlots[16];

constexpr char kStagingPrefix[] = ".kva-";
constexpr std::size_t kStagingNameLength = sizeof kStagingPrefix - 1 + 8;

// ".kva-" and eight hex digits, without snprintf: this runs in signal handlers.
void StagingName(unsigned number, char (&name)[kStagingNameLength + 1]) {
  std::memcpy(name, kStagingPrefix, sizeof kStagingPrefix - 1);
  for (std::size_t i = 0; i < 8; ++i) {
    name[kStagingNameLength - 1 - i] = "0123456789abcdef"[number & 0xFu];
    number >>= 4;
  }
  name[kStagingNameLength] = '\0';
}

// The number a staging name was made from; false for any other name.
bool StagingNumber(const char* name, unsigned* number) {
  if (std::strlen(name) != kStagingNameLength ||
      std::memcmp(name, kStagingPrefix, sizeof kStagingPrefix - 1) != 0) {
    return false;
  }
  unsigned value = 0;
  for (const char* c = name + sizeof kStagingPrefix - 1; *c != '\0'; ++c) {
    const char* digit = std::strchr("0123456789abcdef", *c);
    if (digit == nullptr) return false;
    value = value << 4 | static_cast<unsigned>(digit - "0123456789abcdef");
  }
  *number = value;
  return true;
}

void RegisterStaging(int folder, unsigned number) {
  for (StagingSlot& slot : stagingSlots) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    int duplicate = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
      slot.state.store(kFree);
      return;
    }
    slot.folder.store(duplicate);
    slot.number.store(number);
    slot.state.store(kSet);
    return;
  }
}

// Called once the staging file `name` has been renamed or deleted. Keeps
// errno as the caller's failure left it.
void ForgetStaging(const char* name) {
  unsigned number = 0;
  if (!StagingNumber(name, &number)) return;
  int error = errno;
  for (StagingSlot& slot : stagingSlots) {
    int state = slot.state.load();
    // Numbers are unique within the process, and only their owner
    // forgets them, so a match stays this caller's slot.
    if ((state != kSet && state != kRemoving && state != kRemoved) ||
        slot.number.load() != number) {
      continue;
    }
    int expected = kSet;
    if (!slot.state.compare_exchange_strong(expected, kEmptying)) {
      while (slot.state.load() != kRemoved) std::this_thread::yield();
    }
    ::close(slot.folder.load());
    slot.folder.store(-1);
    slot.state.store(kFree);
    break;
  }
  errno = error;
}

}  // namespace

void RemoveStagingFilesNow() {
  for (StagingSlot& slot : stagingSlots) {
    int expected = kSet;
    if (!slot.state.compare_exchange_strong(expected, kRemoving)) continue;
    char name[kStagingNameLength + 1];
    StagingName(slot.number.load(), name);
    ::unlinkat(slot.folder.load(), name, 0);
    slot.state.store(kRemoved);
  }
}

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

File::~File() {
  if (IsOpen()) Close();
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
  Describe(info);
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
  Describe(info);
  return true;
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  char host[kMaxHostPath];
  if (!ToHostPath(path, host)) return false;
  return Adopt(::open(host, O_WRONLY | O_CLOEXEC), true);
}

bool File::CreateStagingIn(const Folder& folder, const char16_t* name, char16_t* stagingName) {
  if (IsOpen() || !folder.IsOpen()) return false;
  char host[kMaxHostPath];
  if (!HostName(name, host) || !NeitherLinkNorFolder(folder.Descriptor(), host)) return false;
  // One seed per process and an odd step: no two staging files of the
  // process share a number, which is what the table of staging files
  // relies on.
  static const unsigned seed = static_cast<unsigned>(::getpid()) * 2654435761u ^
                               static_cast<unsigned>(::time(nullptr));
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned number = seed + counter.fetch_add(1) * 40503u;
    char staged[kStagingNameLength + 1];
    StagingName(number, staged);
    int descriptor = ::openat(folder.Descriptor(), staged,
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (!Adopt(descriptor, true)) {
      ::unlinkat(folder.Descriptor(), staged, 0);
      return false;
    }
    RegisterStaging(folder.Descriptor(), number);
    std::size_t i = 0;
    for (; staged[i] != '\0'; ++i) stagingName[i] = static_cast<char16_t>(staged[i]);
    stagingName[i] = u'\0';
    return true;
  }
  errno = EEXIST;
  return false;
}

bool File::Adopt(int descriptor, bool forWriting) {
  if (descriptor < 0) return false;
  if (buffer_ == nullptr) buffer_.reset(new (std::nothrow) unsigned char[kBufferSize]);
  if (buffer_ == nullptr) {
    ::close(descriptor);
    errno = ENOMEM;
    return false;
  }
  descriptor_ = descriptor;
  writing_ = forWriting;
  failed_ = false;
  described_ = false;
  begin_ = 0;
  end_ = 0;
  return true;
}

void File::Describe(const struct ::stat& info) {
  described_ = true;
  openedSize_ = static_cast<std::uint64_t>(info.st_size);
  id_ = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool File::Read(void* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  if (!IsOpen() || writing_ || failed_) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t wanted = size;
  while (wanted > 0) {
    if (begin_ == end_) {
      // Large reads bypass the buffer; small ones refill it.
      if (wanted >= kBufferSize) {
        ssize_t direct = ::read(descriptor_, out, wanted);
        if (direct < 0) {
          if (errno == EINTR) continue;
          failed_ = true;
          return false;
        }
        if (direct == 0) break;
        out += direct;
        wanted -= static_cast<std::size_t>(direct);
        *got += static_cast<std::uint32_t>(direct);
        continue;
      }
      ssize_t filled = ::read(descriptor_, buffer_.get(), kBufferSize);
      if (filled < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        return false;
      }
      if (filled == 0) break;
      begin_ = 0;
      end_ = static_cast<std::size_t>(filled);
    }
    std::size_t take = end_ - begin_ < wanted ? end_ - begin_ : wanted;
    std::memcpy(out, buffer_.get() + begin_, take);
    begin_ += take;
    out += take;
    wanted -= take;
    *got += static_cast<std::uint32_t>(take);
  }
  return true;
}

bool File::Write(const void* buffer, std::uint32_t size) {
  if (!IsOpen() || !writing_ || failed_) return false;
  const auto* data = static_cast<const unsigned char*>(buffer);
  std::size_t remaining = size;
  if (end_ + remaining > kBufferSize) {
    if (!Flush()) return false;
    if (remaining >= kBufferSize) {
      if (!WriteAll(descriptor_, data, remaining)) {
        failed_ = true;
        return false;
      }
      return true;
    }
  }
  std::memcpy(buffer_.get() + end_, data, remaining);
  end_ += remaining;
  return true;
}

bool File::Flush() {
  if (!writing_ || end_ == 0) return !failed_;
  bool ok = !failed_ && WriteAll(descriptor_, buffer_.get(), end_);
  end_ = 0;
  if (!ok) failed_ = true;
  return ok;
}

bool File::Seek(std::uint64_t position) {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  return ::lseek(descriptor_, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool File::SeekToEnd() {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  return ::lseek(descriptor_, 0, SEEK_END) >= 0;
}

bool File::Truncate(std::uint64_t length) {
  if (!IsOpen() || !writing_ || !Flush()) return false;
  return ::ftruncate(descriptor_, static_cast<off_t>(length)) == 0;
}

bool File::Close() {
  if (!IsOpen()) return false;
  bool ok = Flush();
  if (::close(descriptor_) != 0 && writing_) ok = false;
  descriptor_ = -1;
  writing_ = false;
  failed_ = false;
  begin_ = end_ = 0;
  buffer_.reset();
  return ok;
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
  *id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

bool GetFileId(const File& file, FileId* id) {
  if (file.described_) {
    *id = file.id_;
    return true;
  }
  struct stat info;
  if (!file.IsOpen() || ::fstat(file.Descriptor(), &info) != 0) return false;
  *id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

bool IsSameFile(const File& file, const char16_t* path) {
  FileId open;
  FileId named;
  return GetFileId(file, &open) && GetFileId(path, &named) && open == named;
}

bool IsSameFile(const char16_t* a, const char16_t* b) {
  FileId first;
  FileId second;
  return GetFileId(a, &first) && GetFileId(b, &second) && first == second;
}

bool DeleteFile(const char16_t* path) {
  char host[kMaxHostPath];
  return ToHostPath(path, host) && ::unlink(host) == 0;
}

bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to) {
  char hostFrom[kMaxHostPath];
  char hostTo[kMaxHostPath];
  if (!folder.IsOpen() || !HostName(from, hostFrom) || !HostName(to, hostTo)) return false;
  // Checked again: a link may have been planted since the staging file was
  // made. rename() would replace the link itself, but a link is refused as
  // at creation.
  if (!NeitherLinkNorFolder(folder.Descriptor(), hostTo) ||
      ::renameat(folder.Descriptor(), hostFrom, folder.Descriptor(), hostTo) != 0) {
    return false;
  }
  ForgetStaging(hostFrom);
  return true;
}

bool DeleteIn(const Folder& folder, const char16_t* name) {
  char host[kMaxHostPath];
  if (!folder.IsOpen() || !HostName(name, host)) return false;
  bool deleted = ::unlinkat(folder.Descriptor(), host, 0) == 0;
  ForgetStaging(host);  // the caller has given the file up either way
  return deleted;
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
