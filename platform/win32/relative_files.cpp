#include "platform/win32/relative_files.h"

#include <cstring>

#include "platform/wide_string.h"

namespace platform::win32 {
namespace {

using NtStatus = LONG;

struct CountedString {  // UNICODE_STRING
  USHORT length;
  USHORT maximumLength;
  const wchar_t* buffer;
};

struct ObjectAttributes {  // OBJECT_ATTRIBUTES
  ULONG length;
  HANDLE rootDirectory;
  CountedString* objectName;
  ULONG attributes;
  void* securityDescriptor;
  void* securityQualityOfService;
};

struct IoStatus {  // IO_STATUS_BLOCK
  union {
    NtStatus status;
    void* pointer;
  };
  ULONG_PTR information;
};

struct RenameInformation {  // FILE_RENAME_INFORMATION(_EX)
  union {
    BOOLEAN replaceIfExists;
    ULONG flags;
  };
  HANDLE rootDirectory;
  ULONG fileNameLength;
  wchar_t fileName[kMaxPath];
};

struct FullDirectoryInformation {  // FILE_FULL_DIR_INFORMATION
  ULONG nextEntryOffset;
  ULONG fileIndex;
  LARGE_INTEGER times[4];
  LARGE_INTEGER endOfFile;
  LARGE_INTEGER allocationSize;
  ULONG fileAttributes;
  ULONG fileNameLength;
  ULONG eaSize;  // the reparse tag, for a reparse point
  wchar_t fileName[kMaxPath];
};

constexpr ULONG kCaseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileRenameInformationEx = 65;
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenameIgnoreReadOnly = 0x40;
constexpr ULONG kFileFullDirectoryInformation = 2;

using NtCreateFileCall = NtStatus(NTAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, IoStatus*,
                                          LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using NtSetInformationFileCall = NtStatus(NTAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
using NtQueryDirectoryFileCall = NtStatus(NTAPI*)(HANDLE, HANDLE, void*, void*, IoStatus*, void*,
                                                  ULONG, ULONG, BOOLEAN, CountedString*, BOOLEAN);
using RtlNtStatusToDosErrorCall = ULONG(NTAPI*)(NtStatus);

struct Native {
  NtCreateFileCall createFile = nullptr;
  NtSetInformationFileCall setInformationFile = nullptr;
  NtQueryDirectoryFileCall queryDirectoryFile = nullptr;
  RtlNtStatusToDosErrorCall toDosError = nullptr;
};

template <typename Call>
void Find(HMODULE module, const char* name, Call* call) {
  *call = reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const Native& Calls() {
  static const Native native = [] {
    Native found;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    Find(ntdll, "NtCreateFile", &found.createFile);
    Find(ntdll, "NtSetInformationFile", &found.setInformationFile);
    Find(ntdll, "NtQueryDirectoryFile", &found.queryDirectoryFile);
    Find(ntdll, "RtlNtStatusToDosError", &found.toDosError);
    return found;
  }();
  return native;
}

// The Win32 error for a status, left for GetLastError; true on success.
bool Succeeded(NtStatus status) {
  if (status >= 0) return true;
  const Native& native = Calls();
  ::SetLastError(native.toDosError != nullptr ? native.toDosError(status) : ERROR_GEN_FAILURE);
  return false;
}

bool Available(bool found) {
  if (!found) ::SetLastError(ERROR_PROC_NOT_FOUND);
  return found;
}

bool NameOf(const char16_t* name, CountedString* counted) {
  std::size_t length = WideLength(name);
  if (length >= kMaxPath) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  counted->length = static_cast<USHORT>(length * sizeof(wchar_t));
  counted->maximumLength = counted->length;
  counted->buffer = Wide(name);
  return true;
}

}  // namespace

HANDLE OpenRelative(HANDLE folder, const char16_t* name, ACCESS_MASK access, ULONG share,
                    Disposition disposition, Kind kind, bool withoutFollowing, DWORD attributes) {
  const Native& native = Calls();
  CountedString counted;
  if (!Available(native.createFile != nullptr) || !NameOf(name, &counted)) {
    return INVALID_HANDLE_VALUE;
  }
  ObjectAttributes object = {sizeof object, folder, &counted, kCaseInsensitive, nullptr, nullptr};
  IoStatus io{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  ULONG options = kSynchronousIo | (kind == Kind::kFolder ? kDirectoryFile : kNonDirectoryFile) |
                  (withoutFollowing ? kOpenReparsePoint : 0);
  if (!Succeeded(native.createFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, attributes,
                                   share, static_cast<ULONG>(disposition), options, nullptr, 0))) {
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

bool RenameRelative(HANDLE file, HANDLE folder, const char16_t* name, bool replace) {
  const Native& native = Calls();
  RenameInformation rename{};
  std::size_t length = WideLength(name);
  if (!Available(native.setInformationFile != nullptr)) return false;
  if (length >= kMaxPath) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  rename.rootDirectory = folder;
  rename.fileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
  std::memcpy(rename.fileName, name, length * sizeof(wchar_t));
  IoStatus io{};
  // Windows 10 (1809) and later replace a read-only file when told to;
  // elsewhere (Wine too) the older call, after the read-only attribute of
  // the file in the way is taken off through a handle of its own.
  if (replace) {
    rename.flags = kRenameReplaceIfExists | kRenameIgnoreReadOnly;
    if (native.setInformationFile(file, &io, &rename, sizeof rename, kFileRenameInformationEx) >= 0) {
      return true;
    }
    HANDLE old = OpenRelative(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              Disposition::kOpen, Kind::kFile, true);
    if (old != INVALID_HANDLE_VALUE) {
      FILE_BASIC_INFO basic{};
      if (::GetFileInformationByHandleEx(old, FileBasicInfo, &basic, sizeof basic) &&
          (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(old, FileBasicInfo, &basic, sizeof basic);
      }
      ::CloseHandle(old);
    }
  }
  rename.flags = 0;
  rename.replaceIfExists = replace ? TRUE : FALSE;
  return Succeeded(
      native.setInformationFile(file, &io, &rename, sizeof rename, kFileRenameInformation));
}

bool ListedAttributes(HANDLE folder, const char16_t* name, DWORD* attributes, DWORD* reparseTag) {
  const Native& native = Calls();
  CountedString counted;
  if (!Available(native.queryDirectoryFile != nullptr) || !NameOf(name, &counted)) return false;
  // A handle of its own: a listing's name pattern holds for its handle's
  // life, so every question gets a fresh one, on the same folder.
  HANDLE listing = OpenRelative(folder, u"", FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                Disposition::kOpen, Kind::kFolder, false);
  if (listing == INVALID_HANDLE_VALUE) return false;
  FullDirectoryInformation entry{};
  IoStatus io{};
  NtStatus status = native.queryDirectoryFile(listing, nullptr, nullptr, nullptr, &io, &entry,
                                              sizeof entry, kFileFullDirectoryInformation, TRUE,
                                              &counted, TRUE);
  ::CloseHandle(listing);
  if (!Succeeded(status)) {
    if (::GetLastError() == ERROR_NO_MORE_FILES) ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  *attributes = entry.fileAttributes;
  *reparseTag = (entry.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? entry.eaSize : 0;
  return true;
}

}  // namespace platform::win32
