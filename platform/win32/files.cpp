// The file services on Win32: CreateFileW and its family.
//
// On Windows a device path is the native path itself (UTF-16, '\'), so it
// goes to the API as it is; only '/' is refused, which Windows would take
// for a separator where the device path has none. Names created below a
// folder (unpacking) must be plain Windows names: no reserved characters,
// no device names such as CON or NUL, no trailing dot or space that Windows
// would silently drop.
#include <cstring>
#include <new>

#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/shared/host.h"
#include "platform/win32/windows_api.h"

#include <aclapi.h>  // after <windows.h>

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

const wchar_t* NativePath(const char16_t* path) {
  for (const char16_t* c = path; *c != u'\0'; ++c) {
    if (*c == u'/') {
      ::SetLastError(ERROR_BAD_PATHNAME);
      return nullptr;
    }
  }
  return Wide(path);
}

// CreateFileW on a device path; INVALID_HANDLE_VALUE when it is refused.
HANDLE OpenPath(const char16_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(native, access, share, nullptr, disposition, flags, nullptr);
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

// The same, for what a path leads to (links followed); folders too.
bool DescribePath(const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE handle = ::CreateFileW(path, FILE_READ_ATTRIBUTES, kShareForReading, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = DescribeHandle(handle, info);
  ::CloseHandle(handle);
  return ok;
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

}  // namespace

// What the shared file logic stands on (shared/host.h).
namespace host {

// Reads what is there, up to `size`; 0 at the end of the file, -1 on an error.
long long ReadSome(HostHandle file, unsigned char* data, std::size_t size) {
  DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!::ReadFile(ToHandle(file), data, chunk, &got, nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return got;
}

bool WriteAll(HostHandle file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(ToHandle(file), data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool Seek(HostHandle file, std::uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return ::SetFilePointerEx(ToHandle(file), to, nullptr, FILE_BEGIN) != 0;
}

bool SeekToEnd(HostHandle file) {
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(ToHandle(file), zero, nullptr, FILE_END) != 0;
}

bool Truncate(HostHandle file, std::uint64_t length) {
  // SetEndOfFile cuts at the file position; the position itself is kept,
  // as ftruncate keeps it.
  HANDLE handle = ToHandle(file);
  LARGE_INTEGER zero{};
  LARGE_INTEGER at;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFilePointerEx(handle, zero, &at, FILE_CURRENT) &&
         ::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle) &&
         ::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN);
}

bool Close(HostHandle file) { return ::CloseHandle(ToHandle(file)) != 0; }

bool GetOpenFileId(HostHandle file, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!DescribeHandle(ToHandle(file), &info)) return false;
  *id = IdOf(info);
  return true;
}

void SetError(int error) { ::SetLastError(static_cast<DWORD>(error)); }
int OutOfMemoryError() { return ERROR_NOT_ENOUGH_MEMORY; }
int FileExistsError() { return ERROR_FILE_EXISTS; }

unsigned ProcessId() { return static_cast<unsigned>(::GetCurrentProcessId()); }

bool MayReplace(const Folder& folder, const char16_t* name) {
  char16_t path[kMaxPath];
  return ChildPath(folder.Path(), name, path) && NeitherLinkNorFolder(path);
}

HostHandle CreateNewIn(const Folder& folder, const char16_t* name) {
  char16_t path[kMaxPath];
  if (!ChildPath(folder.Path(), name, path)) return -1;
  return FromHandle(::CreateFileW(Wide(path), GENERIC_WRITE, kShareForWriting, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN, nullptr));
}

bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to, bool replace) {
  char16_t fromPath[kMaxPath];
  char16_t toPath[kMaxPath];
  // Checked again: a link may have been planted since the staging file was
  // made. The staging file was hidden; its content now takes the plain name.
  // Without MOVEFILE_REPLACE_EXISTING, any file of that name makes it fail.
  if (!ChildPath(folder.Path(), from, fromPath) || !ChildPath(folder.Path(), to, toPath) ||
      !NeitherLinkNorFolder(toPath) || !::SetFileAttributesW(Wide(fromPath), FILE_ATTRIBUTE_NORMAL)) {
    return false;
  }
  // A read-only file is replaced as on Linux, where only the folder's
  // permission counts.
  DWORD attributes = ::GetFileAttributesW(Wide(toPath));
  if (replace && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(Wide(toPath), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return ::MoveFileExW(Wide(fromPath), Wide(toPath), replace ? MOVEFILE_REPLACE_EXISTING : 0);
}

bool DeleteIn(const Folder& folder, const char16_t* name) {
  char16_t path[kMaxPath];
  return ChildPath(folder.Path(), name, path) && ::DeleteFileW(Wide(path));
}

bool Hold(const Folder& folder, HeldFolder* held) { return WideCopy(held->path, folder.Path()); }

void Release(HeldFolder* held) { held->path[0] = u'\0'; }

// The file is open shared for deletion, so it goes even while its writer
// holds it.
void DeleteIn(const HeldFolder& folder, const char16_t* name) {
  char16_t path[kMaxPath];
  if (ChildPath(folder.path, name, path)) ::DeleteFileW(Wide(path));
}

}  // namespace host

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
  BY_HANDLE_FILE_INFORMATION info;
  if (!DescribePath(native, &info)) return false;
  Fill(info.dwFileAttributes, Join(info.nFileSizeHigh, info.nFileSizeLow), true, attributes);
  return true;
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

bool File::OpenRead(const char16_t* path) {
  if (IsOpen()) return false;
  HANDLE handle = OpenPath(path, GENERIC_READ, kShareForReading, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
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
  Describe(Join(info.nFileSizeHigh, info.nFileSizeLow), IdOf(info));
  return true;
}

bool File::Create(const char16_t* path) {
  if (IsOpen()) return false;
  HANDLE handle = OpenPath(path, GENERIC_WRITE, kShareForWriting, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
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
  if (onDisk) Describe(0, IdOf(info));
  return true;
}

namespace {

// A duplicate of the standard handle, so that closing the File leaves the
// stream open.
HANDLE DuplicateStandard(DWORD which) {
  HANDLE duplicate = INVALID_HANDLE_VALUE;
  if (!::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(which), ::GetCurrentProcess(),
                         &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return INVALID_HANDLE_VALUE;
  }
  return duplicate;
}

}  // namespace

bool File::OpenStandardInput() {
  if (IsOpen()) return false;
  HANDLE handle = DuplicateStandard(STD_INPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  LARGE_INTEGER zero{};
  LARGE_INTEGER at{};
  bool sized = ::GetFileType(handle) == FILE_TYPE_DISK && DescribeHandle(handle, &info) &&
               ::SetFilePointerEx(handle, zero, &at, FILE_CURRENT) &&
               static_cast<std::uint64_t>(at.QuadPart) <= Join(info.nFileSizeHigh, info.nFileSizeLow);
  if (!Adopt(FromHandle(handle), false)) return false;
  if (sized) {
    Describe(Join(info.nFileSizeHigh, info.nFileSizeLow) - static_cast<std::uint64_t>(at.QuadPart),
             IdOf(info));
  }
  return true;
}

bool File::OpenStandardOutput() {
  if (IsOpen()) return false;
  HANDLE handle = DuplicateStandard(STD_OUTPUT_HANDLE);
  return handle != INVALID_HANDLE_VALUE && Adopt(FromHandle(handle), true);
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  HANDLE handle =
      OpenPath(path, GENERIC_WRITE, kShareForWriting, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  return handle != INVALID_HANDLE_VALUE && Adopt(FromHandle(handle), true);
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
  BY_HANDLE_FILE_INFORMATION info;
  if (native == nullptr || !DescribePath(native, &info)) return false;
  *id = IdOf(info);
  return true;
}

bool DeleteFile(const char16_t* path) {
  const wchar_t* native = NativePath(path);
  return native != nullptr && ::DeleteFileW(native) != 0;
}

bool MoveIntoPlace(const char16_t* from, const char16_t* to, bool replace) {
  // The staged file admitted its owner alone; an empty list that is not
  // protected leaves it with what its folder passes on to new files.
  ACL empty;
  if (!::InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return false;
  DWORD status = ::SetNamedSecurityInfoW(
      const_cast<wchar_t*>(Wide(from)), SE_FILE_OBJECT,
      DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, &empty,
      nullptr);
  if (status != ERROR_SUCCESS) {
    ::SetLastError(status);
    return false;
  }
  return ::MoveFileExW(Wide(from), Wide(to), replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
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
