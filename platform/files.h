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
// small stack frames) and wiped before it is freed, since it may have held
// plaintext. A file is opened for reading, for writing, or (OpenUpdate and
// the files made by CreateUnnamedIn and CreateScratch) for both: switching
// from reading to writing takes a Seek first.
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
  // Opens an existing regular file for reading and writing, position 0, so
  // that what is checked and what is changed are one file.
  bool OpenUpdate(const char16_t* path);

  // Creates a file in `folder` that only its owner can open and that has
  // no name there until Commit gives it one: an output written through
  // this object alone, so that nobody can swap what a name leads to while
  // it is written. Linux makes it without any name (O_TMPFILE); where the
  // file system cannot, and on Windows, it has a hidden name that is
  // removed however the process ends (registered for removal before the
  // file exists; on Windows marked for deletion until Commit). Closing it
  // before Commit leaves nothing.
  bool CreateUnnamedIn(const Folder& folder);
  // Scratch space that never has a name anyone can open: a file in the
  // temporary folder with no name at all on Linux (or one removed before
  // anything is written); on Windows, which needs a name, one that starts
  // with `windowsPrefix`, admits only its owner and is deleted when
  // closed. It goes with the process, however it ends.
  bool CreateScratch(const char16_t* windowsPrefix);

  // What Commit may replace when `name` exists already; a folder never.
  enum class Replacing { kNothing, kFile, kFileOrLink };
  // Writes out what is buffered, gives a file made by CreateUnnamedIn the
  // access any new file gets in its folder (0666 less the umask; on
  // Windows what the folder passes on) and names it `name` in that folder,
  // replacing an existing entry of that name only as `replacing` allows,
  // in one step. The file stays open. False, with the reason for
  // LastError() and nothing named, when it fails; it may be committed
  // again, or closed to leave nothing.
  bool Commit(const Folder& folder, const char16_t* name, Replacing replacing);
  // Standard input for reading, or standard output for writing, as data
  // (never translated). Closing the File leaves the stream itself open.
  bool OpenStandardInput();
  bool OpenStandardOutput();

  // Reads up to `size` bytes. `*got` is less than `size` only at the end of
  // the file. False on an error.
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got);
  // Writes all `size` bytes or fails. Data may stay buffered until the next
  // seek, Flush, Commit or Close, which then report any failure.
  bool Write(const void* buffer, std::uint32_t size);
  // Writes out what is buffered. False if any buffered write failed.
  bool Flush();
  // Drops what is buffered and a failure seen, for a caller that puts the
  // file back as it was after a failed write.
  void ForgetFailure();
  bool Seek(std::uint64_t position);
  bool SeekToEnd();
  // Cuts (or extends) the file to `length` bytes; for files open for writing.
  bool Truncate(std::uint64_t length);
  // For a file opened with OpenRead or OpenUpdate: its size when it was
  // opened. For standard input that is a file (redirected from one): the
  // bytes from where it stood to its end; SizeKnown() is false for a pipe.
  std::uint64_t OpenedSize() const { return openedSize_; }
  bool SizeKnown() const { return described_; }
  // Flushes and closes. False if any buffered write failed: a file whose
  // close fails is a failed write.
  bool Close();

  bool IsOpen() const { return descriptor_ >= 0; }
  HostHandle Descriptor() const { return descriptor_; }

 private:
  friend bool GetFileId(const File& file, FileId* id);
  enum Access { kReadOnly = 1, kWriteOnly = 2, kReadWrite = 3 };
  enum class Buffered { kNothing, kReadAhead, kWrites };
  bool Adopt(HostHandle descriptor, int access);
  // OpenRead and OpenUpdate: an existing regular file.
  bool OpenExisting(const char16_t* path, int access);
  void Describe(std::uint64_t size, const FileId& id);
  // A file made by CreateUnnamedIn that is closed before its Commit: the
  // hidden name it may have goes (staging_files.cpp).
  void DropUncommitted();

  HostHandle descriptor_ = -1;
  int access_ = 0;
  Buffered buffered_ = Buffered::kNothing;
  bool failed_ = false;
  // Made by CreateUnnamedIn and not yet committed; `staging_` is the slot
  // of the staging table that holds its hidden name, or -1 when it has none.
  bool uncommitted_ = false;
  int staging_ = -1;
  // What the host said at opening (OpenRead and Create), so that callers
  // asking for the size or the identity cost no further system call.
  bool described_ = false;
  std::uint64_t openedSize_ = 0;
  FileId id_;
  std::size_t begin_ = 0;  // reading: next unread byte; writing: unused
  std::size_t end_ = 0;    // reading: end of buffered bytes; writing: bytes waiting
  std::size_t used_ = 0;   // how much of the buffer has held data, to wipe
  std::unique_ptr<unsigned char[]> buffer_;
};

// An open folder, to create and open names inside it without following
// symbolic links, relative to the folder itself (openat on Linux, the
// native calls beneath Win32 on Windows): the folder stays the one opened,
// whatever its path comes to name. Extraction walks below its destination
// this way, so that a link planted there, or a link or junction on the way
// to it re-pointed, can never redirect a write outside it.
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

 private:
  HostHandle descriptor_ = -1;
};

// True when `path` names the same file as the one `file` has open. Used to
// refuse writing an output over the input it is being made from.
bool IsSameFile(const File& file, const char16_t* path);

bool GetFileId(const char16_t* path, FileId* id);
bool GetFileId(const File& file, FileId* id);
// True when both paths name the same existing file.
bool IsSameFile(const char16_t* a, const char16_t* b);

bool DeleteFile(const char16_t* path);
// Removes every hidden file that an ending must not leave behind (the
// staging names of CreateUnnamedIn and Commit). For endings that cannot
// wait for the writers: async-signal-safe, so a signal handler may call it,
// and an immediate ending of the process does.
void RemoveStagingFilesNow();
// Whether `name` (one component) is such a hidden file of this process, so
// that packing a folder an output is being written into leaves it out.
bool IsStagingName(const char16_t* name);

// Why this host cannot create `name` (one component) below a folder, or
// would read it as something else; kNone when it can. Windows refuses
// device names (CON, NUL.txt, COM¹), a trailing dot or space (which it
// drops), and characters a name cannot hold (":" names a stream of another
// file); Linux only '/' and the empty name.
enum class NameProblem { kNone, kEmpty, kDeviceName, kDotOrSpaceAtEnd, kForbiddenCharacter };
NameProblem CheckName(const char16_t* name);

// Where a file came from, as the host keeps it beside the file: Windows'
// mark of the web (the Zone.Identifier stream that browsers and mail
// programs add to what they save), so that files unpacked from a marked
// container are marked as Windows' own extraction marks them. Linux keeps
// none: reading finds nothing and writing does nothing.
struct OriginMark {
  unsigned char bytes[4096];
  std::size_t length = 0;
};
// False when `path` carries no mark (or one too large to keep).
bool ReadOriginMark(const char16_t* path, OriginMark* mark);
// Gives the open file the mark; false when it cannot.
bool WriteOriginMark(const File& file, const OriginMark& mark);

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
// The error for a name that is taken.
int FileExistsError();
void ErrorText(int error, char16_t* text, std::size_t capacity);

}  // namespace platform
