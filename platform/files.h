// The device's file services on the host file system.
//
// Every function takes device paths (see device_path.h) and fails cleanly
// when a path cannot be mapped. On Windows (platform/win32/files.cpp)
// the same contract stands on CreateFileW and its family: links are
// symbolic links and junctions, a file open for reading is shared with
// writers and deleters as on Linux, and names created below a folder must
// be plain Windows names. Files are buffered inside the layer through
// one fixed buffer per open file, so that the library's 1024-byte chunks do
// not each cost a system call while memory stays the same whatever the size
// of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/wide_string.h"

namespace platform {

#ifdef _WIN32
// A HANDLE held as an integer; -1 (INVALID_HANDLE_VALUE) when closed.
using HostHandle = std::intptr_t;
#else
// A file descriptor; -1 when closed.
using HostHandle = int;
#endif

struct FileAttributes {
  bool isFolder = false;
  bool isLink = false;  // the path itself is a symbolic link
  std::uint64_t size = 0;  // the full size; callers decide what fits 32 bits
};

// Attributes of the file or folder a path names, following symbolic links
// (isLink still tells whether the last component is one). False when it
// does not exist or cannot be examined.
bool GetFileAttributes(const char16_t* path, FileAttributes* attributes);

// Like GetFileAttributes, but a symbolic link is described as itself.
bool GetLinkAttributes(const char16_t* path, FileAttributes* attributes);

// A file's identity on this host, to recognise it again later under any
// name (or to notice that a name now means another file).
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

class Folder;

// An open file. Reading and writing go through a fixed buffer, allocated
// while the file is open (so deep recursions that hold few open files keep
// small stack frames); a file is opened either for reading or for writing.
class File {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  File() = default;
  ~File();  // closes the file if still open; a failure there is not reported
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing regular file for reading (not a folder, device or FIFO).
  bool OpenRead(const char16_t* path);
  // Creates a file for writing, emptying any existing file of that name.
  // New files get the user's default permissions (0666 less the umask).
  bool Create(const char16_t* path);
  // Opens an existing file for writing without emptying it; position 0.
  bool OpenWrite(const char16_t* path);
  // Creates a new, hidden file in `folder` to receive the content of
  // `name`, which takes it over with ReplaceIn once complete: until then an
  // existing file of that name stays as it is, and a failure leaves no
  // partial file under it. The hidden name goes to `stagingName` (kMaxPath
  // units). Fails, creating nothing, when `name` is a symbolic link or a
  // folder.
  bool CreateStagingIn(const Folder& folder, const char16_t* name, char16_t* stagingName);
  // Standard input for reading, or standard output for writing, as data
  // (never translated). Closing the File leaves the stream itself open.
  bool OpenStandardInput();
  bool OpenStandardOutput();

  // Reads up to `size` bytes. `*got` is less than `size` only at the end of
  // the file. False on an error.
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got);
  // Writes all `size` bytes or fails. Data may stay buffered until the next
  // seek or Close, which then report any failure.
  bool Write(const void* buffer, std::uint32_t size);
  bool Seek(std::uint64_t position);
  bool SeekToEnd();
  // Cuts (or extends) the file to `length` bytes; for files open for writing.
  bool Truncate(std::uint64_t length);
  // For a file opened with OpenRead: its size when it was opened. For
  // standard input that is a file (redirected from one): the bytes from
  // where it stood to its end; SizeKnown() is false for a pipe.
  std::uint64_t OpenedSize() const { return openedSize_; }
  bool SizeKnown() const { return described_; }
  // Flushes and closes. False if any buffered write failed: a file whose
  // close fails is a failed write.
  bool Close();

  bool IsOpen() const { return descriptor_ >= 0; }
  HostHandle Descriptor() const { return descriptor_; }

 private:
  friend bool GetFileId(const File& file, FileId* id);
  bool Flush();
  bool Adopt(HostHandle descriptor, bool forWriting);
  void Describe(std::uint64_t size, const FileId& id);

  HostHandle descriptor_ = -1;
  bool writing_ = false;
  bool failed_ = false;
  // What the host said at opening (OpenRead and Create), so that callers
  // asking for the size or the identity cost no further system call.
  bool described_ = false;
  std::uint64_t openedSize_ = 0;
  FileId id_;
  std::size_t begin_ = 0;  // reading: next unread byte; writing: unused
  std::size_t end_ = 0;    // reading: end of buffered bytes; writing: bytes waiting
  std::unique_ptr<unsigned char[]> buffer_;
};

// An open folder, to create and open names inside it without following
// symbolic links. Extraction walks below its destination this way, so that
// a link planted there can never redirect a write outside it.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  Folder(Folder&& other) noexcept { *this = std::move(other); }
  Folder& operator=(Folder&& other) noexcept;

  // Opens the folder a path names; this one may be reached through links.
  bool Open(const char16_t* path);
  // Opens the child folder `name`, creating it first when `create` is set.
  // Fails if `name` is a symbolic link or anything but a folder.
  bool OpenChild(const Folder& parent, const char16_t* name, bool create);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }
  HostHandle Descriptor() const { return descriptor_; }
#ifdef _WIN32
  const char16_t* Path() const { return path_; }
#endif

 private:
  HostHandle descriptor_ = -1;
#ifdef _WIN32
  // Windows opens names below a folder by their full path; the open handle
  // keeps the folder from being moved or replaced meanwhile.
  char16_t path_[kMaxPath] = {};
#endif
};

// True when `path` names the same file as the one `file` has open. Used to
// refuse writing an output over the input it is being made from.
bool IsSameFile(const File& file, const char16_t* path);

bool GetFileId(const char16_t* path, FileId* id);
bool GetFileId(const File& file, FileId* id);
// True when both paths name the same existing file.
bool IsSameFile(const char16_t* a, const char16_t* b);

bool DeleteFile(const char16_t* path);
// Renames the file `from` in `folder` to `to`, replacing a file of that name
// (the name, never what it is linked to: a hard link elsewhere keeps its
// bytes); a symbolic link or a folder named `to` makes it fail. Without
// `replace`, anything named `to` makes it fail, even what appeared there a
// moment ago.
bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to,
               bool replace = true);
bool DeleteIn(const Folder& folder, const char16_t* name);
// Removes every staging file still being written (made by CreateStagingIn
// and not yet renamed by ReplaceIn or deleted by DeleteIn). For endings
// that cannot wait for the writers: async-signal-safe, so a signal handler
// may call it, and an immediate ending of the process does.
void RemoveStagingFilesNow();
// Gives the finished file `from` the access any new file gets in its
// folder (it was private while incomplete) and renames it to `to`,
// replacing an existing file only when `replace`. False with the system's
// reason for LastError().
bool MoveIntoPlace(const char16_t* from, const char16_t* to, bool replace);
// Creates one folder (the user's default permissions); false if it exists.
bool CreateFolder(const char16_t* path);
bool RemoveFolder(const char16_t* path);

// Enumerates the names in one folder, "." and ".." included, in the order
// the file system returns them.
class FolderSearch {
 public:
  enum class Result { kName, kEnd, kUnrepresentableName, kError };

  FolderSearch() = default;
  ~FolderSearch();
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // Starts listing `folder`. With `followLink` false a folder that is (or
  // has just become) a symbolic link is refused, so a walk that has seen a
  // folder never lists what a link put in its place.
  bool Start(const char16_t* folder, bool followLink = true);
  // The next name, in `name` (capacity kMaxPath). kUnrepresentableName: the
  // host name holds '\' or is not valid UTF-8 (or is too long); HostName()
  // then gives its raw bytes for a message.
  Result Next(char16_t* name);
  const char* HostName() const { return hostName_; }
  void End();

 private:
  void* directory_ = nullptr;  // DIR*
  const char* hostName_ = "";
};

// The last error of the calling thread and a readable text for it.
int LastError();
// The error for a symbolic link that is not followed: the system's own
// answer to a link it was told not to follow.
int LinkNotFollowedError();
void ErrorText(int error, char16_t* text, std::size_t capacity);

}  // namespace platform
