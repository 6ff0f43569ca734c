// Files named relative to an open folder's handle, on Windows.
//
// Win32 names files by full path only, and a path is looked up anew each
// time: a junction or link on it re-pointed meanwhile sends the next create
// elsewhere. The native calls beneath it (NtCreateFile with a root folder,
// a rename by handle into a root folder, a folder's listing by handle)
// name a file inside the very folder a handle holds, as openat does on
// Linux. They are looked up in ntdll at run time; Wine has them too.
#pragma once

#include <cstdint>

#include "platform/win32/windows_api.h"

namespace platform::win32 {

// What NtCreateFile is asked to do with a name.
enum class Disposition : ULONG { kOpen = 1, kCreate = 2, kOpenOrCreate = 3 };
// What it is to open: a folder or a file; `withoutFollowing` opens a link
// or junction itself rather than what it leads to.
enum class Kind { kFolder, kFile };

// Opens or creates `name` (one component; empty: the folder itself) in the
// folder `folder` holds, for synchronous use. INVALID_HANDLE_VALUE with the
// Win32 error (GetLastError) when it fails.
HANDLE OpenRelative(HANDLE folder, const char16_t* name, ACCESS_MASK access, ULONG share,
                    Disposition disposition, Kind kind, bool withoutFollowing,
                    DWORD attributes = 0);

// Renames the open file `file` (opened with DELETE access) to `name` in the
// folder `folder` holds; an existing file there is replaced only when
// `replace`, a read-only one too. False with the Win32 error.
bool RenameRelative(HANDLE file, HANDLE folder, const char16_t* name, bool replace);

// What the listing of the folder `folder` holds says of `name`: its
// attributes and, for a reparse point, its tag. False with the Win32 error
// (ERROR_FILE_NOT_FOUND when there is no such name).
bool ListedAttributes(HANDLE folder, const char16_t* name, DWORD* attributes, DWORD* reparseTag);

// The one rule for reparse points: those that name another place (symbolic
// links, junctions: name surrogates) are links; every other kind (a cloud
// file's placeholder, say) is the file or folder itself. A tag of 0 is none
// that Windows gives; Wine gives it for a Linux symbolic link.
inline bool IsLinkTag(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

}  // namespace platform::win32
