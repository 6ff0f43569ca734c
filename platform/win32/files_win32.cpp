// The file services on Win32: CreateFileW and its family.
//
// On Windows a device path is the native path itself (UTF-16, '\'), so it
// goes to the API as it is; only '/' is refused, which Windows would take
// for a separator where the device path has none. Names created below a
// folder (unpacking) must be plain Windows names: no reserved characters,
// no device names such as CON or NUL, no trailing dot or space that Windows
// would silently drop.
#include <atomic>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/win32/windows_api.h"

namespace platform {

using win32::FromHandle;
using win32::ToHandle;
using win32::Wide;

namespace {

// Shared with every other reader, so a file being written elsewhere (or
// renamed, or deleted) can still be read, as on Linux.
constexpr DWORD kShareForReading = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Readers are welcome; deleting stays possible so that an interrupted run
// can remove an output it still holds open.
constexpr DWORD kShareForWriting = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The staging files being written, so that an ending that cannot wait for
// their writers (Ctrl+C, whose handler runs on a thread of its own, or the
// cancel command's immediate exit) still removes them. Such an ending runs
// on an ordinary thread here, so a lock is enough; the files are open
// shared for deletion, so they go even while their writer holds them.
struct StagingFiles {
  std::mutex lock;
  char16_t paths[16][kMaxPath] = {};  // empty: a free slot
};
StagingFiles staging;

void RegisterStaging(const char16_t* path) {
  std::lock_guard<std::mutex> hold(staging.lock);
  for (auto& slot : staging.paths) {
    if (slot[0] == u'\0') {
      WideCopy(slot, path);
      return;
    }
  }
}

void ForgetStaging(const char16_t* path) {
  std::lock_guard<std::mutex> hold(staging.lock);
  for (auto& slot : staging.paths) {
    if (WideEqual(slot, path)) slot[0] = u'\0';
  }
}

const wchar_t* NativePath(const char16_t* path) {
  for (const char16_t* c = path; *c != u'\0'; ++c) {
    if (*c == u'/') {
      ::SetLastError(ERROR_BAD_PATHNAME);
      return nullptr;
    }
  }
  return Wide(path);
}

bool IsReservedDeviceName(const char16_t* name, std::size_t length) {
  // The device names count with any extension, and spaces before it.
  std::size_t stem = 0;
  while (stem < length && name[stem] != u'.') ++stem;
  while (stem > 0 && name[stem - 1] == u' ') --stem;
  char upper[5] = {};
  if (stem < 3 || stem > 4) return false;
  for (std::size_t i = 0; i < stem; ++i) {
    char16_t c = name[i];
    if (c > 0x7F) return false;
    upper[i] = static_cast<char>(c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c);
  }
  if (stem == 3) {
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
      if (std::strcmp(upper, device) == 0) return true;
    }
    return false;
  }
  return (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

bool IsPlainName(const char16_t* name) {
  std::size_t length = WideLength(name);
  bool plain = length > 0 && name[length - 1] != u'.' && name[length - 1] != u' ' &&
               !IsReservedDeviceName(name, length);
  for (std::size_t i = 0; plain && i < length; ++i) {
    plain = name[i] >= 0x20 && std::wcschr(L"<>:\"/\\|?*", static_cast<wchar_t>(name[i])) == nullptr;
  }
  if (!plain) ::SetLastError(ERROR_INVALID_NAME);
  return plain;
}

// `folder` '\' `name` into `path`, for a plain name that fits.
bool ChildPath(const char16_t* folder, const char16_t* name, char16_t (&path)[kMaxPath]) {
  if (!IsPlainName(name) || !WideCopy(path, folder)) return false;
  std::size_t length = WideLength(path);
  bool fits = (length > 0 && path[length - 1] == u'\\' ? true : WideAppend(path, u"\\")) &&
              WideAppend(path, name);
  if (!fits) ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return fits;
}

std::uint64_t Join(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

void Fill(DWORD fileAttributes, std::uint64_t size, bool isLink, FileAttributes* attributes) {
  attributes->isFolder = (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  attributes->isLink = isLink;
  attributes->size = attributes->isFolder ? 0 : size;
}

// Symbolic links and junctions are the reparse points that name another
// place; other kinds (placeholders of cloud files, say) are the file itself.
bool IsLink(DWORD fileAttributes, const wchar_t* path) {
  if (fileAttributes == INVALID_FILE_ATTRIBUTES ||
      (fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return true;  // cautious: treated as a link
  ::FindClose(search);
  // A tag of 0 is none Windows gives; Wine gives it for a Linux link.
  return found.dwReserved0 == 0 || IsReparseTagNameSurrogate(found.dwReserved0);
}

// What a handle opened without following links says about it.
bool DescribeHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
  return ::GetFileInformationByHandle(handle, info) != 0;
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, Join(info.nFileIndexHigh, info.nFileIndexLow)};
}

// Unpacking never writes through a link, nor replaces one or a folder.
bool NeitherLinkNorFolder(const char16_t* path) {
  DWORD attributes = ::GetFileAttributesW(Wide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (IsLink(attributes, Wide(path))) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

bool WriteAll(HANDLE handle, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Reads what is there, up to `size`; 0 at the end of the file, -1 on an error.
long long ReadSome(HANDLE handle, unsigned char* data, std::size_t size) {
  DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!::ReadFile(handle, data, chunk, &got, nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return got;
}

}  // namespace

bool GetFileAttributes(const char16_t* path, FileAttributes* attributes) {
  const wchar_t* native = NativePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (native == nullptr || !::GetFileAttributesExW(native, GetFileExInfoStandard, &data)) {
    return false;
  }
  bool isLink = IsLink(data.dwFileAttributes, native);
  if (!isLink) {
    Fill(data.dwFileAttributes, Join(data.nFileSizeHigh, data.nFileSizeLow), false, attributes);
    return true;
  }
  // What the link leads to; a dangling link names nothing.
  HANDLE target = ::CreateFileW(native, FILE_READ_ATTRIBUTES, kShareForReading, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = DescribeHandle(target, &info);
  ::CloseHandle(target);
  if (ok) Fill(info.dwFileAttributes, Join(info.nFileSizeHigh, info.nFileSizeLow), true, attributes);
  return ok;
}

bool GetLinkAttributes(const char16_t* path, FileAttributes* attributes) {
  const wchar_t* native = NativePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (native == nullptr || !::GetFileAttributesExW(native, GetFileExInfoStandard, &data)) {
    return false;
  }
  Fill(data.dwFileAttributes, Join(data.nFileSizeHigh, data.nFileSizeLow),
       IsLink(data.dwFileAttributes, native), attributes);
  return true;
}

File::~File() {
  if (IsOpen()) Close();
}

bool File::OpenRead(const char16_t* path) {
  if (IsOpen()) return false;
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE handle = ::CreateFileW(native, GENERIC_READ, kShareForReading, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // Only files on disk: a pipe or a device has no size to record, or may
  // never end.
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(handle) != FILE_TYPE_DISK || !DescribeHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_BAD_FILE_TYPE);
    return false;
  }
  if (!Adopt(FromHandle(handle), false)) return false;
  described_ = true;
  openedSize_ = Join(info.nFileSizeHigh, info.nFileSizeLow);
  id_ = IdOf(info);
  return true;
}

bool File::Create(const char16_t* path) {
  if (IsOpen()) return false;
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE handle = ::CreateFileW(native, GENERIC_WRITE, kShareForWriting, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // A file on disk is emptied (only when it holds something); a device such
  // as NUL is written as it is.
  BY_HANDLE_FILE_INFORMATION info;
  bool onDisk = ::GetFileType(handle) == FILE_TYPE_DISK;
  if (onDisk && (!DescribeHandle(handle, &info) ||
                 (Join(info.nFileSizeHigh, info.nFileSizeLow) != 0 && !::SetEndOfFile(handle)))) {
    DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return false;
  }
  if (!Adopt(FromHandle(handle), true)) return false;
  if (onDisk) {
    described_ = true;
    openedSize_ = 0;
    id_ = IdOf(info);
  }
  return true;
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE handle = ::CreateFileW(native, GENERIC_WRITE, kShareForWriting, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle != INVALID_HANDLE_VALUE && Adopt(FromHandle(handle), true);
}

bool File::CreateStagingIn(const Folder& folder, const char16_t* name, char16_t* stagingName) {
  if (IsOpen() || !folder.IsOpen()) return false;
  char16_t target[kMaxPath];
  if (!ChildPath(folder.Path(), name, target) || !NeitherLinkNorFolder(target)) return false;
  static std::atomic<unsigned> counter{0};
  unsigned seed = static_cast<unsigned>(::GetCurrentProcessId()) * 2654435761u ^
                  static_cast<unsigned>(::GetTickCount());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char staged[32];
    std::snprintf(staged, sizeof staged, ".kva-%08x", seed + counter.fetch_add(1) * 40503u);
    char16_t stagedName[32];
    std::size_t i = 0;
    for (; staged[i] != '\0'; ++i) stagedName[i] = static_cast<char16_t>(staged[i]);
    stagedName[i] = u'\0';
    char16_t path[kMaxPath];
    if (!ChildPath(folder.Path(), stagedName, path)) return false;
    HANDLE handle = ::CreateFileW(Wide(path), GENERIC_WRITE, kShareForWriting, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    if (!Adopt(FromHandle(handle), true)) {
      ::DeleteFileW(Wide(path));
      return false;
    }
    RegisterStaging(path);
    WideCopy(stagingName, kMaxPath, stagedName);
    return true;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return false;
}

bool File::Adopt(NativeHandle descriptor, bool forWriting) {
  if (descriptor < 0) return false;
  if (buffer_ == nullptr) buffer_.reset(new (std::nothrow) unsigned char[kBufferSize]);
  if (buffer_ == nullptr) {
    ::CloseHandle(ToHandle(descriptor));
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
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

bool File::Read(void* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  if (!IsOpen() || writing_ || failed_) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t wanted = size;
  while (wanted > 0) {
    if (begin_ == end_) {
      // Large reads bypass the buffer; small ones refill it.
      bool direct = wanted >= kBufferSize;
      long long filled = ReadSome(ToHandle(descriptor_), direct ? out : buffer_.get(),
                                  direct ? wanted : kBufferSize);
      if (filled < 0) {
        failed_ = true;
        return false;
      }
      if (filled == 0) break;
      if (direct) {
        out += filled;
        wanted -= static_cast<std::size_t>(filled);
        *got += static_cast<std::uint32_t>(filled);
        continue;
      }
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
      if (!WriteAll(ToHandle(descriptor_), data, remaining)) {
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
  bool ok = !failed_ && WriteAll(ToHandle(descriptor_), buffer_.get(), end_);
  end_ = 0;
  if (!ok) failed_ = true;
  return ok;
}

bool File::Seek(std::uint64_t position) {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return ::SetFilePointerEx(ToHandle(descriptor_), to, nullptr, FILE_BEGIN) != 0;
}

bool File::SeekToEnd() {
  if (!IsOpen() || !Flush()) return false;
  begin_ = end_ = 0;
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(ToHandle(descriptor_), zero, nullptr, FILE_END) != 0;
}

bool File::Truncate(std::uint64_t length) {
  if (!IsOpen() || !writing_ || !Flush()) return false;
  // SetEndOfFile cuts at the file position; the position itself is kept,
  // as ftruncate keeps it.
  HANDLE handle = ToHandle(descriptor_);
  LARGE_INTEGER zero{};
  LARGE_INTEGER at;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFilePointerEx(handle, zero, &at, FILE_CURRENT) &&
         ::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle) &&
         ::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN);
}

bool File::Close() {
  if (!IsOpen()) return false;
  bool ok = Flush();
  if (!::CloseHandle(ToHandle(descriptor_)) && writing_) ok = false;
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
    std::memcpy(path_, other.path_, sizeof path_);
    other.descriptor_ = -1;
    other.path_[0] = u'\0';
  }
  return *this;
}

namespace {

// Opens a folder for listing, shared with readers and writers but not with
// deletion, so that it cannot be renamed away or replaced while it is open.
HANDLE OpenFolderHandle(const wchar_t* path, bool followLinks) {
  HANDLE handle = ::CreateFileW(
      path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  // The name is asked too: Wine opens a link's target even when told not
  // to, and only the name still shows the reparse point.
  BY_HANDLE_FILE_INFORMATION info;
  bool folder = DescribeHandle(handle, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                (followLinks || ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                                 !IsLink(::GetFileAttributesW(path), path)));
  if (!folder) {
    ::CloseHandle(handle);
    ::SetLastError(ERROR_DIRECTORY);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

}  // namespace

bool Folder::Open(const char16_t* path) {
  Close();
  const wchar_t* native = NativePath(path);
  if (native == nullptr || !WideCopy(path_, path)) return false;
  HANDLE handle = OpenFolderHandle(native, true);
  if (handle == INVALID_HANDLE_VALUE) {
    path_[0] = u'\0';
    return false;
  }
  descriptor_ = FromHandle(handle);
  return true;
}

bool Folder::OpenChild(const Folder& parent, const char16_t* name, bool create) {
  char16_t path[kMaxPath];
  if (!parent.IsOpen() || !ChildPath(parent.Path(), name, path)) {
    Close();
    return false;
  }
  Close();
  if (create && !::CreateDirectoryW(Wide(path), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  // A link is refused even when it leads to a folder.
  HANDLE handle = OpenFolderHandle(Wide(path), false);
  if (handle == INVALID_HANDLE_VALUE) return false;
  descriptor_ = FromHandle(handle);
  WideCopy(path_, path);
  return true;
}

void Folder::Close() {
  if (descriptor_ >= 0) ::CloseHandle(ToHandle(descriptor_));
  descriptor_ = -1;
  path_[0] = u'\0';
}

bool GetFileId(const char16_t* path, FileId* id) {
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE handle = ::CreateFileW(native, FILE_READ_ATTRIBUTES, kShareForReading, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = DescribeHandle(handle, &info);
  ::CloseHandle(handle);
  if (ok) *id = IdOf(info);
  return ok;
}

bool GetFileId(const File& file, FileId* id) {
  if (file.described_) {
    *id = file.id_;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.IsOpen() || !DescribeHandle(ToHandle(file.Descriptor()), &info)) return false;
  *id = IdOf(info);
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
  const wchar_t* native = NativePath(path);
  return native != nullptr && ::DeleteFileW(native) != 0;
}

bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to) {
  char16_t fromPath[kMaxPath];
  char16_t toPath[kMaxPath];
  if (!folder.IsOpen() || !ChildPath(folder.Path(), from, fromPath) ||
      !ChildPath(folder.Path(), to, toPath)) {
    return false;
  }
  // Checked again: a link may have been planted since the staging file was
  // made. The staging file was hidden; its content now takes the plain name.
  if (!NeitherLinkNorFolder(toPath) ||
      !::SetFileAttributesW(Wide(fromPath), FILE_ATTRIBUTE_NORMAL) ||
      !::MoveFileExW(Wide(fromPath), Wide(toPath), MOVEFILE_REPLACE_EXISTING)) {
    return false;
  }
  ForgetStaging(fromPath);
  return true;
}

bool DeleteIn(const Folder& folder, const char16_t* name) {
  char16_t path[kMaxPath];
  if (!folder.IsOpen() || !ChildPath(folder.Path(), name, path)) return false;
  bool deleted = ::DeleteFileW(Wide(path)) != 0;
  DWORD error = ::GetLastError();
  ForgetStaging(path);  // the caller has given the file up either way
  ::SetLastError(error);
  return deleted;
}

void RemoveStagingFilesNow() {
  std::lock_guard<std::mutex> hold(staging.lock);
  for (auto& slot : staging.paths) {
    if (slot[0] != u'\0') ::DeleteFileW(Wide(slot));
    slot[0] = u'\0';
  }
}

bool CreateFolder(const char16_t* path) {
  const wchar_t* native = NativePath(path);
  return native != nullptr && ::CreateDirectoryW(native, nullptr) != 0;
}

bool RemoveFolder(const char16_t* path) {
  const wchar_t* native = NativePath(path);
  return native != nullptr && ::RemoveDirectoryW(native) != 0;
}

namespace {

// What FolderSearch keeps on Windows, on the heap so that the packer's
// recursion keeps small stack frames.
struct Search {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW found;
  bool pending = false;  // `found` holds the first name, not yet returned
  char hostName[kMaxPath * 3 + 1] = {};
};

}  // namespace

FolderSearch::~FolderSearch() { End(); }

bool FolderSearch::Start(const char16_t* folder, bool followLink) {
  End();
  // Not through a link: a folder swapped for one after it was examined is
  // not listed.
  if (!followLink) {
    const wchar_t* native = NativePath(folder);
    if (native == nullptr) return false;
    HANDLE handle = OpenFolderHandle(native, false);
    if (handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(handle);
  }
  char16_t pattern[kMaxPath + 2];
  if (NativePath(folder) == nullptr || !WideCopy(pattern, folder)) return false;
  std::size_t length = WideLength(pattern);
  if (!(length > 0 && pattern[length - 1] == u'\\') && !WideAppend(pattern, u"\\")) return false;
  if (!WideAppend(pattern, u"*")) return false;
  auto* search = new (std::nothrow) Search;
  if (search == nullptr) return false;
  search->find = ::FindFirstFileW(Wide(pattern), &search->found);
  if (search->find == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    delete search;
    return false;
  }
  search->pending = search->find != INVALID_HANDLE_VALUE;  // else: a folder with no names at all
  directory_ = search;
  return true;
}

FolderSearch::Result FolderSearch::Next(char16_t* name) {
  auto* search = static_cast<Search*>(directory_);
  if (search == nullptr) return Result::kError;
  if (search->pending) {
    search->pending = false;
  } else if (search->find == INVALID_HANDLE_VALUE ||
             !::FindNextFileW(search->find, &search->found)) {
    return search->find == INVALID_HANDLE_VALUE || ::GetLastError() == ERROR_NO_MORE_FILES
               ? Result::kEnd
               : Result::kError;
  }
  const auto* found = reinterpret_cast<const char16_t*>(search->found.cFileName);
  if (!Utf16ToUtf8(found, WideLength(found), search->hostName, sizeof search->hostName)) {
    search->hostName[0] = '\0';
  }
  hostName_ = search->hostName;
  if (!WideCopy(name, kMaxPath, found)) {
    name[0] = u'\0';
    return Result::kUnrepresentableName;
  }
  return Result::kName;
}

void FolderSearch::End() {
  auto* search = static_cast<Search*>(directory_);
  if (search != nullptr) {
    if (search->find != INVALID_HANDLE_VALUE) ::FindClose(search->find);
    delete search;
  }
  directory_ = nullptr;
  hostName_ = "";
}

int LastError() { return static_cast<int>(::GetLastError()); }

int LinkNotFollowedError() { return ERROR_CANT_RESOLVE_FILENAME; }

void ErrorText(int error, char16_t* text, std::size_t capacity) {
  if (capacity == 0) return;
  DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(error), 0, Wide(text),
                                  static_cast<DWORD>(capacity), nullptr);
  // The system's texts end in ".\r\n"; the messages around them add their own.
  while (length > 0 && (text[length - 1] == u'\r' || text[length - 1] == u'\n' ||
                        text[length - 1] == u' ' || text[length - 1] == u'.')) {
    --length;
  }
  text[length < capacity ? length : capacity - 1] = u'\0';
}

}  // namespace platform
