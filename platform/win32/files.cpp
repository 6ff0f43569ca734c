// The file services on Win32: CreateFileW and its family, and the native
// calls that name files relative to an open folder (relative_files.h).
//
// On Windows a device path is the native path itself (UTF-16, '\'), so it
// goes to the API as it is; only '/' is refused, which Windows would take
// for a separator where the device path has none. Below an open folder
// (unpacking, kva's outputs) everything is named relative to the folder's
// handle, so the folder stays the one opened whatever its path comes to
// name, and the names must be plain Windows names: no reserved characters,
// no device names such as CON, NUL or COM¹, no trailing dot or space that
// Windows would silently drop. A file being written has no sharing (nobody
// else can open it) and is marked for deletion until it is named, so that
// it goes however the process ends.
#include <cstring>
#include <new>

#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/shared/host.h"
#include "platform/temp_files.h"
#include "platform/win32/relative_files.h"
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

// The names Windows takes for devices, with any extension and with blanks
// before it ("CON", "nul.txt", "COM1 .log"): CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, and COM and LPT with a digit, superscripts 1 to 3 included.
bool IsDeviceName(const char16_t* name) {
  std::size_t stem = 0;
  while (name[stem] != u'\0' && name[stem] != u'.') ++stem;
  while (stem > 0 && name[stem - 1] == u' ') --stem;
  char16_t upper[8] = {};
  if (stem < 3 || stem > 7) return false;
  for (std::size_t i = 0; i < stem; ++i) {
    char16_t c = name[i];
    upper[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (WideEqual(upper, device)) return true;
  }
  char16_t digit = upper[3];
  bool port = (std::u16string_view(upper, 3) == u"COM" || std::u16string_view(upper, 3) == u"LPT");
  return stem == 4 && port &&
         ((digit >= u'0' && digit <= u'9') || digit == u'\u00b9' || digit == u'\u00b2' ||
          digit == u'\u00b3');
}

// A name that CheckName passes, or false with ERROR_INVALID_NAME.
bool IsPlainName(const char16_t* name) {
  if (CheckName(name) == NameProblem::kNone) return true;
  ::SetLastError(ERROR_INVALID_NAME);
  return false;
}

std::uint64_t Join(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

void Fill(DWORD fileAttributes, std::uint64_t size, bool isLink, FileAttributes* attributes) {
  attributes->isFolder = (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  attributes->isLink = isLink;
  attributes->size = attributes->isFolder ? 0 : size;
}

// Whether the path's last component is a link (win32::IsLinkTag), by its
// entry in its folder's listing.
bool IsLink(DWORD fileAttributes, const wchar_t* path) {
  if (fileAttributes == INVALID_FILE_ATTRIBUTES ||
      (fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(path, &found);
  if (search == INVALID_HANDLE_VALUE) return true;  // cautious: treated as a link
  ::FindClose(search);
  return win32::IsLinkTag(found.dwFileAttributes, found.dwReserved0);
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

// Whether the entry `name` in the folder `folder` holds may be replaced:
// never a folder, a link only when asked. True when there is none.
bool MayReplace(HANDLE folder, const char16_t* name, File::Replacing replacing) {
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  if (!win32::ListedAttributes(folder, name, &attributes, &reparseTag)) {
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  bool link = win32::IsLinkTag(attributes, reparseTag);
  if (replacing == File::Replacing::kNothing) {
    ::SetLastError(ERROR_FILE_EXISTS);
  } else if (link && replacing != File::Replacing::kFileOrLink) {
    ::SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  } else if (!link && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::SetLastError(ERROR_DIRECTORY);
  } else {
    return true;
  }
  return false;
}

// Marks the open file for deletion when its last handle closes, or takes
// the mark off.
bool DeleteWhenClosed(HANDLE file, bool deleteIt) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(deleteIt ? TRUE : FALSE)};
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// A security descriptor whose protected access list allows the current
// user everything and everyone else nothing (inherited entries included).
class OwnerOnly {
 public:
  bool Build() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD needed = 0;
    bool ok = ::GetTokenInformation(token, TokenUser, user_, sizeof user_, &needed) != 0;
    ::CloseHandle(token);
    if (!ok) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_)->User.Sid;
    auto* acl = reinterpret_cast<PACL>(acl_);
    ok = ::InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
         ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
         ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
         ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
         ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return ok;
  }
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  alignas(TOKEN_USER) unsigned char user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(ACL) unsigned char acl_[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

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

unsigned ProcessId() { return static_cast<unsigned>(::GetCurrentProcessId()); }

int TooManyStagingNamesError() { return ERROR_TOO_MANY_OPEN_FILES; }

// Windows keeps staging names in the table only to know them: a file being
// written is marked for deletion and goes with its handle however the
// process ends, so an ending has nothing to delete.
bool Hold(const Folder&, HeldFolder*) { return true; }
void Release(HeldFolder*) {}
void DeleteIn(const HeldFolder&, const char16_t*) {}

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
  return OpenExisting(path, kReadOnly);
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
  if (!Adopt(FromHandle(handle), kWriteOnly)) return false;
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
  if (!Adopt(FromHandle(handle), kReadOnly)) return false;
  if (sized) {
    Describe(Join(info.nFileSizeHigh, info.nFileSizeLow) - static_cast<std::uint64_t>(at.QuadPart),
             IdOf(info));
  }
  return true;
}

bool File::OpenStandardOutput() {
  if (IsOpen()) return false;
  HANDLE handle = DuplicateStandard(STD_OUTPUT_HANDLE);
  return handle != INVALID_HANDLE_VALUE && Adopt(FromHandle(handle), kWriteOnly);
}

bool File::OpenWrite(const char16_t* path) {
  if (IsOpen()) return false;
  HANDLE handle =
      OpenPath(path, GENERIC_WRITE, kShareForWriting, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  return handle != INVALID_HANDLE_VALUE && Adopt(FromHandle(handle), kWriteOnly);
}

bool File::OpenUpdate(const char16_t* path) { return OpenExisting(path, kReadWrite); }

bool File::OpenExisting(const char16_t* path, int access) {
  if (IsOpen()) return false;
  bool writing = (access & kWriteOnly) != 0;
  HANDLE handle = OpenPath(path, writing ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                           writing ? kShareForWriting : kShareForReading, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | (writing ? 0 : FILE_FLAG_SEQUENTIAL_SCAN));
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
  if (!Adopt(FromHandle(handle), access)) return false;
  Describe(Join(info.nFileSizeHigh, info.nFileSizeLow), IdOf(info));
  return true;
}

bool File::CreateUnnamedIn(const Folder& folder) {
  if (IsOpen() || !folder.IsOpen()) return false;
  // Windows has no file without a name: a hidden one of the staging names,
  // shared with nobody (no other program can open it, whatever the
  // folder's access list allows) and marked for deletion until Commit.
  // It takes the access list the folder passes on to new files, which
  // Commit then need not change.
  // The name is registered too, so that packing knows it for this
  // process's own (IsStagingName).
  for (int attempt = 0; attempt < 100; ++attempt) {
    host::StagingName name;
    int slot = host::RegisterStagingName(folder, name);
    if (slot < 0) return false;
    HANDLE handle = win32::OpenRelative(
        ToHandle(folder.Descriptor()), name, GENERIC_READ | GENERIC_WRITE | DELETE, 0,
        win32::Disposition::kCreate, win32::Kind::kFile, true, FILE_ATTRIBUTE_HIDDEN);
    DWORD error = ::GetLastError();
    if (handle != INVALID_HANDLE_VALUE && !DeleteWhenClosed(handle, true)) {
      error = ::GetLastError();
      ::CloseHandle(handle);
      handle = INVALID_HANDLE_VALUE;
    }
    if (handle == INVALID_HANDLE_VALUE) {
      host::ForgetStagingName(slot);
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      ::SetLastError(error);
      return false;
    }
    if (!Adopt(FromHandle(handle), kReadWrite)) {
      host::ForgetStagingName(slot);
      return false;
    }
    uncommitted_ = true;
    staging_ = slot;
    return true;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return false;
}

bool File::CreateScratch(const char16_t* windowsPrefix) {
  if (IsOpen()) return false;
  char16_t folder[kMaxPath];
  OwnerOnly security;
  if (!GetTempFolder(folder) || !security.Build()) return false;
  // A unique number picks the name (GetTempFileNameW's own naming, from the
  // prefix's first three characters), so that the file is created with its
  // access list in one step; taken names are skipped.
  static std::atomic<unsigned> counter{0};
  unsigned seed = static_cast<unsigned>(::GetCurrentProcessId()) * 40503u ^
                  static_cast<unsigned>(::GetTickCount());
  for (int attempt = 0; attempt < 1000; ++attempt) {
    unsigned unique = (seed + counter.fetch_add(1)) & 0xFFFFu;
    if (unique == 0) continue;  // 0 would ask the function to create a file itself
    wchar_t name[MAX_PATH];
    if (::GetTempFileNameW(Wide(folder), Wide(windowsPrefix), unique, name) == 0) return false;
    HANDLE handle = ::CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, security.Attributes(), CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    return Adopt(FromHandle(handle), kReadWrite);
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return false;
}

bool File::Commit(const Folder& folder, const char16_t* name, Replacing replacing) {
  if (!IsOpen() || !uncommitted_ || !folder.IsOpen()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  HANDLE handle = ToHandle(descriptor_);
  HANDLE at = ToHandle(folder.Descriptor());
  if (!IsPlainName(name) || !Flush()) return false;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // no longer hidden
  auto taken = [] {
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) ::SetLastError(error = ERROR_FILE_EXISTS);
    return error == ERROR_FILE_EXISTS;
  };
  // A new name first; what is in the way is looked at only when there is
  // something.
  bool named = ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) &&
               DeleteWhenClosed(handle, false) &&
               (win32::RenameRelative(handle, at, name, false) ||
                (taken() && replacing != Replacing::kNothing && MayReplace(at, name, replacing) &&
                 win32::RenameRelative(handle, at, name, true)));
  if (!named) {
    taken();  // the error as kva words it
    DWORD error = ::GetLastError();
    DeleteWhenClosed(handle, true);
    ::SetLastError(error);
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

namespace {

// A folder's handle lists it and names files in it; it is shared with
// readers and writers but not with deletion, so that the folder cannot be
// renamed away or replaced while it is open.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The folder that `handle`, opened without following, holds, unless it is
// a link (by its own tag, or `listedAsLink`, what its folder's listing
// says): the handle itself, or for another kind of reparse point (a cloud
// folder's placeholder) the same folder opened again by `reopen` as its
// file system presents it. INVALID_HANDLE_VALUE with the error otherwise.
template <typename Reopen>
HANDLE FolderUnlessLink(HANDLE handle, bool listedAsLink, Reopen reopen) {
  if (handle == INVALID_HANDLE_VALUE) return handle;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  bool tagged = ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag);
  DWORD error = ERROR_CANT_RESOLVE_FILENAME;
  if (!listedAsLink && !(tagged && win32::IsLinkTag(tag.FileAttributes, tag.ReparseTag))) {
    if (tagged && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      HANDLE followed = reopen();
      BY_HANDLE_FILE_INFORMATION first;
      BY_HANDLE_FILE_INFORMATION second;
      bool same = followed != INVALID_HANDLE_VALUE && DescribeHandle(handle, &first) &&
                  DescribeHandle(followed, &second) && IdOf(first) == IdOf(second);
      ::CloseHandle(handle);
      if (!same && followed != INVALID_HANDLE_VALUE) ::CloseHandle(followed);
      handle = same ? followed : INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && DescribeHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return handle;
    }
    error = ERROR_DIRECTORY;
  }
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  ::SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// Opens a folder by its path; with `followLinks` false a link (or a folder
// that has just become one) is refused.
HANDLE OpenFolderHandle(const wchar_t* path, bool followLinks) {
  auto open = [path](bool follow) {
    return ::CreateFileW(path, kFolderAccess | SYNCHRONIZE, kFolderShare, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                         nullptr);
  };
  if (followLinks) return FolderUnlessLink(open(true), false, [] { return INVALID_HANDLE_VALUE; });
  HANDLE handle = open(false);
  // The name is asked too: Wine opens a link's target even when told not
  // to, and only the name still shows the reparse point.
  return FolderUnlessLink(handle, IsLink(::GetFileAttributesW(path), path),
                          [&] { return open(true); });
}

}  // namespace

bool Folder::Open(const char16_t* path) {
  Close();
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE handle = OpenFolderHandle(native, true);
  if (handle == INVALID_HANDLE_VALUE) return false;
  descriptor_ = FromHandle(handle);
  return true;
}

bool Folder::OpenChild(const Folder& parent, const char16_t* name, bool create) {
  Close();
  if (!parent.IsOpen() || !IsPlainName(name)) return false;
  HANDLE at = ToHandle(parent.Descriptor());
  // Named in the parent's handle, never by path: the folder made and
  // opened is the one inside the parent this object holds.
  auto open = [&](bool follow, win32::Disposition disposition) {
    return win32::OpenRelative(at, name, kFolderAccess, kFolderShare, disposition,
                               win32::Kind::kFolder, !follow);
  };
  HANDLE handle = open(false, create ? win32::Disposition::kOpenOrCreate : win32::Disposition::kOpen);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  bool listedAsLink = win32::ListedAttributes(at, name, &attributes, &reparseTag) &&
                      win32::IsLinkTag(attributes, reparseTag);
  handle = FolderUnlessLink(handle, listedAsLink,
                            [&] { return open(true, win32::Disposition::kOpen); });
  if (handle == INVALID_HANDLE_VALUE) return false;
  descriptor_ = FromHandle(handle);
  return true;
}

void Folder::Close() {
  if (descriptor_ >= 0) ::CloseHandle(ToHandle(descriptor_));
  descriptor_ = -1;
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

int FileExistsError() { return ERROR_FILE_EXISTS; }

NameProblem CheckName(const char16_t* name) {
  std::size_t length = WideLength(name);
  if (length == 0) return NameProblem::kEmpty;
  for (std::size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || std::wcschr(L"<>:\"/\\|?*", static_cast<wchar_t>(name[i])) != nullptr) {
      return NameProblem::kForbiddenCharacter;
    }
  }
  if (name[length - 1] == u'.' || name[length - 1] == u' ') return NameProblem::kDotOrSpaceAtEnd;
  return IsDeviceName(name) ? NameProblem::kDeviceName : NameProblem::kNone;
}

namespace {

constexpr wchar_t kOriginStream[] = L":Zone.Identifier";

// Whether the volume the handle's file is on keeps named streams (NTFS
// does; FAT and Wine's view of a Linux file system do not, and there a
// "file:stream" name would make a file of that name).
bool HasStreams(HANDLE file) {
  DWORD flags = 0;
  return ::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_NAMED_STREAMS) != 0;
}

}  // namespace

bool ReadOriginMark(const char16_t* path, OriginMark* mark) {
  mark->length = 0;
  const wchar_t* native = NativePath(path);
  if (native == nullptr) return false;
  HANDLE file = ::CreateFileW(native, FILE_READ_ATTRIBUTES, kShareForReading, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool streams = HasStreams(file);
  ::CloseHandle(file);
  wchar_t streamPath[kMaxPath + 32];
  if (!streams || WideLength(path) + 17 > std::size(streamPath)) return false;
  std::wcscpy(streamPath, native);
  std::wcscat(streamPath, kOriginStream);
  HANDLE stream = ::CreateFileW(streamPath, GENERIC_READ, kShareForReading, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  bool read = ::ReadFile(stream, mark->bytes, sizeof mark->bytes, &got, nullptr) &&
              got < sizeof mark->bytes;  // a mark that fills the buffer is too large to keep
  ::CloseHandle(stream);
  mark->length = read ? got : 0;
  return read && got > 0;
}

bool WriteOriginMark(const File& file, const OriginMark& mark) {
  HANDLE handle = ToHandle(file.Descriptor());
  if (mark.length == 0 || !HasStreams(handle)) return true;
  // The stream is named relative to the file's own handle.
  HANDLE stream = win32::OpenRelative(handle, reinterpret_cast<const char16_t*>(kOriginStream),
                                      GENERIC_WRITE, 0, win32::Disposition::kOpenOrCreate,
                                      win32::Kind::kFile, false);
  if (stream == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(stream, mark.bytes, static_cast<DWORD>(mark.length), &written, nullptr) &&
            written == mark.length;
  ::CloseHandle(stream);
  return ok;
}

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
